// The web board under load: the real program takes 100 running-time lines a
// second on a pseudo-terminal while N WebSocket clients watch /live. Measures
// the program's CPU share and the latency from a line's last byte written to
// the pseudo-terminal to each client's message showing it.
#include "ProcessStats.h"
#include "Pty.h"
#include "RealProgram.h"
#include "WebClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebSocket>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <memory>
#include <time.h>
#include <unistd.h>

namespace {


// CPU seconds of the process's thread named `name` (the web board's own thread).
double threadCpuSeconds(qint64 pid, const QByteArray& name) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(t + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        QFile f(tasks.filePath(t + QStringLiteral("/stat")));
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray stat = f.readAll();
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(::sysconf(_SC_CLK_TCK));
    }
    return 0;
}


// The real program in a folder seeded from data/, COM1 on a pseudo-terminal,
// its web board on a free port.
struct Board {
    QTemporaryDir dir;
    Pty pty;
    QProcess program;
    quint16 port = 0;

    bool start() {
        prepareRun(dir, pty, program, "COM 1\r\nBAUD 115200\r\n");
        program.start(kProgram, {QStringLiteral("--web-port"), QStringLiteral("any")});
        QByteArray out;
        waitFor([&] {
            out += program.readAllStandardOutput();
            const auto m = QRegularExpression(QStringLiteral(":(\\d+)/\\n")).match(QString::fromLatin1(out));
            port = m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
            return port != 0;
        }, 15000);
        if (!port || !waitFor([&] { return hasOpen(program.processId(), pty.slavePath()); }, 15000))
            return false;
        spin(1500);  // first paint, settings read again
        return true;
    }
    qint64 pid() const { return program.processId(); }
    int stop() {
        program.terminate();
        program.waitForFinished(10000);
        return program.exitCode();
    }
};

// Args: clients, seconds measured.
void BM_WebBoardLive(benchmark::State& state) {
    const int clients = int(state.range(0));
    const int seconds = int(state.range(1));
    for (auto _ : state) {
        Board board;
        if (!board.start()) {
            state.SkipWithError("the program did not start its web board or port");
            return;
        }
        Pty& pty = board.pty;
        QProcess& program = board.program;
        const quint16 port = board.port;

        std::vector<qint64> written;  // write time of line i
        std::vector<double> latencyMs;
        std::vector<std::unique_ptr<QWebSocket>> sockets;
        int connected = 0;
        long messages = 0;
        bool measuring = false;
        for (int c = 0; c < clients; ++c) {
            auto ws = std::make_unique<QWebSocket>();
            QObject::connect(ws.get(), &QWebSocket::textMessageReceived, [&](const QString& m) {
                const qint64 at = nowNs();
                if (!measuring)
                    return;
                ++messages;
                // The time as shown, without parsing the whole message.
                const qsizetype k = m.indexOf(QLatin1String("\"time\":\""));
                if (k < 0)
                    return;
                const qsizetype end = m.indexOf('"', k + 8);
                const int i = lineOf(m.mid(k + 8, end - k - 8));
                if (i >= 0 && size_t(i) < written.size())
                    latencyMs.push_back(double(at - written[size_t(i)]) / 1e6);
            });
            QObject::connect(ws.get(), &QWebSocket::connected, [&] { ++connected; });
            ws->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(port)));
            sockets.push_back(std::move(ws));
        }
        if (!waitFor([&] { return connected == clients; }, 20000)) {
            state.SkipWithError("clients did not connect");
            return;
        }
        spin(500);

        // 100 lines a second, each written whole; its time is taken after the write.
        int next = 0;
        QTimer pace;
        pace.setTimerType(Qt::PreciseTimer);
        pace.setInterval(10);
        QObject::connect(&pace, &QTimer::timeout, [&] {
            pty.write(line(next));
            written.push_back(nowNs());
            ++next;
        });
        measuring = true;
        pace.start();
        spin(1000);  // settle
        latencyMs.clear();
        messages = 0;
        const int lines0 = next;
        const double cpu0 = processCpuSeconds(program.processId());
        const double web0 = threadCpuSeconds(program.processId(), "web board");
        const qint64 t0 = nowNs();
        spin(seconds * 1000);
        const double cpu = processCpuSeconds(program.processId()) - cpu0;
        const double web = threadCpuSeconds(program.processId(), "web board") - web0;
        const double wall = double(nowNs() - t0) / 1e9;
        pace.stop();
        state.counters["lines_per_s"] = (next - lines0) / wall;
        state.counters["cpu_pct"] = 100.0 * cpu / wall;
        state.counters["web_thread_cpu_pct"] = 100.0 * web / wall;
        state.counters["msgs_per_client_s"] = clients ? double(messages) / clients / wall : 0;
        state.counters["latency_median_ms"] = percentile(latencyMs, 0.5);
        state.counters["latency_p99_ms"] = percentile(latencyMs, 0.99);
        sockets.clear();
        state.counters["exit_code"] = board.stop();
    }
}
BENCHMARK(BM_WebBoardLive)->Args({0, 20})->Args({1, 20})->Args({100, 20})->Iterations(1)->Unit(benchmark::kSecond);


