#include "web/WebServer.h"

#include <QBuffer>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QImageWriter>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QWebSocket>
#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

// Accepts connections for the server, within the limits: so many at most, each
// with a bounded read buffer, HTTP connections without a request closed.
class WebListener : public QTcpServer {
public:
    explicit WebListener(QObject* parent) : QTcpServer(parent) {
        sweep_.setInterval(1000);
        connect(&sweep_, &QTimer::timeout, this, &WebListener::closeIdle);
        sweep_.start();
        clock_.start();
        // Out of descriptors: accepting pauses; try again shortly.
        connect(this, &QTcpServer::acceptError, this, [this] {
            pauseAccepting();
            QTimer::singleShot(200, this, [this] { resumeAccepting(); });
        });
    }

    // A socket went over to the WebSocket side: idle is fine from now on.
    QTcpSocket* upgraded(const QHostAddress& peer, quint16 port) {
        for (Connection& c : open_)
            if (c.socket && c.http && c.socket->peerPort() == port && c.socket->peerAddress() == peer) {
                c.http = false;
                return c.socket;
            }
        return nullptr;
    }

protected:
    void incomingConnection(qintptr fd) override {
        prune();
        if (open_.size() >= size_t(WebServer::kMaxConnections)) {
            ::close(int(fd));
            return;
        }
        auto* s = new QTcpSocket(this);
        if (!s->setSocketDescriptor(fd)) {
            delete s;
            ::close(int(fd));
            return;
        }
        s->setReadBufferSize(WebServer::kMaxRequestBytes);
        open_.push_back({s, true, clock_.elapsed(), 0});
        // Connected before the HTTP server's own handler, so it sees each read
        // first. An upgrade to WebSocket disconnects these.
        connect(s, &QTcpSocket::readyRead, this, [this, s] {
            if (Connection* c = find(s)) {
                c->last = clock_.elapsed();
                c->received += s->bytesAvailable();
                if (c->received > WebServer::kMaxRequestBytes)
                    s->abort();  // a request that large is none of ours
            }
        });
        connect(s, &QTcpSocket::bytesWritten, this, [this, s] {
            if (Connection* c = find(s)) {
                c->last = clock_.elapsed();
                c->received = 0;  // a reply went out: the next request starts
            }
        });
        addPendingConnection(s);
    }

private:
    struct Connection {
        QPointer<QTcpSocket> socket;
        bool http;       // not (yet) a WebSocket
        qint64 last;     // last activity, ms
        qint64 received; // bytes of the request so far
    };
    Connection* find(QTcpSocket* s) {
        for (Connection& c : open_)
            if (c.socket == s)
                return &c;
        return nullptr;
    }
    void prune() {
        open_.erase(std::remove_if(open_.begin(), open_.end(), [](const Connection& c) { return !c.socket; }),
                    open_.end());
    }
    void closeIdle() {
        prune();
        const qint64 now = clock_.elapsed();
        QList<QPointer<QTcpSocket>> idle;
        for (const Connection& c : open_)
            if (c.http && now - c.last > WebServer::kIdleMs)
                idle << c.socket;
        for (const QPointer<QTcpSocket>& s : idle)
            if (s)
                s->abort();
    }

    std::vector<Connection> open_;
    QTimer sweep_;
    QElapsedTimer clock_;
};

namespace {

const QByteArray kHtml = "text/html; charset=utf-8";
const QByteArray kJson = "application/json";
const QByteArray kText = "text/plain; charset=utf-8";

} // namespace

WebServer::WebServer(QObject* parent) : QAbstractHttpServer(parent) {
    clock_.start();
    flushTimer_.setSingleShot(true);
    flushTimer_.setTimerType(Qt::PreciseTimer);
    connect(&flushTimer_, &QTimer::timeout, this, &WebServer::flushTimerFired);
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &WebServer::acceptWebSockets);
}

WebServer::~WebServer() {
    for (auto& c : clients_) {
        c->socket->disconnect(this);
        c->socket->abort();
        delete c->socket;
    }
}

bool WebServer::start(const QHostAddress& address, quint16 port, QString* error) {
    listener_ = new WebListener(this);
    listener_->setMaxPendingConnections(256);
    if (!listener_->listen(address, port)) {
        if (error)
            *error = listener_->errorString();
        delete listener_;
        listener_ = nullptr;
        return false;
    }
    bind(listener_);
    return true;
}

quint16 WebServer::port() const {
    return listener_ ? listener_->serverPort() : 0;
}

void WebServer::setState(const board::Snapshot& state) {
    if (absorb(state))
        scheduleFlush();
}

void WebServer::offer(const board::Snapshot& state) {
    bool post = false;
    {
        QMutexLocker lock(&offerMutex_);
        offered_ = state;
        post = !offerPosted_ && !flushDue_;
        offerPosted_ = offerPosted_ || post;
    }
    if (post)
        QMetaObject::invokeMethod(this, &WebServer::takeOffered, Qt::QueuedConnection);
}

