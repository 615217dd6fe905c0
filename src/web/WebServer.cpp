#include "web/WebServer.h"

#include <QBuffer>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QImageWriter>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#ifdef Q_OS_LINUX
#include <linux/filter.h>
#endif
#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 414: return "URI Too Long";
    case 426: return "Upgrade Required";
    case 431: return "Request Header Fields Too Large";
    default: return "Error";
    }
}

// A whole answer that ends the connection.
QByteArray closingReply(int status, const QByteArray& extraHeaders = {}) {
    const QByteArray body = reasonPhrase(status) + '\n';
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
           "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

QHostAddress peerOf(qintptr fd) {
    sockaddr_storage a{};
    socklen_t n = sizeof a;
    if (::getpeername(int(fd), reinterpret_cast<sockaddr*>(&a), &n) != 0)
        return {};
    return QHostAddress(reinterpret_cast<const sockaddr*>(&a));
}

} // namespace

// One connection as the listener sees it: every byte passes its request
// scanner before the HTTP server reads it.
class Connection : public QTcpSocket {
public:
    Connection(WebListener* listener, const QHostAddress& peer, qint64 now);
    ~Connection() override;

    QPointer<WebListener> listener;
    QHostAddress peer;
    wire::RequestScanner scanner{{WebServer::kMaxRequestLine, WebServer::kMaxHead, WebServer::kMaxBody}};
    qint64 since;      // ms: the current request's time runs from here
    qint64 progress;   // ms: a reply's bytes last went out
    enum class Role { Http, Refused, WebSocket } role = Role::Http;
    qint64 dropped = 0;  // bytes read and dropped after a refusal
};

// Accepts connections for the server within the limits: so many at most, so
// many per address; each request checked before the HTTP server reads it,
// complete within its time, and refused at once when too large.
class WebListener : public QTcpServer {
public:
    explicit WebListener(WebServer* server) : QTcpServer(server), server_(server) {
        sweep_.setInterval(250);
        connect(&sweep_, &QTimer::timeout, this, &WebListener::sweep);
        sweep_.start();
        clock_.start();
        // Out of descriptors: accepting pauses; try again shortly.
        connect(this, &QTcpServer::acceptError, this, [this] {
            pauseAccepting();
            QTimer::singleShot(200, this, [this] { resumeAccepting(); });
        });
    }
    ~WebListener() override {
        // Before the bookkeeping goes: connections tell the listener when they go.
        const QList<Connection*> all = findChildren<Connection*>(Qt::FindDirectChildrenOnly);
        qDeleteAll(all);
    }

    int count() const { return int(open_.size()); }
    // The client on `s` broke the rules: its address may not connect for a while.
    void penalise(QTcpSocket* s) {
        if (auto* c = dynamic_cast<Connection*>(s)) {
            blockedUntil_[c->peer] = now() + WebServer::kPenaltyMs;
            filterBlocked();
        }
    }
    qint64 now() const { return clock_.elapsed(); }
    void forget(Connection* c) {
        if (open_.remove(c)) {
            auto it = perAddress_.find(c->peer);
            if (it != perAddress_.end() && --*it <= 0)
                perAddress_.erase(it);
        }
    }

protected:
    void incomingConnection(qintptr fd) override {
        const QHostAddress peer = peerOf(fd);
        if (open_.size() >= WebServer::kMaxConnections || perAddress_.value(peer) >= WebServer::kMaxPerAddress ||
            blockedUntil_.value(peer, -1) > now()) {
            ::close(int(fd));
            return;
        }
        auto* s = new Connection(this, peer, now());
        if (!s->setSocketDescriptor(fd)) {
            delete s;
            ::close(int(fd));
            return;
        }
        // Room for the largest request allowed and more: a full buffer would
        // stop reading before the scanner could refuse.
        s->setReadBufferSize(4 * WebServer::kMaxHead);
        open_.insert(s);
        ++perAddress_[peer];
        // Connected before the HTTP server's own handler, so it sees each read first.
        connect(s, &QTcpSocket::readyRead, this, [this, s] { inspect(s); });
        connect(s, &QTcpSocket::bytesWritten, this, [this, s] {
            s->progress = now();
            if (s->bytesToWrite() == 0 && s->role == Connection::Role::Http)
                s->since = now();  // the answer is out: the next request's time starts
            if (s->bytesToWrite() == 0 && s->role == Connection::Role::Refused)
                ::shutdown(int(s->socketDescriptor()), SHUT_WR);
        });
        addPendingConnection(s);
    }

private:
    void inspect(Connection* s) {
        const qint64 available = s->bytesAvailable();
        if (s->role != Connection::Role::Http || available <= 0)
            return;
        // The HTTP server reads within a transaction; what is new is past it.
        const QByteArray bytes = s->peek(available);
        qsizetype taken = 0;
        switch (s->scanner.feed(bytes, taken)) {
        case wire::RequestScanner::Result::More:
            return;
        case wire::RequestScanner::Result::Refuse:
            refuse(s, s->scanner.status());
            return;
        case wire::RequestScanner::Result::Upgrade:
            upgrade(s, taken);
            return;
        }
    }

