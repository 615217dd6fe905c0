// The board on an MQTT broker under load: the real program takes 100
// running-time lines a second on a pseudo-terminal and publishes them on a
// real mosquitto, to which N subscribers of the benchmark's own are
// subscribed. Measures the program's and the broker's CPU share and the
// latency from a line's last byte written to the pseudo-terminal to each
// subscriber's `time` and `line` message showing it.
#include "Broker.h"
#include "ProcessStats.h"
#include "Pty.h"
#include "RealProgram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string kPrefix = "bench/hall1";


// The line a `time` payload ("M:SS.hh") shows, -1 when none.
int lineOfTime(const char* p, int n) {
    int minutes = 0, k = 0;
    while (k < n && p[k] >= '0' && p[k] <= '9')
        minutes = minutes * 10 + (p[k++] - '0');
    if (k == 0 || n - k != 6 || p[k] != ':' || p[k + 3] != '.')
        return -1;
    const int seconds = (p[k + 1] - '0') * 10 + (p[k + 2] - '0');
    const int hundredths = (p[k + 4] - '0') * 10 + (p[k + 5] - '0');
    return (minutes * 60000 + seconds * 1000 + hundredths * 10 - 60000) / 10;
}

// The line a `line` payload (the journal's "<when>\t<line>") carries, -1 when none.
int lineOfJournal(const char* p, int n) {
    const char* tab = static_cast<const char*>(memchr(p, '\t', size_t(n)));
    if (!tab)
        return -1;
    int h, m, s, ms;
    const std::string text(tab + 1, size_t(p + n - tab - 1));
    if (sscanf(text.c_str(), "012. %d:%d:%d.%d", &h, &m, &s, &ms) != 4)
        return -1;
    return ((h * 3600 + m * 60 + s) * 1000 + ms - 60000) / 10;
}

void raiseDescriptorLimit(rlim_t wanted) {
    rlimit l{};
    getrlimit(RLIMIT_NOFILE, &l);
    l.rlim_cur = std::max(l.rlim_cur, std::min(wanted, l.rlim_max));
    setrlimit(RLIMIT_NOFILE, &l);
}

// `count` libmosquitto subscribers on `<prefix>/time` and `<prefix>/line`
// (QoS 0, as an LED board or a clock subscribes), served by a few threads,
// each with one poll() over the sockets of its share. Every message is
// noted with the line it shows and when it arrived.
class Crowd {
public:
    struct Receipt {
        qint64 at;
        int line;
        bool isTime;
    };

