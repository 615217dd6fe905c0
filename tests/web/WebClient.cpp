#include "WebClient.h"

#include "../serial/Pty.h"

#include <QJsonDocument>
#include <QTcpSocket>
#include <time.h>

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