// ---- attacks ------------------------------------------------------------------

// A blocking connection from `from` to 127.0.0.1:port, -1 when refused or
// not made within a second (a server may drop the attempts of an address).
int connectFrom(quint16 port, const char* from, int receiveBuffer = 0) {
    return connectWithin(port, from, 1000, receiveBuffer);
}

// Reads up to the end of an HTTP head within `ms`; its status, 0 when none.
int readHead(int fd, int ms) {
    QByteArray in;
    const qint64 end = nowNs() + qint64(ms) * 1000000;
    while (!in.contains("\r\n\r\n") && nowNs() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0)
            continue;
        char c;
        if (::recv(fd, &c, 1, 0) != 1)
            return 0;
        in.append(c);
    }
    return in.startsWith("HTTP/1.1 ") && in.contains("\r\n\r\n") ? in.mid(9, 3).toInt() : 0;
}

QByteArray maskedFrame(int opcode, const QByteArray& payload) {
    QByteArray f;
    f.append(char(0x80 | opcode));
    f.append(char(0x80 | payload.size()));  // short payloads only
    const char mask[4] = {0x11, 0x22, 0x33, 0x44};
    f.append(mask, 4);
    for (qsizetype i = 0; i < payload.size(); ++i)
        f.append(char(payload[i] ^ mask[i % 4]));
    return f;
}

void raiseDescriptorLimit(rlim_t wanted) {
    rlimit l{};
    getrlimit(RLIMIT_NOFILE, &l);
    l.rlim_cur = std::min(wanted, l.rlim_max);
    setrlimit(RLIMIT_NOFILE, &l);
}