    Crowd(int port, int count, int threads) {
        mosquitto_lib_init();
        for (int t = 0; t < std::max(1, threads); ++t)
            shares_.push_back(std::make_unique<Share>());
        for (int i = 0; i < count; ++i) {
            Share& share = *shares_[size_t(i) % shares_.size()];
            mosquitto* m = mosquitto_new(nullptr, true, &share);
            mosquitto_connect_callback_set(m, [](mosquitto* m, void*, int rc) {
                if (rc != 0)
                    return;
                const std::string time = kPrefix + "/time", line = kPrefix + "/line";
                char* const topics[] = {const_cast<char*>(time.c_str()), const_cast<char*>(line.c_str())};
                mosquitto_subscribe_multiple(m, nullptr, 2, topics, 0, 0, nullptr);
            });
            mosquitto_subscribe_callback_set(m, [](mosquitto*, void* s, int, int, const int*) {
                ++static_cast<Share*>(s)->subscribed;
            });
            mosquitto_message_callback_set(m, &Crowd::onMessage);
            if (mosquitto_connect(m, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS) {
                mosquitto_destroy(m);
                continue;
            }
            share.clients.push_back(m);
        }
        for (auto& s : shares_)
            s->thread = std::thread([this, share = s.get()] { serve(*share); });
    }
    ~Crowd() {
        stop_ = true;
        for (auto& s : shares_) {
            if (s->thread.joinable())
                s->thread.join();
            for (mosquitto* m : s->clients) {
                mosquitto_disconnect(m);
                mosquitto_destroy(m);
            }
        }
    }
    int connected() const {
        int n = 0;
        for (const auto& s : shares_)
            n += int(s->clients.size());
        return n;
    }
    int subscribed() const {
        int n = 0;
        for (const auto& s : shares_)
            n += s->subscribed.load();
        return n;
    }
    // Everything received so far; only once the crowd is stopped.
    std::vector<Receipt> receipts() {
        stop_ = true;
        std::vector<Receipt> all;
        for (auto& s : shares_) {
            if (s->thread.joinable())
                s->thread.join();
            all.insert(all.end(), s->receipts.begin(), s->receipts.end());
        }
        return all;
    }

private:
    struct Share {
        std::vector<mosquitto*> clients;
        std::vector<Receipt> receipts;
        std::atomic<int> subscribed{0};
        std::thread thread;
    };

    static void onMessage(mosquitto*, void* s, const mosquitto_message* m) {
        const qint64 at = nowNs();
        const char* p = static_cast<const char*>(m->payload);
        const size_t n = strlen(m->topic);
        const bool isTime = n >= 5 && strcmp(m->topic + n - 5, "/time") == 0;
        const int i = isTime ? lineOfTime(p, m->payloadlen) : lineOfJournal(p, m->payloadlen);
        static_cast<Share*>(s)->receipts.push_back({at, i, isTime});
    }

    // epoll: a wake-up costs what is ready, not the whole share.
    void serve(Share& s) {
        const int ep = ::epoll_create1(EPOLL_CLOEXEC);
        std::vector<bool> writing(s.clients.size(), false);
        auto watch = [&](size_t i, int op) {
            writing[i] = mosquitto_want_write(s.clients[i]);
            epoll_event e{};
            e.events = EPOLLIN | (writing[i] ? uint32_t(EPOLLOUT) : 0u);
            e.data.u64 = i;
            ::epoll_ctl(ep, op, mosquitto_socket(s.clients[i]), &e);
        };
        for (size_t i = 0; i < s.clients.size(); ++i)
            watch(i, EPOLL_CTL_ADD);
        std::vector<epoll_event> ready(256);
        qint64 misc = nowNs();
        while (!stop_) {
            const int n = ::epoll_wait(ep, ready.data(), int(ready.size()), 100);
            for (int k = 0; k < n; ++k) {
                const size_t i = ready[size_t(k)].data.u64;
                mosquitto* m = s.clients[i];
                if (ready[size_t(k)].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
                    // One packet per call: read on while whole messages come.
                    size_t before;
                    do {
                        before = s.receipts.size();
                        if (mosquitto_loop_read(m, 1) != MOSQ_ERR_SUCCESS)
                            break;
                    } while (s.receipts.size() > before);
                }
                if (ready[size_t(k)].events & EPOLLOUT)
                    mosquitto_loop_write(m, 1);
                if (mosquitto_want_write(m) != writing[i])
                    watch(i, EPOLL_CTL_MOD);
            }
            if (nowNs() - misc > 1000000000) {  // keep-alive
                misc = nowNs();
                for (size_t i = 0; i < s.clients.size(); ++i) {
                    mosquitto_loop_misc(s.clients[i]);
                    if (mosquitto_want_write(s.clients[i]) != writing[i])
                        watch(i, EPOLL_CTL_MOD);
                }
            }
        }
        ::close(ep);
    }

    std::vector<std::unique_ptr<Share>> shares_;
    std::atomic<bool> stop_{false};
};

// The real program in a folder seeded from data/, COM1 on a pseudo-terminal,
// publishing on the broker with the web board off.
struct Primary {
    QTemporaryDir dir;
    Pty pty;
    QProcess program;