    // Takes the connection from the HTTP server.
    void takeOver(Connection* s) {
        QObject::disconnect(s, &QTcpSocket::readyRead, nullptr, nullptr);
        if (s->isTransactionStarted())
            s->commitTransaction();
    }

    // Answers and closes; what the client still sends is read and dropped
    // for a moment, so that the answer is not lost in a reset.
    void refuse(Connection* s, int status, const QByteArray& extraHeaders = {}) {
        takeOver(s);
        s->readAll();
        s->role = Connection::Role::Refused;
        s->since = now();
        connect(s, &QTcpSocket::readyRead, s, [s] {
            s->dropped += s->readAll().size();
            if (s->dropped > 4 * WebServer::kMaxHead)
                s->abort();
        });
        s->write(closingReply(status, extraHeaders));
        s->flush();
    }

    void upgrade(Connection* s, qsizetype headEnd) {
        const wire::Head& h = s->scanner.head();
        const QString path = QUrl(QString::fromLatin1(h.target)).path();
        const QByteArray accept = wire::acceptKey(h.key);
        if (path != QLatin1String("/live"))
            return refuse(s, 404);
        if (h.method != "GET")
            return refuse(s, 405, "Allow: GET\r\n");
        if (h.version.trimmed() != "13")
            return refuse(s, 426, "Sec-WebSocket-Version: 13\r\n");
        if (!h.connectionUpgrade || accept.isEmpty())
            return refuse(s, 400);
        takeOver(s);
        s->read(headEnd);
        const QByteArray rest = s->readAll();
        s->role = Connection::Role::WebSocket;
        s->write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Accept: " + accept + "\r\n\r\n");
        server_->adopt(s, rest);
    }

    // Refused addresses do not even reach accept: their connection attempts
    // are dropped by a filter on the listening socket, so a client that tries
    // again and again waits on its own retries instead of costing an accept
    // and a close each time. Connections that are open are not touched.
    void filterBlocked() {
#ifdef Q_OS_LINUX
        const int fd = int(socketDescriptor());
        if (fd < 0 || serverAddress().protocol() != QAbstractSocket::IPv4Protocol)
            return;
        std::vector<sock_filter> code;
        code.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, quint32(SKF_NET_OFF + 12)));  // IPv4 source
        for (auto it = blockedUntil_.cbegin(); it != blockedUntil_.cend() && code.size() < 2001; ++it) {
            bool ipv4 = false;
            const quint32 a = it.key().toIPv4Address(&ipv4);
            if (!ipv4)
                continue;
            code.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, a, 0, 1));
            code.push_back(BPF_STMT(BPF_RET | BPF_K, 0));  // dropped
        }
        code.push_back(BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFFu));
        if (code.size() == 2) {
            const int unused = 0;  // the kernel wants an int's room even here
            ::setsockopt(fd, SOL_SOCKET, SO_DETACH_FILTER, &unused, sizeof unused);
            return;
        }
        const sock_fprog program{static_cast<unsigned short>(code.size()), code.data()};
        ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
