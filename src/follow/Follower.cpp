#include "follow/Follower.h"

#include "follow/FollowedBoard.h"
#include "mqtt/MqttLink.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <QWebSocket>

Follower::Follower(const FollowSource& source, FollowedBoard& board, QObject* parent)
    : QObject(parent), source_(source), board_(board) {
    show(QStringLiteral("connecting"));
    if (source_.kind == FollowSource::Kind::Mqtt)
        startMqtt();
    else
        startWeb();
}

Follower::~Follower() {
    link_.reset();  // ends the link's thread before what it hands over to goes
    if (socket_)
        socket_->abort();
}

void Follower::show(const QString& connection) {
    connection_ = connection;
    showStatus();
}

void Follower::showStatus() {
    QString s = QStringLiteral("following %1: %2").arg(source_.display(), connection_);
    if (connection_ == QLatin1String("connected")) {
        if (!state_.hasState())
            s += QStringLiteral(", waiting for the board");
        else if (primaryOffline_)
            s += QStringLiteral(", the board it follows is offline");
    }
    if (s != status_) {
        status_ = s;
        board_.setFollowStatus(s);
    }
}

void Follower::take(const QByteArray& message) {
    if (!state_.take(message))
        return;  // untrusted: dropped whole, the board stays as it is
    apply();
    showStatus();
}

void Follower::reapply() {
    if (!state_.empty())
        apply();
}

void Follower::apply() {
    board_.beginState();
    struct End {
        FollowedBoard& b;
        ~End() { b.endState(); }
    } end{board_};
    for (const follow::Element& e : state_.elements()) {
        board_.setElement(e.name, e.text, e.visible);
        if (e.picture < 1 || e.picture > 3 || source_.kind != FollowSource::Kind::Http)
            continue;  // over MQTT the board keeps its own pictures
        std::optional<QString>& shown = pictureSrc_[size_t(e.picture - 1)];
        if (shown == e.src)
            continue;
        shown = e.src;
        if (e.src.isEmpty())
            board_.setPicture(e.picture, QImage());
        else
            fetchPicture(e.picture, e.src);
    }
}

// ---- mqtt -------------------------------------------------------------------

void Follower::startMqtt() {
    const MqttTarget& t = source_.mqtt;
    const QString stateTopic = t.prefix + QStringLiteral("/state"), statusTopic = t.prefix + QStringLiteral("/status");
    MqttLink::Options o;
    o.host = t.host;
    o.port = t.port;
    o.user = t.user;
    o.password = t.password;
    o.subscriptions = {stateTopic, statusTopic};
    o.maxIncoming = follow::FollowedState::kMaxMessage;
    o.firstRetryMs = kFirstRetryMs;
    o.lastRetryMs = kLastRetryMs;
    // On the link's thread: keep the newest of each, wake the board's thread once.
    o.onMessage = [this, stateTopic, statusTopic](const QString& topic, const QByteArray& payload) {
        {
            std::lock_guard lock(inboxMutex_);
            if (topic == stateTopic)
                inboxState_ = payload;
            else if (topic == statusTopic)
                inboxStatus_ = payload;
            else
                return;
            if (posted_)
                return;
            posted_ = true;
        }
        QMetaObject::invokeMethod(this, &Follower::takeInbox, Qt::QueuedConnection);
    };
    link_ = std::make_unique<MqttLink>(o);
    connect(link_.get(), &MqttLink::stateChanged, this,
            [this](MqttLink::State s, const QString& why) {
                switch (s) {
                case MqttLink::State::Connecting: show(QStringLiteral("connecting")); break;
                case MqttLink::State::Connected:
                    // The broker sends the retained board again on subscribing.
                    state_.expectState();
                    show(QStringLiteral("connected"));
                    break;
                case MqttLink::State::Down:
                    state_.expectState();
                    show(QStringLiteral("not connected (%1), trying again")
                             .arg(why.trimmed().isEmpty() ? QStringLiteral("no answer") : why.trimmed()));
                    break;
                }
            },
            Qt::QueuedConnection);
}

void Follower::takeInbox() {
    std::optional<QByteArray> state, status;
    {
        std::lock_guard lock(inboxMutex_);
        state.swap(inboxState_);
        status.swap(inboxStatus_);
        posted_ = false;
    }
    if (status)
        primaryOffline_ = *status == "offline";
    if (state)
        take(*state);
    showStatus();
}