board::Snapshot WebServer::takeWaiting(bool& handOver) {
    QMutexLocker lock(&offerMutex_);
    handOver = false;
    board::Snapshot state;
    state.swap(offered_);
    return state;
}

void WebServer::takeOffered() {
    if (const board::Snapshot state = takeWaiting(offerPosted_))
        setState(state);
}

bool WebServer::absorb(const board::Snapshot& state) {
    if (!json_.update(state))
        return false;
    // Pictures are encoded once per picture, not per request.
    for (size_t i = 0; i < 3; ++i) {
        const quint64 serial = [&] {
            for (const board::Element& e : state->elements)
                if (e.picture == int(i + 1))
                    return e.pictureSerial;
            return quint64(0);
        }();
        if (serial == pngSerial_[i])
            continue;
        pngSerial_[i] = serial;
        png_[i].clear();
        if (!state->pictures[i].isNull()) {
            QBuffer buffer(&png_[i]);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter(&buffer, "png").write(state->pictures[i]);
        }
    }
    frames_.clear();
    return true;
}

void WebServer::scheduleFlush() {
    const qint64 wait = lastFlushNs_ + kMinIntervalNs - clock_.nsecsElapsed();
    if (wait <= 0) {
        flush();
        return;
    }
    // A slower retry for a stalled client must not hold the others back.
    const int ms = int((wait + 999999) / 1000000);
    if (!flushTimer_.isActive() || flushTimer_.remainingTime() > ms)
        armFlushTimer(ms);
}

void WebServer::armFlushTimer(int ms) {
    {
        QMutexLocker lock(&offerMutex_);
        flushDue_ = ms <= int(kMinIntervalNs / 1000000) + 1;
    }
    flushTimer_.start(ms);
}

void WebServer::flushTimerFired() {
    if (const board::Snapshot state = takeWaiting(flushDue_))
        absorb(state);
    flush();
}

void WebServer::flush() {
    const qint64 now = clock_.nsecsElapsed();
    lastFlushNs_ = now;
    if (!json_.state())
        return;
    bool deferred = false, retry = false;
    for (auto& c : clients_) {
        if (c->sent == json_.revision())
            continue;
        // A client that does not read gets nothing more until it has caught up;
        // it is looked at again a little later.
        if (backlog(*c) > kMaxBacklog) {
            retry = true;
            continue;
        }
        // Just given the whole state: this one waits for the next round.
        if (now - c->lastSendNs < kMinIntervalNs - 1000000) {
            deferred = true;
            continue;
        }
        QByteArray& frame = frames_[c->sent];
        if (frame.isEmpty())
            frame = textFrame(json_.changes(c->sent));
        write(*c, frame);
        c->sent = json_.revision();
        c->lastSendNs = now;
    }
    if (deferred)
        armFlushTimer(int(kMinIntervalNs / 1000000) + 1);
    else if (retry)
        armFlushTimer(kStalledRetryMs);
}

QByteArray WebServer::textFrame(const QByteArray& utf8) {
    // One final text frame, unmasked as a server sends it: the same bytes for
    // every client, framed once.
    QByteArray f;
    const quint64 n = quint64(utf8.size());
    f.reserve(utf8.size() + 10);
    f.append(char(0x81));
    if (n < 126) {
        f.append(char(n));
    } else if (n <= 0xFFFF) {
        f.append(char(126));
        f.append(char(n >> 8));
        f.append(char(n & 0xFF));
    } else {
        f.append(char(127));
        for (int shift = 56; shift >= 0; shift -= 8)
            f.append(char((n >> shift) & 0xFF));
    }
    f.append(utf8);
    return f;
}

void WebServer::write(Client& c, const QByteArray& frame) {
    if (c.tcp) {
        // Whole frames in one write each, at once: nothing queued before it,
        // the frame goes straight to the kernel; what does not fit waits in
        // the socket's own buffer, behind which everything else queues.
        qint64 sent = 0;
        if (c.tcp->bytesToWrite() == 0 && c.tcp->state() == QAbstractSocket::ConnectedState) {
            const ssize_t n = ::send(int(c.tcp->socketDescriptor()), frame.constData(), size_t(frame.size()),
                                     MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                c.tcp->abort();  // gone; the WebSocket notices and the client is dropped
                return;
            }
            sent = n > 0 ? n : 0;
        }
        if (sent < frame.size())
            c.tcp->write(frame.constData() + sent, frame.size() - sent);
    } else {
        c.socket->sendTextMessage(QString::fromUtf8(frame.mid(frame[1] == char(126) ? 4 : frame[1] == char(127) ? 10 : 2)));
    }
}

