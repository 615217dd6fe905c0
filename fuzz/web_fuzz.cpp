// Raw bytes from a client through the web board's server, in process: the
// request scanner, the HTTP server, the WebSocket handshake and frames. Each
// input is one connection on loopback; the first byte says how the rest is
// cut into the client's writes (at most 64 of them). After the client has sent everything and
// stopped sending, the server must close the connection and let it go.
#include "console/Disp.h"
#include "console/Headless.h"
#include "display/BoardModel.h"
#include "web/WebServer.h"

#include <QCoreApplication>
#include <QHostAddress>

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

WebServer* server = nullptr;
quint32 nextPeer = 0;

void runEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Each input comes from an address of its own, so that an address refused
// for one input does not turn the next away.
in_addr peerAddress() {
    ++nextPeer;
    const quint32 n = nextPeer % (250u * 250u * 250u);
    return in_addr{htonl((127u << 24) | ((n / 62500 + 1) << 16) | ((n / 250 % 250 + 1) << 8) | (n % 250 + 1))};
}

// CPU time of this process: the machine may be busy, and a starved process
// must not pass for a server that does not close.
qint64 cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

[[noreturn]] void fail(const char* why) {
    std::fprintf(stderr, "web_fuzz: %s\n", why);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    headless::startApplication(*argc, *argv);
    Tdisplay* window = headless::createWindows();
    server = new WebServer;
    QString error;
    if (!server->start(QHostAddress(QHostAddress::LocalHost), 0, &error))
        fail("cannot listen");
    server->setState(window->boardModel()->snapshot());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    size_t piece = data[0] & 0x80 ? size : size_t(data[0] & 0x3F) + 1;
    ++data;
    --size;
    piece = std::max(piece, size / 64);  // a few dozen writes at most: each costs a round of the event loop

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = peerAddress();
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(server->port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        fail("no client socket");
    ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);

    qint64 since = 0;  // CPU ms at the client's last byte
    size_t sent = 0;
    bool closed = false, shut = false;
    QByteArray reply;
    char buffer[65536];
    while (!closed) {
        runEvents();
        if (sent < size) {
            const ssize_t n = ::send(fd, data + sent, std::min(piece, size - sent), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0)
                sent += size_t(n);
            else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINPROGRESS &&
                     errno != ENOTCONN)
                sent = size;  // refused or closed: nothing more goes
        } else if (!shut) {
            ::shutdown(fd, SHUT_WR);
            shut = true;
            since = cpuMs();
        }
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                if (reply.size() < 16)
                    reply.append(buffer, n);
                continue;
            }
            closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOTCONN);
            break;
        }
        if (shut && cpuMs() - since > 3000)
            fail("the server kept a connection its client had left");
    }
    ::close(fd);
    since = cpuMs();
    // Whatever came back is HTTP.
    if (!reply.isEmpty() && !QByteArray("HTTP/1.1 ").startsWith(reply.left(9)))
        fail("an answer that is no HTTP");
    while (server->connectionCount() > 0) {
        runEvents();
        if (cpuMs() - since > 3000)
            fail("a closed connection was never let go");
    }
    return 0;
}