// ---- http -------------------------------------------------------------------

void Follower::startWeb() {
    net_ = new QNetworkAccessManager(this);
    socket_ = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    socket_->setMaxAllowedIncomingMessageSize(quint64(follow::FollowedState::kMaxMessage));
    socket_->setMaxAllowedIncomingFrameSize(quint64(follow::FollowedState::kMaxMessage));
    retry_ = new QTimer(this);
    retry_->setSingleShot(true);
    connect(retry_, &QTimer::timeout, this, &Follower::openWeb);
    connectTimeout_ = new QTimer(this);
    connectTimeout_->setSingleShot(true);
    connectTimeout_->setInterval(kConnectTimeoutMs);
    connect(connectTimeout_, &QTimer::timeout, this, [this] { webLost(QStringLiteral("no answer")); });
    ping_ = new QTimer(this);
    ping_->setInterval(kPingMs);
    connect(ping_, &QTimer::timeout, this, [this] {
        // A board that went away without a word (a cable pulled) answers no ping.
        if (sincePong_.elapsed() > 2 * kPingMs)
            webLost(QStringLiteral("no answer"));
        else
            socket_->ping();
    });
    connect(socket_, &QWebSocket::pong, this, [this] { sincePong_.restart(); });
    connect(socket_, &QWebSocket::connected, this, [this] {
        connectTimeout_->stop();
        retryMs_ = kFirstRetryMs;
        sincePong_.restart();
        ping_->start();
        state_.expectState();
        // Pictures are fetched again: the board may have restarted with others.
        pictureSrc_.fill(std::nullopt);
        show(QStringLiteral("connected"));
    });
    connect(socket_, &QWebSocket::textMessageReceived, this, [this](const QString& m) { take(m.toUtf8()); });
    connect(socket_, &QWebSocket::disconnected, this, [this] {
        const QString why = socket_->closeCode() != QWebSocketProtocol::CloseCodeNormal || socket_->closeReason().isEmpty()
                                ? socket_->errorString()
                                : socket_->closeReason();
        webLost(why);
    });
    openWeb();
}

void Follower::openWeb() {
    // While retrying the status keeps saying why it is not connected.
    if (!connection_.startsWith(QLatin1String("not connected")))
        show(QStringLiteral("connecting"));
    connectTimeout_->start();
    socket_->open(source_.live());
}

void Follower::webLost(const QString& why) {
    connectTimeout_->stop();
    ping_->stop();
    state_.expectState();
    if (retry_->isActive())
        return;  // already lost; the abort below says it again
    QString w = why.trimmed();
    if (w.isEmpty() || w == QLatin1String("Unknown error"))
        w = QStringLiteral("connection closed");
    show(QStringLiteral("not connected (%1), trying again").arg(w));
    retry_->start(retryMs_);
    retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
    socket_->abort();
}

void Follower::fetchPicture(int number, const QString& src) {
    QNetworkRequest request(source_.picture(src));
    request.setTransferTimeout(10000);
    QNetworkReply* reply = net_->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxPicture)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, number, src] {
        reply->deleteLater();
        if (pictureSrc_[size_t(number - 1)] != src)
            return;  // another picture came meanwhile
        if (reply->error() != QNetworkReply::NoError ||
            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200) {
            // Asked again in a while, not with every message.
            QTimer::singleShot(2000, this, [this, number, src] {
                if (pictureSrc_[size_t(number - 1)] == src)
                    fetchPicture(number, src);
            });
            return;
        }
        // Decoded off the board's thread; a picture claiming more than 64 MB is refused.
        QPointer<Follower> self(this);
        QThreadPool::globalInstance()->start([self, number, src, bytes = reply->readAll()] {
            QBuffer buffer;
            buffer.setData(bytes);
            buffer.open(QIODevice::ReadOnly);
            QImageReader reader(&buffer);
            reader.setAllocationLimit(64);
            const QImage image = reader.read();
            QMetaObject::invokeMethod(
                qApp,
                [self, number, src, image] {
                    if (self && self->pictureSrc_[size_t(number - 1)] == src && !image.isNull())
                        self->board_.setPicture(number, image);
                },
                Qt::QueuedConnection);
        });
    });
}
