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

// Raw sockets for clients that misbehave on purpose.
// A non-blocking TCP socket from `from` (a loopback address) to
// 127.0.0.1:port with its connection begun, a receive buffer of
// `receiveBuffer` bytes (0: the system's); -1 when refused at once.
int startConnect(quint16 port, const char* from = "127.0.0.1", int receiveBuffer = 0);
// The same, blocking, once connected within `ms` (-1: however long it
// takes); -1 when it cannot be made (a server may drop an address's attempts).
int connectWithin(quint16 port, const char* from, int ms, int receiveBuffer = 0);
// A blocking connection, as connectWithin without a time limit.
int rawConnect(quint16 port, const char* from = "127.0.0.1", int receiveBuffer = 0);
// A client frame (masked, final) with `opcode` and `payload`.
QByteArray clientFrame(int opcode, const QByteArray& payload = {});
// Sends the upgrade to `path` and reads the server's answer up to its blank
// line; the status code, 0 when none came within `ms`.
int rawUpgrade(int fd, const QByteArray& path = "/live", int ms = 3000);
// Whether the server has closed `fd` (end of stream or reset), reading and
// dropping whatever came before; waits up to `ms`.
bool closedByServer(int fd, int ms);