    bool start(int brokerPort) {
        prepareRun(dir, pty, program, "COM 1\r\nBAUD 115200\r\n");
        program.start(kProgram, {QStringLiteral("--web-port"), QStringLiteral("0"), QStringLiteral("--mqtt"),
                                 QStringLiteral("mqtt://127.0.0.1:%1/%2")
                                     .arg(brokerPort)
                                     .arg(QString::fromStdString(kPrefix))});
        return program.waitForStarted(10000) &&
               waitFor([&] { return hasOpen(program.processId(), pty.slavePath()); }, 15000);
    }
    qint64 pid() const { return program.processId(); }
    int stop() {
        program.terminate();
        program.waitForFinished(10000);
        return program.exitCode();
    }
};

// Args: subscribers, seconds measured.
void BM_MqttPrimary(benchmark::State& state) {
    const int subscribers = int(state.range(0));
    const int seconds = int(state.range(1));
    if (QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/bin", "/sbin"}).isEmpty()) {
        state.SkipWithError("mosquitto is not installed (script/bootstrap installs it)");
        return;
    }
    // Three descriptors per subscriber here, one per subscriber in the
    // broker, which inherits the limit.
    raiseDescriptorLimit(rlim_t(subscribers) * 4 + 1024);
    for (auto _ : state) {
        Broker broker;
        if (!broker.start()) {
            state.SkipWithError(broker.error().toStdString().c_str());
            return;
        }
        // The program first: it would inherit the subscribers' sockets. The
        // status subscriber before the crowd too: the library's own loop
        // selects, and takes no descriptor above 1023.
        Subscriber status(broker.port(), kPrefix + "/status");
        Primary primary;
        if (!primary.start(broker.port())) {
            state.SkipWithError("the program did not open its port");
            return;
        }
        if (!waitFor([&] { return !status.on(kPrefix + "/status").empty() &&
                                  status.on(kPrefix + "/status").back() == "online"; }, 15000)) {
            state.SkipWithError("the program did not reach the broker");
            return;
        }
        Crowd crowd(broker.port(), subscribers, 4);
        if (crowd.connected() != subscribers ||
            !waitFor([&] { return crowd.subscribed() == subscribers; }, 30000)) {
            state.SkipWithError("the subscribers did not all connect and subscribe");
            return;
        }
        spin(1500);  // first paint, settings read again

        // 100 lines a second, each written whole; its time is taken after the write.
        std::vector<qint64> written;
        written.reserve(size_t(seconds + 10) * 100);
        QTimer pace;
        pace.setTimerType(Qt::PreciseTimer);
        pace.setInterval(10);
        QObject::connect(&pace, &QTimer::timeout, [&] {
            primary.pty.write(line(int(written.size())));
            written.push_back(nowNs());
        });
        pace.start();
        spin(2000);  // settle
        const size_t lines0 = written.size();
        const double cpu0 = processCpuSeconds(primary.pid());
        const double broker0 = processCpuSeconds(broker.pid());
        const double own0 = processCpuSeconds(::getpid());
        const qint64 t0 = nowNs();
        spin(seconds * 1000);
        const qint64 t1 = nowNs();
        const double cpu = processCpuSeconds(primary.pid()) - cpu0;
        const double brokerCpu = processCpuSeconds(broker.pid()) - broker0;
        const double own = processCpuSeconds(::getpid()) - own0;
        const size_t lines1 = written.size();
        pace.stop();
        spin(1000);  // the last lines' messages arrive
        const std::vector<Crowd::Receipt> receipts = crowd.receipts();

        // Latencies of the lines written in the measured span.
        std::vector<double> timeMs, lineMs;
        long unmatched = 0, lineMsgs = 0, arrived = 0;
        for (const Crowd::Receipt& r : receipts) {
            arrived += r.at >= t0 && r.at < t1;
            if (r.line < 0 || size_t(r.line) >= written.size()) {
                ++unmatched;
                continue;
            }
            lineMsgs += !r.isTime;
            const qint64 at = written[size_t(r.line)];
            if (at < t0 || at >= t1)
                continue;
            (r.isTime ? timeMs : lineMs).push_back(double(r.at - at) / 1e6);
        }
        const double wall = double(t1 - t0) / 1e9;
        const double lines = double(lines1 - lines0);
        state.counters["lines_per_s"] = lines / wall;
        state.counters["primary_cpu_pct"] = 100.0 * cpu / wall;
        state.counters["broker_cpu_pct"] = 100.0 * brokerCpu / wall;
        state.counters["subscribers_cpu_pct"] = 100.0 * own / wall;
        state.counters["msgs_received"] = double(timeMs.size() + lineMs.size());  // of the lines measured
        state.counters["delivered_per_s"] = double(arrived) / wall;  // all subscribers, in the measured span
        state.counters["time_msgs_per_sub_line"] = subscribers ? double(timeMs.size()) / subscribers / lines : 0;
        state.counters["line_msgs_per_sub_line"] = subscribers ? double(lineMs.size()) / subscribers / lines : 0;
        state.counters["line_msgs_all"] = double(lineMsgs);  // of any line, received by the end
        state.counters["unmatched_msgs"] = double(unmatched);  // the retained time before the first line
        state.counters["time_latency_median_ms"] = percentile(timeMs, 0.5);
        state.counters["time_latency_p99_ms"] = percentile(timeMs, 0.99);
        state.counters["line_latency_median_ms"] = percentile(lineMs, 0.5);
        state.counters["line_latency_p99_ms"] = percentile(lineMs, 0.99);
        state.counters["primary_rss_mb"] = residentMegabytes(primary.pid());
        state.counters["exit_code"] = primary.stop();
    }
}
BENCHMARK(BM_MqttPrimary)
    ->Args({0, 15})
    ->Args({1, 15})
    ->Args({100, 15})
    ->Args({1000, 15})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
