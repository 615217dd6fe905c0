// The web board under attack from loopback, through the real program:
// oversized requests, requests that trickle in, one address taking every
// connection, pings in floods. Each attack must cost its own connection and
// nothing else: the board and the other clients go on.
#include "../../bench/ProcessStats.h"
#include "RunningProgram.h"
#include "WebClient.h"

#include "web/WebServer.h"

#include <QJsonObject>
#include <QWebSocket>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A connection's whole exchange: what it sent, what came back, whether the
// server closed it, and when.
struct Exchange {
    int status = 0;
    QByteArray reply;
    bool closed = false;
    qint64 ms = -1;  // from the first byte sent to the end of the stream
};

// Sends `request` (without waiting for the server to take all of it) and
// reads until the server closes the connection or `ms` have passed.
Exchange exchange(quint16 port, const QByteArray& request, int ms = 5000, const char* from = "127.0.0.1") {
    Exchange e;
    const int fd = rawConnect(port, from);
    if (fd < 0)
        return e;
    const qint64 start = monotonicNs();
    qint64 end = start + qint64(ms) * 1000000;
    qsizetype sent = 0;
    char buffer[65536];
    while (monotonicNs() < end) {
        if (sent < request.size()) {
            const ssize_t n = ::send(fd, request.constData() + sent, size_t(request.size() - sent),
                                     MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0)
                sent += n;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0)
            continue;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            e.reply.append(buffer, n);
            // A whole reply: a closing one is followed by the end of the stream.
            const qsizetype head = e.reply.indexOf("\r\n\r\n");
            const QRegularExpressionMatch length =
                QRegularExpression("\r\nContent-Length: (\\d+)\r\n").match(QString::fromLatin1(e.reply.left(head + 2)));
            if (head > 0 && length.hasMatch() && e.reply.size() >= head + 4 + length.captured(1).toLongLong()) {
                if (!e.reply.left(head + 2).contains("\r\nConnection: close\r\n"))
                    break;
                end = std::min(end, monotonicNs() + 1000000000LL);
            }
        } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            e.closed = true;
            e.ms = (monotonicNs() - start) / 1000000;
            break;
        }
    }
    ::close(fd);
    if (e.reply.startsWith("HTTP/1.1 "))
        e.status = e.reply.mid(9, 3).toInt();
    return e;
}

// Whether a GET from `from` is answered with 200 within `ms`: the connection
// may never be made, or be closed unanswered.
bool servedWithin(quint16 port, const char* from, int ms) {
    const int fd = startConnect(port, from);
    if (fd < 0)
        return false;
    const qint64 end = monotonicNs() + qint64(ms) * 1000000;
    bool sent = false;
    QByteArray reply;
    while (monotonicNs() < end && !reply.contains("\r\n")) {
        pollfd p{fd, short(sent ? POLLIN : POLLOUT), 0};
        if (::poll(&p, 1, 10) <= 0)
            continue;
        if (!sent) {
            sent = ::send(fd, "GET /state HTTP/1.1\r\n\r\n", 24, MSG_NOSIGNAL) == 24;
            if (!sent)
                break;
            continue;
        }
        char buffer[256];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0)
            break;
        reply.append(buffer, n);
    }
    ::close(fd);
    return reply.startsWith("HTTP/1.1 200 ");
}

void raiseDescriptorLimit(rlim_t wanted) {
    rlimit l{};
    getrlimit(RLIMIT_NOFILE, &l);
    l.rlim_cur = std::min(wanted, l.rlim_max);
    setrlimit(RLIMIT_NOFILE, &l);
}

QString shownTime(const LiveClient& c) {
    return c.messages.isEmpty() ? QString() : c.messages.last().json["time"].toString();
}

class WebAttack : public ::testing::Test {
protected:
    void SetUp() override {
        port = program.webPort();
        ASSERT_NE(port, 0) << program.errors().toStdString();
        ASSERT_TRUE(program.portOpened());
    }
    // A line reaches every watching client: the board and the web go on.
    void expectTheBoardGoesOn(LiveClient& watcher, const QByteArray& line, const QString& shown) {
        program.send(line);
        EXPECT_TRUE(waitFor([&] { return shownTime(watcher) == shown; }, 5000)) << shownTime(watcher).toStdString();
        EXPECT_EQ(httpGet(port, "/state").status, 200);
        EXPECT_EQ(program.app.state(), QProcess::Running);
    }
    Program program{{"--web-port", "any"}};
    quint16 port = 0;
};

} // namespace