// `count` WebSocket clients on /live from 127.0.0.3 that send pings as fast as their
// connection takes them; the odd ones read (and drop) what comes, the even
// ones never read (and keep a small receive buffer). A client the server
// closes or refuses connects again after `againMs` (0: at once, which makes
// it a connection flood too). Runs on a thread of its own until `stop`.
void pingFlood(quint16 port, int count, int againMs, const std::atomic<bool>& stop, std::atomic<long>& upgraded,
               std::atomic<long>& closed) {
    QByteArray pings;
    for (int i = 0; i < 100; ++i)
        pings += maskedFrame(0x9, QByteArray(125, 'p'));
    struct Flooder {
        int fd = -1;
        bool reads = false;
        qint64 due = 0;  // ns: the next attempt to connect
    };
    std::vector<Flooder> flooders;
    flooders.resize(size_t(count));
    for (int i = 0; i < count; ++i)
        flooders[size_t(i)].reads = i % 2;
    const QByteArray upgrade = "GET /live HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                               "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    std::vector<pollfd> polled;
    char buffer[65536];
    while (!stop) {
        polled.clear();
        for (Flooder& f : flooders) {
            if (stop)
                break;
            if (f.fd < 0) {
                if (nowNs() < f.due)
                    continue;
                f.due = nowNs() + qint64(againMs) * 1000000;
                f.fd = connectFrom(port, "127.0.0.3", f.reads ? 0 : 4096);
                if (f.fd < 0)
                    continue;
                if (::send(f.fd, upgrade.constData(), size_t(upgrade.size()), MSG_NOSIGNAL) != upgrade.size() ||
                    readHead(f.fd, 1000) != 101) {
                    ::close(f.fd);
                    f.fd = -1;
                    continue;
                }
                ++upgraded;
            }
            const ssize_t n = ::send(f.fd, pings.constData(), size_t(pings.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
            bool gone = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
            if (f.reads && !gone) {
                ssize_t r;
                while ((r = ::recv(f.fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
                }
                gone = r == 0 || (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
            }
            if (gone) {
                ::close(f.fd);
                f.fd = -1;
                ++closed;
                continue;
            }
            polled.push_back({f.fd, short(POLLOUT | (f.reads ? POLLIN : 0)), 0});
        }
        if (!polled.empty())
            ::poll(polled.data(), nfds_t(polled.size()), 5);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(againMs > 0 ? 5 : 0));
    }
    for (Flooder& f : flooders)
        if (f.fd >= 0)
            ::close(f.fd);
}

// Args: flooding clients, seconds of flood, ms before a closed flooder tries
// again. 10 clients watch /live while the board takes 100 lines a second;
// measures the program's memory and CPU and what the watchers receive.
void BM_WebPingFlood(benchmark::State& state) {
    const int flooders = int(state.range(0));
    const int seconds = int(state.range(1));
    const int againMs = int(state.range(2));
    const int watchers = 10;
    const double giveUpMb = 1500;  // the machine is shared: an unbounded program is stopped here
    raiseDescriptorLimit(4096);
    for (auto _ : state) {
        Board board;
        if (!board.start()) {
            state.SkipWithError("the program did not start its web board or port");
            return;
        }
        std::vector<std::unique_ptr<QWebSocket>> sockets;
        std::vector<QString> lastTime(watchers);
        std::vector<qint64> written;
        std::vector<double> latencyMs;
        long messages = 0;
        bool measuring = false;
        int connected = 0;
        for (int c = 0; c < watchers; ++c) {
            auto ws = std::make_unique<QWebSocket>();
            QObject::connect(ws.get(), &QWebSocket::textMessageReceived, [&, c](const QString& m) {
                const qint64 at = nowNs();
                const qsizetype k = m.indexOf(QLatin1String("\"time\":\""));
                if (k < 0)
                    return;
                const qsizetype end = m.indexOf('"', k + 8);
                lastTime[size_t(c)] = m.mid(k + 8, end - k - 8);
                if (!measuring)
                    return;
                ++messages;
                const int i = lineOf(lastTime[size_t(c)]);
                if (i >= 0 && size_t(i) < written.size())
                    latencyMs.push_back(double(at - written[size_t(i)]) / 1e6);
            });
            QObject::connect(ws.get(), &QWebSocket::connected, [&] { ++connected; });
            ws->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(board.port)));
            sockets.push_back(std::move(ws));
        }
        if (!waitFor([&] { return connected == watchers; }, 20000)) {
            state.SkipWithError("watchers did not connect");
            return;
        }
        int next = 0;
        QTimer pace;
        pace.setTimerType(Qt::PreciseTimer);
        pace.setInterval(10);
        QObject::connect(&pace, &QTimer::timeout, [&] {
            board.pty.write(line(next));
            written.push_back(nowNs());
            ++next;
        });
        pace.start();
        spin(1000);
        const double before = residentMegabytes(board.pid());
        double peak = before;
        QTimer sample;
        sample.setInterval(100);
        bool gaveUp = false;
        std::atomic<bool> stop{false};
        QObject::connect(&sample, &QTimer::timeout, [&] {
            peak = std::max(peak, residentMegabytes(board.pid()));
            if (peak > giveUpMb) {
                gaveUp = true;
                stop = true;
            }
        });
        sample.start();
        std::atomic<long> upgraded{0}, closed{0};
        measuring = true;
        const double cpu0 = processCpuSeconds(board.pid());
        const qint64 t0 = nowNs();
        std::thread attack(pingFlood, board.port, flooders, againMs, std::cref(stop), std::ref(upgraded), std::ref(closed));
        waitFor([&] { return gaveUp; }, seconds * 1000);
        const double cpu = processCpuSeconds(board.pid()) - cpu0;
        const double wall = double(nowNs() - t0) / 1e9;
        stop = true;
        attack.join();
        pace.stop();
        // The last line reaches every watcher.
        waitFor([&] {
            return std::all_of(lastTime.begin(), lastTime.end(), [&](const QString& t) { return lineOf(t) == next - 1; });
        }, 3000);
        state.counters["rss_before_mb"] = before;
        state.counters["rss_peak_mb"] = peak;
        state.counters["rss_growth_mb"] = peak - before;
        state.counters["gave_up"] = gaveUp;
        state.counters["cpu_pct"] = 100.0 * cpu / wall;
        state.counters["flood_s"] = wall;
        state.counters["upgrades"] = double(upgraded);
        state.counters["closed_by_server"] = double(closed);
        state.counters["watcher_msgs_per_s"] = double(messages) / watchers / wall;
        state.counters["watcher_latency_p99_ms"] = percentile(latencyMs, 0.99);
        state.counters["watchers_with_last_line"] = double(std::count_if(
            lastTime.begin(), lastTime.end(), [&](const QString& t) { return lineOf(t) == next - 1; }));
        sockets.clear();
        state.counters["exit_code"] = board.stop();
    }
}
BENCHMARK(BM_WebPingFlood)
    ->Args({0, 60, 0})
    ->Args({50, 60, 1000})
    ->Args({50, 60, 0})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// `count` connections from 127.0.0.1 that each send one byte of a request
// that never ends every `everyMs`; one the server closes is opened again a
// second later. Runs on a thread of its own until `stop`.
void trickle(quint16 port, int count, int everyMs, const std::atomic<bool>& stop, std::atomic<long>& opened,
             std::atomic<long>& held) {
    const QByteArray request = "GET /state HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + QByteArray(1 << 20, 'a');
    struct Slow {
        int fd = -1;
        qsizetype at = 0;     // next byte to send
        qint64 due = 0;       // ns: next byte, or the next attempt to connect
    };
    std::vector<Slow> slow;
    slow.resize(size_t(count));
    const qint64 start = nowNs();
    for (int i = 0; i < count; ++i)
        slow[size_t(i)].due = start + qint64(i) * 1000000;  // a thousand new connections a second
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<pollfd> polled;
    std::vector<size_t> which;
    char buffer[4096];
    while (!stop) {
        const qint64 now = nowNs();
        long open = 0;
        polled.clear();
        which.clear();
        for (size_t i = 0; i < slow.size(); ++i) {
            Slow& s = slow[i];
            if (s.fd < 0 && now >= s.due) {
                s.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
                ::connect(s.fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
                s.at = 0;
                s.due = now + qint64(everyMs) * 1000000;
                ++opened;
            }
            if (s.fd < 0)
                continue;
            if (now >= s.due) {
                ::send(s.fd, request.constData() + s.at, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
                ++s.at;
                s.due = now + qint64(everyMs) * 1000000;
            }
            ++open;
            polled.push_back({s.fd, POLLIN, 0});
            which.push_back(i);
        }
        held = open;
        if (::poll(polled.data(), nfds_t(polled.size()), 20) <= 0)
            continue;
        for (size_t k = 0; k < polled.size(); ++k) {
            if (!(polled[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            Slow& s = slow[which[k]];
            const ssize_t n = ::recv(s.fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
                ::close(s.fd);
                s.fd = -1;
                s.due = nowNs() + 1000000000;  // again in a second
            }
        }
    }
    for (Slow& s : slow)
        if (s.fd >= 0)
            ::close(s.fd);
}

// Args: trickling connections, requests from another address. After 5 s of
// trickling, one request every half second from 127.0.0.2; counts those
// answered within a second.
void BM_WebSlowClients(benchmark::State& state) {
    const int count = int(state.range(0));
    const int requests = int(state.range(1));
    raiseDescriptorLimit(rlim_t(count) + 1024);
    for (auto _ : state) {
        Board board;
        if (!board.start()) {
            state.SkipWithError("the program did not start its web board or port");
            return;
        }
        std::atomic<bool> stop{false};
        std::atomic<long> opened{0}, held{0};
        std::thread attack(trickle, board.port, count, 3000, std::cref(stop), std::ref(opened), std::ref(held));
        std::this_thread::sleep_for(std::chrono::seconds(5));
        const double cpu0 = processCpuSeconds(board.pid());
        const qint64 t0 = nowNs();
        std::vector<double> latencyMs;
        int answered = 0;
        long heldMin = count, heldMax = 0;
        const QByteArray get = "GET /state HTTP/1.1\r\nHost: 127.0.0.2\r\nConnection: close\r\n\r\n";
        for (int r = 0; r < requests; ++r) {
            const qint64 at = nowNs();
            heldMin = std::min(heldMin, long(held));
            heldMax = std::max(heldMax, long(held));
            const int fd = connectFrom(board.port, "127.0.0.2");
            if (fd >= 0) {
                ::send(fd, get.constData(), size_t(get.size()), MSG_NOSIGNAL);
                const int status = readHead(fd, 1000);
                const double ms = double(nowNs() - at) / 1e6;
                if (status == 200 && ms <= 1000) {
                    ++answered;
                    latencyMs.push_back(ms);
                }
                ::close(fd);
            }
            std::this_thread::sleep_until(std::chrono::steady_clock::now() +
                                          std::chrono::nanoseconds(at + 500000000 - nowNs()));
        }
        const double cpu = processCpuSeconds(board.pid()) - cpu0;
        const double wall = double(nowNs() - t0) / 1e9;
        const double rss = residentMegabytes(board.pid());
        stop = true;
        attack.join();
        state.counters["answered_within_1s"] = answered;
        state.counters["requests"] = requests;
        state.counters["latency_median_ms"] = percentile(latencyMs, 0.5);
        state.counters["latency_max_ms"] = percentile(latencyMs, 1.0);
        state.counters["attack_connections_opened"] = double(opened);
        state.counters["attack_held_min"] = double(heldMin);
        state.counters["attack_held_max"] = double(heldMax);
        state.counters["cpu_pct"] = 100.0 * cpu / wall;
        state.counters["rss_mb"] = rss;
        state.counters["exit_code"] = board.stop();
    }
}
BENCHMARK(BM_WebSlowClients)->Args({2500, 60})->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
