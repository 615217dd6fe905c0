#include "input/TcpInput.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

TcpInput::TcpInput(TcpTarget target, QObject* parent) : TcpInput(std::move(target), Options(), parent) {}

TcpInput::TcpInput(TcpTarget target, Options options, QObject* parent)
    : Input(parent), target_(std::move(target)), options_(options), backoff_(options.firstRetryMs, options.lastRetryMs) {
    retryTimer_ = new QTimer(this);
    retryTimer_->setSingleShot(true);
    connect(retryTimer_, &QTimer::timeout, this, [this] { attempt(); });
    connectTimer_ = new QTimer(this);
    connectTimer_->setSingleShot(true);
    connect(connectTimer_, &QTimer::timeout, this, [this] { failed(QStringLiteral("no answer")); });
}

TcpInput::~TcpInput() {
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
}

void TcpInput::open() {
    if (phase_ != Phase::Closed)
        return;
    backoff_.reset();
    attempt();
}

void TcpInput::close() {
    retryTimer_->stop();
    connectTimer_->stop();
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();  // may be inside one of its own signals
        socket_ = nullptr;
    }
    setPhase(Phase::Closed);
}

Input::State TcpInput::state() const {
    State s;
    s.phase = phase_;
    s.where = target_.url();
    s.why = why_;
    if (phase_ == Phase::Waiting && retryTimer_->isActive())
        s.retryInMs = retryTimer_->remainingTime();
    return s;
}

void TcpInput::attempt() {
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
    }
    // A fresh socket each time: nothing of the last link is read twice.
    socket_ = new QTcpSocket(this);
    socket_->setReadBufferSize(options_.maxBuffered);
    connect(socket_, &QTcpSocket::connected, this, [this] { connected(); });
    connect(socket_, &QTcpSocket::readyRead, this, [this] { drain(); });
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        failed(reason(e, socket_ ? socket_->errorString() : QString()));
    });
    connect(socket_, &QTcpSocket::disconnected, this,
            [this] { failed(reason(QAbstractSocket::RemoteHostClosedError, QString())); });
    gotBytes_ = false;
    setPhase(Phase::Connecting);
    connectTimer_->start(options_.connectTimeoutMs);
    socket_->connectToHost(target_.host, target_.port);  // the name is looked up without waiting
}

void TcpInput::connected() {
    connectTimer_->stop();
    // A device server's line may stay silent for hours: the system notices
    // a dead link by itself.
    socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connectedFor_.start();
    setPhase(Phase::Connected);
}

void TcpInput::failed(const QString& why) {
    if (phase_ == Phase::Closed || phase_ == Phase::Waiting)
        return;  // one failure, several signals (error, then disconnected)
    connectTimer_->stop();
    if (phase_ == Phase::Connected) {
        drain();  // what came before the end still counts
        // A server that takes the link and drops it at once (busy with
        // another client) is not a good connection: its wait keeps growing.
        if (gotBytes_ || connectedFor_.elapsed() >= options_.goodConnectionMs)
            backoff_.reset();
    }
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
    retryTimer_->start(backoff_.next());
    setPhase(Phase::Waiting, why);
}

void TcpInput::drain() {
    // In arrival order: not while an earlier chunk is still being handed on
    // (its receiver may run an event loop, a prompt). readyRead does not come
    // again meanwhile; the loop below takes what arrived once it returns.
    if (emitting_ || !socket_)
        return;
    emitting_ = true;
    while (socket_ && socket_->bytesAvailable() > 0) {
        const QByteArray bytes = socket_->read(64 * 1024);
        if (bytes.isEmpty())
            break;
        gotBytes_ = true;
        const QPointer<TcpInput> self(this);
        emit received(bytes);
        if (!self)
            return;  // closed and deleted by the receiver's own event loop
    }
    emitting_ = false;
}

void TcpInput::setPhase(Phase p, const QString& why) {
    const bool changed = p != phase_ || why != why_;
    phase_ = p;
    why_ = why;
    if (changed)
        emit stateChanged();
}

QString TcpInput::reason(QAbstractSocket::SocketError e, const QString& text) {
    switch (e) {
    case QAbstractSocket::ConnectionRefusedError: return QStringLiteral("connection refused");
    case QAbstractSocket::HostNotFoundError: return QStringLiteral("host not found");
    case QAbstractSocket::RemoteHostClosedError: return QStringLiteral("closed by the device server");
    case QAbstractSocket::SocketTimeoutError: return QStringLiteral("no answer");
    case QAbstractSocket::NetworkError: return QStringLiteral("network unreachable");
    default: return text.isEmpty() ? QStringLiteral("connection failed") : text;
    }
}