TEST_F(WebAttack, OversizedRequestsAreAnsweredAtOnceAndClosed) {
    QByteArray manyHeaders = "GET /state HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 400; ++i)
        manyHeaders += "X-Fill-" + QByteArray::number(i) + ": " + QByteArray(100, 'a') + "\r\n";
    struct Case {
        const char* what;
        QByteArray request;
        int status;
    } cases[] = {
        {"a long URL", "GET /" + QByteArray(8000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", 414},
        {"a URL without end", "GET /" + QByteArray(200 * 1024, 'a'), 414},
        {"many headers", manyHeaders + "\r\n", 431},
        {"one header without end", "GET /state HTTP/1.1\r\nX-Fill: " + QByteArray(200 * 1024, 'a'), 431},
        // Only announced: the body is never sent, the answer must not wait for it.
        {"a large body", "POST /state HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000\r\n\r\n", 413},
        {"a large body sent", "POST /state HTTP/1.1\r\nHost: x\r\nContent-Length: 300000\r\n\r\n" +
                                  QByteArray(300000, 'b'), 413},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Exchange e = exchange(port, c.request);
        EXPECT_EQ(e.status, c.status) << e.reply.left(200).toStdString();
        EXPECT_TRUE(e.reply.contains("\r\nConnection: close\r\n"));
        // Closed right after the answer, not by a timer.
        EXPECT_TRUE(e.closed);
        EXPECT_LT(e.ms, 4000);
    }
    // Requests within the limits are served as before.
    EXPECT_EQ(exchange(port, "GET /" + QByteArray(1000, 'a') + " HTTP/1.1\r\nConnection: close\r\n\r\n").status, 404);
    EXPECT_EQ(exchange(port, "GET /state HTTP/1.1\r\nConnection: close\r\nX-Fill: " + QByteArray(8000, 'a') +
                                 "\r\n\r\n").status,
              200);
    LiveClient watcher(port);
    ASSERT_TRUE(waitFor([&] { return !watcher.messages.isEmpty(); }, 5000));
    expectTheBoardGoesOn(watcher, "012.    00:01:23.456  ", "1:23.45");
}

TEST_F(WebAttack, ARequestMustBeCompleteInTimeHoweverItTrickles) {
    const int fd = rawConnect(port);
    ASSERT_GE(fd, 0);
    const qint64 start = monotonicNs();
    // A header line every half second: the connection is never idle, the
    // request never complete.
    QByteArray reply;
    bool closed = false;
    ::send(fd, "GET /state HTTP/1.1\r\n", 21, MSG_NOSIGNAL);
    while (!closed && monotonicNs() - start < 20000000000LL) {
        ::send(fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL | MSG_DONTWAIT);
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 500) > 0) {
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0)
                reply.append(buffer, n);
            closed = n == 0 || (n < 0 && errno != EAGAIN);
        }
    }
    const qint64 ms = (monotonicNs() - start) / 1000000;
    ::close(fd);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 408 ")) << reply.left(200).toStdString();
    EXPECT_GE(ms, WebServer::kRequestMs - 1000);
    EXPECT_LT(ms, WebServer::kRequestMs + 3000);
}