#endif
    }

    void sweep() {
        const qint64 t = now();
        const qsizetype blocked = blockedUntil_.size();
        for (auto it = blockedUntil_.begin(); it != blockedUntil_.end();)
            it = *it <= t ? blockedUntil_.erase(it) : std::next(it);
        if (blockedUntil_.size() != blocked)
            filterBlocked();
        QList<QPointer<Connection>> late;
        for (Connection* c : open_) {
            switch (c->role) {
            case Connection::Role::Http:
                if (c->bytesToWrite() > 0 ? t - c->progress > WebServer::kIdleMs : t - c->since > WebServer::kRequestMs)
                    late << c;
                break;
            case Connection::Role::Refused:
                if (t - c->since > WebServer::kLingerMs)
                    late << c;
                break;
            case Connection::Role::WebSocket:
                break;
            }
        }
        for (const QPointer<Connection>& c : late) {
            if (!c)
                continue;
            if (c->state() == QAbstractSocket::UnconnectedState)
                c->deleteLater();  // closed, and nobody took it away
            else if (c->role == Connection::Role::Http && c->bytesToWrite() == 0 && c->scanner.inRequest())
                refuse(c, 408);
            else
                c->abort();
        }
    }

    WebServer* server_;
    QSet<Connection*> open_;
    QHash<QHostAddress, int> perAddress_;
    QHash<QHostAddress, qint64> blockedUntil_;  // ms
    QTimer sweep_;
    QElapsedTimer clock_;
};

Connection::Connection(WebListener* l, const QHostAddress& p, qint64 now)
    : QTcpSocket(l), listener(l), peer(p), since(now), progress(now) {}

Connection::~Connection() {
    if (listener)
        listener->forget(this);
}

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
}

WebServer::~WebServer() {
    for (auto& c : clients_)
        if (c->tcp)
            c->tcp->disconnect(this);
    clients_.clear();
    delete listener_;  // with every connection
}

int WebServer::connectionCount() const {
    return listener_ ? listener_->count() : 0;
}

bool WebServer::start(const QHostAddress& address, quint16 port, QString* error) {
    listener_ = new WebListener(this);
    listener_->setMaxPendingConnections(256);
    // Many connections at once (a page and its parts, or an attack) wait in
    // the kernel rather than being turned away.
    listener_->setListenBacklogSize(1024);
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
    if (offered_.put(state))
        QMetaObject::invokeMethod(this, &WebServer::takeOffered, Qt::QueuedConnection);
}

void WebServer::takeOffered() {
    if (const board::Snapshot state = offered_.takeWoken())
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
    fullFrame_.clear();
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
    offered_.setTimed(ms <= int(kMinIntervalNs / 1000000) + 1);
    flushTimer_.start(ms);
}

void WebServer::flushTimerFired() {
    if (const board::Snapshot state = offered_.takeTimed())
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
        if (c->sent == json_.revision() || c->closing || !c->tcp)
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
            frame = wire::serverFrame(wire::FrameReader::Text, json_.changes(c->sent));
        write(*c, frame);
        c->sent = json_.revision();
        c->lastSendNs = now;
    }
    if (deferred)
        armFlushTimer(int(kMinIntervalNs / 1000000) + 1);
    else if (retry)
        armFlushTimer(kStalledRetryMs);
}

void WebServer::write(Client& c, const QByteArray& frame) {
    if (!c.tcp)
        return;
    // Whole frames in one write each, at once: nothing queued before it,
    // the frame goes straight to the kernel; what does not fit waits in
    // the socket's own buffer, behind which everything else queues.
    qint64 sent = 0;
    if (c.tcp->bytesToWrite() == 0 && c.tcp->state() == QAbstractSocket::ConnectedState) {
        const ssize_t n = ::send(int(c.tcp->socketDescriptor()), frame.constData(), size_t(frame.size()),
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            c.tcp->abort();  // gone; the client is dropped
            return;
        }
        sent = n > 0 ? n : 0;
    }
    if (sent < frame.size())
        c.tcp->write(frame.constData() + sent, frame.size() - sent);
}

