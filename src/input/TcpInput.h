#pragma once
#include "input/Backoff.h"
#include "input/Input.h"
#include "input/InputUrl.h"

#include <QAbstractSocket>
#include <QElapsedTimer>

class QTcpSocket;
class QTimer;

// A serial device server on the network (raw TCP: the timing device's
// line as a byte stream). Connects by itself, and again after a refusal,
// a lost link or a host not found, waiting longer each time (Backoff).
// Nothing here ever waits for the network: every step is a signal.
class TcpInput : public Input {
    Q_OBJECT
public:
    struct Options {
        int firstRetryMs = 250, lastRetryMs = 8000;
        int connectTimeoutMs = 5000;    // an attempt with no answer is given up
        qint64 maxBuffered = 1 << 20;   // bytes held while the receiver is busy
        int goodConnectionMs = 2000;    // a link that lasted this long resets the back-off
    };

    explicit TcpInput(TcpTarget target, QObject* parent = nullptr);
    TcpInput(TcpTarget target, Options options, QObject* parent = nullptr);
    ~TcpInput() override;

    void open() override;
    void close() override;
    State state() const override;
    const TcpTarget& target() const { return target_; }

private:
    void attempt();
    void connected();
    void failed(const QString& why);
    void drain();
    void setPhase(Phase p, const QString& why = QString());
    static QString reason(QAbstractSocket::SocketError e, const QString& text);

    const TcpTarget target_;
    const Options options_;
    QTcpSocket* socket_ = nullptr;
    QTimer* retryTimer_ = nullptr;
    QTimer* connectTimer_ = nullptr;
    Backoff backoff_;
    Phase phase_ = Phase::Closed;
    QString why_;
    QElapsedTimer connectedFor_;
    bool gotBytes_ = false;
    bool emitting_ = false;
};