TEST_F(WebAttack, OneAddressHoldsOnlyItsShareOfTheConnections) {
    raiseDescriptorLimit(8192);
    // More connections than the server has room for, all from 127.0.0.1,
    // made at once, each with half a request.
    std::vector<pollfd> held;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < WebServer::kMaxConnections + 100; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ASSERT_GE(fd, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
        held.push_back({fd, POLLOUT, 0});
    }
    size_t connected = 0;
    for (const qint64 end = monotonicNs() + 6000000000LL; connected < held.size() && monotonicNs() < end;) {
        ::poll(held.data(), nfds_t(held.size()), 100);
        for (pollfd& p : held)
            if (p.events == POLLOUT && (p.revents & (POLLOUT | POLLERR | POLLHUP))) {
                ::send(p.fd, "GET /state HTTP/1.1\r\n", 21, MSG_NOSIGNAL | MSG_DONTWAIT);
                p.events = POLLIN;
                ++connected;
            }
    }
    ASSERT_EQ(connected, held.size());
    spin(300);
    // Another address is served at once.
    int answered = 0;
    for (int i = 0; i < 20; ++i)
        answered += exchange(port, "GET /state HTTP/1.1\r\nConnection: close\r\n\r\n", 1000, "127.0.0.2").status == 200;
    EXPECT_EQ(answered, 20);
    int open = 0;
    for (const pollfd& p : held) {
        open += !closedByServer(p.fd, 0);
        ::close(p.fd);
    }
    EXPECT_LE(open, WebServer::kMaxPerAddress);
    EXPECT_GT(open, WebServer::kMaxPerAddress / 2);
}

TEST_F(WebAttack, APingFloodClosesTheClientAndCostsNoMemory) {
    LiveClient watcher(port);
    ASSERT_TRUE(waitFor([&] { return !watcher.messages.isEmpty(); }, 5000));
    const double before = residentMegabytes(program.app.processId());
    // Pings as fast as the connection takes them, never reading an answer;
    // a small receive buffer leaves the answers with the server.
    const int fd = rawConnect(port, "127.0.0.3", 4096);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(rawUpgrade(fd), 101);
    QByteArray pings;
    for (int i = 0; i < 500; ++i)
        pings += clientFrame(0x9, QByteArray(125, 'p'));
    const qint64 start = monotonicNs();
    bool closed = false;
    double peak = before;
    while (!closed && monotonicNs() - start < 3000000000LL) {
        const ssize_t n = ::send(fd, pings.constData(), size_t(pings.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        closed = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
        peak = std::max(peak, residentMegabytes(program.app.processId()));
        if (n < 0 && !closed) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
    }
    const qint64 ms = (monotonicNs() - start) / 1000000;
    ::close(fd);
    EXPECT_TRUE(closed);
    EXPECT_LT(ms, 2000);
    EXPECT_LT(peak - before, 20.0) << before << " MB before";
    // Its address is refused for a while; the others are served.
    EXPECT_FALSE(servedWithin(port, "127.0.0.3", 1000));
    EXPECT_TRUE(servedWithin(port, "127.0.0.4", 1000));
    expectTheBoardGoesOn(watcher, "012.    00:02:34.567  ", "2:34.56");
    // And served again once the while is over.
    EXPECT_TRUE(waitFor([&] { return servedWithin(port, "127.0.0.3", 500); }, WebServer::kPenaltyMs + 3000));
    EXPECT_GE((monotonicNs() - start) / 1000000, WebServer::kPenaltyMs - 1000);
}

TEST_F(WebAttack, AFewPingsASecondAreAnsweredMoreCloseTheClient) {
    QWebSocket polite, rude;
    int pongs = 0;
    QObject::connect(&polite, &QWebSocket::pong, [&] { ++pongs; });
    bool rudeClosed = false;
    QObject::connect(&rude, &QWebSocket::disconnected, [&] { rudeClosed = true; });
    polite.open(QUrl(QString("ws://127.0.0.1:%1/live").arg(port)));
    rude.open(QUrl(QString("ws://127.0.0.1:%1/live").arg(port)));
    ASSERT_TRUE(waitFor([&] {
        return polite.state() == QAbstractSocket::ConnectedState && rude.state() == QAbstractSocket::ConnectedState;
    }, 5000));
    // The rude one reads its answers, yet sends far more than a few a second.
    for (int i = 0; i < 50; ++i)
        rude.ping("r");
    for (int i = 0; i < 5; ++i) {
        polite.ping("p");
        spin(700);
    }
    EXPECT_TRUE(waitFor([&] { return rudeClosed; }, 2000));
    spin(300);
    EXPECT_EQ(pongs, 5);
    EXPECT_EQ(polite.state(), QAbstractSocket::ConnectedState);
}
