#pragma once
#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QWebSocket>
#include <memory>

// An HTTP reply as it came off the socket.
struct HttpReply {
    int status = 0;              // 0: no reply (closed or timed out)
    QByteArray head;             // status line and headers
    QByteArray body;
    bool closed = false;         // the server closed the connection
    QByteArray header(const QByteArray& name) const;
};

// Sends `request` as raw bytes on a fresh connection and reads one reply.
HttpReply rawHttp(quint16 port, const QByteArray& request, int timeoutMs = 3000);
HttpReply httpGet(quint16 port, const QByteArray& path, const QByteArray& method = "GET");

// A WebSocket client on /live that keeps every message with its arrival time.
class LiveClient {
public:
    explicit LiveClient(quint16 port, const QString& path = QStringLiteral("/live"));
    bool connected() const { return socket_->state() == QAbstractSocket::ConnectedState; }
    QWebSocket& socket() { return *socket_; }
    struct Message {
        QJsonObject json;
        qint64 atNs;  // on the client's clock (CLOCK_MONOTONIC)
    };
    QList<Message> messages;

private:
    std::unique_ptr<QWebSocket> socket_;
};

qint64 monotonicNs();