qint64 WebServer::backlog(const Client& c) const {
    return c.tcp ? c.tcp->bytesToWrite() : c.socket->bytesToWrite();
}

void WebServer::drop(QWebSocket* ws) {
    ws->disconnect(this);
    for (auto it = clients_.begin(); it != clients_.end(); ++it)
        if ((*it)->socket == ws) {
            clients_.erase(it);
            break;
        }
    ws->deleteLater();
}

void WebServer::acceptWebSockets() {
    while (hasPendingWebSocketConnections()) {
        QWebSocket* ws = nextPendingWebSocketConnection().release();
        if (!ws)
            break;
        QTcpSocket* tcp = listener_ ? listener_->upgraded(ws->peerAddress(), ws->peerPort()) : nullptr;
        ws->setParent(this);
        if (ws->requestUrl().path() != QLatin1String("/live") || int(clients_.size()) >= kMaxConnections) {
            ws->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("not found"));
            connect(ws, &QWebSocket::disconnected, ws, &QObject::deleteLater);
            QTimer::singleShot(1000, ws, [ws] { ws->abort(); ws->deleteLater(); });
            continue;
        }
        // Clients only listen; anything they send is read and dropped, in small pieces.
        ws->setMaxAllowedIncomingFrameSize(4096);
        ws->setMaxAllowedIncomingMessageSize(4096);
        auto c = std::make_unique<Client>();
        c->socket = ws;
        c->tcp = tcp;
        // Queued: a client may go while the others are being sent to.
        connect(ws, &QWebSocket::disconnected, this, [this, ws] { drop(ws); }, Qt::QueuedConnection);
        clients_.push_back(std::move(c));
        Client& added = *clients_.back();
        // The whole state first, then only changes.
        if (json_.state()) {
            write(added, textFrame(json_.full()));
            added.sent = json_.revision();
            added.lastSendNs = clock_.nsecsElapsed();
        }
    }
}

void WebServer::reply(QTcpSocket* socket, const QHttpServerRequest& request, int status, const QByteArray& type,
                      const QByteArray& body, const QByteArray& cache) {
    QHttpServerResponder r = makeResponder(request, socket);
    r.write(body,
            {{"Content-Type", type},
             {"Cache-Control", cache},
             {"X-Content-Type-Options", "nosniff"},
             {"Content-Security-Policy",
              "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src 'self'; "
              "font-src 'self'; connect-src 'self' ws: wss:"}},
            QHttpServerResponder::StatusCode(status));
}

QByteArray WebServer::page() const {
    QFile f(QStringLiteral(":/web/board.html"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const QString path = request.url().path();
    // Every route, fixed: nothing here names a file from the request.
    enum Route { Page, State, Live, Picture, Font, None } route = None;
    int number = 0;
    if (path == QLatin1String("/"))
        route = Page;
    else if (path == QLatin1String("/state"))
        route = State;
    else if (path == QLatin1String("/live"))
        route = Live;
    else if (path.size() == 10 && path.startsWith(QLatin1String("/picture/")) && path[9] >= '1' && path[9] <= '3') {
        route = Picture;
        number = path[9].unicode() - '0';
    } else if (path.startsWith(QLatin1String("/font/")) && path.size() > 6 && path.size() <= 9) {
        bool ok = false;
        number = path.mid(6).toInt(&ok);
        if (ok && path.mid(6) == QString::number(number))
            route = Font;
    }
    if (route == None)
        return false;
    // A WebSocket upgrade is taken over by the server's WebSocket side as
    // soon as a route accepts it, with nothing written here.
    if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
        return route == Live && request.method() == QHttpServerRequest::Method::Get;
    if (request.method() != QHttpServerRequest::Method::Get) {
        QHttpServerResponder r = makeResponder(request, socket);
        r.write(QByteArray("Only GET\n"), {{"Content-Type", kText}, {"Allow", "GET"}},
                QHttpServerResponder::StatusCode::MethodNotAllowed);
        return true;
    }
    switch (route) {
    case Page:
        reply(socket, request, 200, kHtml, page(), "no-cache");
        break;
    case State:
        reply(socket, request, json_.state() ? 200 : 503, kJson, json_.state() ? json_.full() : "{}");
        break;
    case Live:
        reply(socket, request, 426, kText, "WebSocket only\n");
        break;
    case Picture:
        if (png_[size_t(number - 1)].isEmpty())
            reply(socket, request, 404, kText, "No picture\n");
        else
            reply(socket, request, 200, "image/png", png_[size_t(number - 1)], "no-cache");
        break;
    case Font:
        if (const FontFiles::Font* f = fonts_.font(number))
            reply(socket, request, 200, f->mime, f->data, "max-age=86400");
        else
            reply(socket, request, 404, kText, "No font\n");
        break;
    case None:
        break;
    }
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    reply(socket, request, 404, kText, "Not found\n");
}
