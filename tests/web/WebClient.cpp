#include "WebClient.h"

#include "../serial/Pty.h"

#include <QJsonDocument>
#include <QTcpSocket>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

qint64 monotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

QByteArray HttpReply::header(const QByteArray& name) const {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

HttpReply rawHttp(quint16 port, const QByteArray& request, int timeoutMs) {
    HttpReply r;
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!waitFor([&] { return s.state() == QAbstractSocket::ConnectedState; }, timeoutMs))
        return r;
    s.write(request);
    QByteArray in;
    waitFor(
        [&] {
            in += s.readAll();
            if (s.state() != QAbstractSocket::ConnectedState) {
                r.closed = true;
                in += s.readAll();
                return true;
            }
            const qsizetype end = in.indexOf("\r\n\r\n");
            if (end < 0)
                return false;
            r.head = in.left(end);
            const qsizetype length = r.header("Content-Length").toLongLong();
            return in.size() >= end + 4 + length;
        },
        timeoutMs);
    const qsizetype end = in.indexOf("\r\n\r\n");
    if (end >= 0 && in.startsWith("HTTP/1.1 ")) {
        r.head = in.left(end);
        r.body = in.mid(end + 4);
        r.status = in.mid(9, 3).toInt();
    }
    return r;
}

HttpReply httpGet(quint16 port, const QByteArray& path, const QByteArray& method) {
    return rawHttp(port, method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n");
}

LiveClient::LiveClient(quint16 port, const QString& path) : socket_(std::make_unique<QWebSocket>()) {
    QObject::connect(socket_.get(), &QWebSocket::textMessageReceived, [this](const QString& text) {
        messages.push_back({QJsonDocument::fromJson(text.toUtf8()).object(), monotonicNs()});
    });
    socket_->open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(port).arg(path)));
}

int startConnect(quint16 port, const char* from, int receiveBuffer) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int connectWithin(quint16 port, const char* from, int ms, int receiveBuffer) {
    const int fd = startConnect(port, from, receiveBuffer);
    if (fd < 0)
        return -1;
    int error = 0;
    socklen_t size = sizeof error;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, ms) != 1 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int rawConnect(quint16 port, const char* from, int receiveBuffer) {
    return connectWithin(port, from, -1, receiveBuffer);
}

QByteArray clientFrame(int opcode, const QByteArray& payload) {
    QByteArray f;
    f.append(char(0x80 | opcode));
    const quint64 n = quint64(payload.size());
    if (n < 126) {
        f.append(char(0x80 | n));
    } else if (n <= 0xFFFF) {
        f.append(char(0x80 | 126));
        f.append(char(n >> 8));
        f.append(char(n & 0xFF));
    } else {
        f.append(char(0x80 | 127));
        for (int shift = 56; shift >= 0; shift -= 8)
            f.append(char((n >> shift) & 0xFF));
    }
    const char mask[4] = {0x12, 0x34, 0x56, 0x78};
    f.append(mask, 4);
    for (qsizetype i = 0; i < payload.size(); ++i)
        f.append(char(payload[i] ^ mask[i % 4]));
    return f;
}

int rawUpgrade(int fd, const QByteArray& path, int ms) {
    const QByteArray upgrade = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                               "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                               "Sec-WebSocket-Version: 13\r\n\r\n";
    if (::send(fd, upgrade.constData(), size_t(upgrade.size()), MSG_NOSIGNAL) != upgrade.size())
        return 0;
    QByteArray in;
    const qint64 end = monotonicNs() + qint64(ms) * 1000000;
    while (!in.contains("\r\n\r\n") && monotonicNs() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char c;  // one byte at a time: nothing after the blank line is taken
        if (::recv(fd, &c, 1, 0) != 1)
            break;
        in.append(c);
    }
    return in.startsWith("HTTP/1.1 ") && in.contains("\r\n\r\n") ? in.mid(9, 3).toInt() : 0;
}

bool closedByServer(int fd, int ms) {
    const qint64 end = monotonicNs() + qint64(ms) * 1000000;
    char buffer[65536];
    do {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms > 0 ? 20 : 0) > 0) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
                return true;
        }
    } while (monotonicNs() < end);
    return false;
}