qint64 WebServer::backlog(const Client& c) const {
    return c.tcp ? c.tcp->bytesToWrite() : 0;
}

void WebServer::drop(Client* gone) {
    for (auto it = clients_.begin(); it != clients_.end(); ++it)
        if (it->get() == gone) {
            if (gone->tcp)
                gone->tcp->disconnect(this);
            clients_.erase(it);
            return;
        }
}

void WebServer::adopt(QTcpSocket* tcp, const QByteArray& rest) {
    if (int(clients_.size()) >= kMaxConnections) {
        tcp->abort();
        return;
    }
    auto owned = std::make_unique<Client>();
    Client* c = owned.get();
    c->tcp = tcp;
    c->windowStartMs = clock_.elapsed();
    clients_.push_back(std::move(owned));
    // Queued: a client may go while the others are being sent to.
    connect(tcp, &QAbstractSocket::disconnected, this, [this, c] { drop(c); }, Qt::QueuedConnection);
    connect(tcp, &QIODevice::readyRead, this, [this, c] { readClient(c); });
    // The whole state first, then only changes.
    if (json_.state()) {
        if (fullFrame_.isEmpty())
            fullFrame_ = wire::serverFrame(wire::FrameReader::Text, json_.full());
        write(*c, fullFrame_);
        c->sent = json_.revision();
        c->lastSendNs = clock_.nsecsElapsed();
    }
    feedClient(*c, rest);
}

void WebServer::readClient(Client* c) {
    while (!c->closing && c->tcp && c->tcp->bytesAvailable() > 0)
        feedClient(*c, c->tcp->read(16 * 1024));
}

void WebServer::feedClient(Client& c, const QByteArray& bytes) {
    QByteArrayView rest(bytes);
    wire::FrameReader::Frame frame;
    while (!c.closing && !rest.isEmpty()) {
        switch (c.reader.feed(rest, frame)) {
        case wire::FrameReader::Result::More:
            break;
        case wire::FrameReader::Result::Error:
            closeClient(c, c.reader.closeCode());
            return;
        case wire::FrameReader::Result::Frame:
            takeFrame(c, frame);
            break;
        }
    }
}

void WebServer::takeFrame(Client& c, const wire::FrameReader::Frame& f) {
    // The page never sends anything: a few frames a second are plenty for
    // any client, and more only cost the board's machine.
    const qint64 now = clock_.elapsed();
    if (now - c.windowStartMs >= 1000) {
        c.windowStartMs = now;
        c.framesInWindow = 0;
    }
    if (++c.framesInWindow > kMaxFramesPerSecond) {
        closeClient(c, 1008);
        return;
    }
    switch (f.opcode) {
    case wire::FrameReader::Ping:
        // An answer queues like everything else: a client that asks and
        // does not read is past its bound.
        if (backlog(c) > kMaxBacklog) {
            c.closing = true;
            listener_->penalise(c.tcp);
            c.tcp->abort();
            return;
        }
        write(c, wire::serverFrame(wire::FrameReader::Pong, f.payload));
        break;
    case wire::FrameReader::Close:
        closeClient(c, 1000);
        break;
    default:
        break;  // messages and pongs are read and dropped
    }
}

void WebServer::closeClient(Client& c, int code) {
    if (c.closing || !c.tcp)
        return;
    c.closing = true;
    QTcpSocket* tcp = c.tcp;
    if (code != 1000)
        listener_->penalise(tcp);
    if (backlog(c) > 0) {
        tcp->abort();  // it does not read: a goodbye would only queue
        return;
    }
    const char payload[2] = {char(code >> 8), char(code & 0xFF)};
    write(c, wire::serverFrame(wire::FrameReader::Close, QByteArrayView(payload, 2)));
    tcp->disconnectFromHost();
    QTimer::singleShot(1000, tcp, [tcp] { tcp->abort(); });
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
