// The web board under load: the real program takes 100 running-time lines a
// second on a pseudo-terminal while N WebSocket clients watch /live. Measures
// the program's CPU share and the latency from a line's last byte written to
// the pseudo-terminal to each client's message showing it.
#include "ProcessStats.h"
#include "Pty.h"
#include "console/Headless.h"

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
#include <memory>
#include <time.h>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral(TD_BINARY_DIR "/src/console/timedisplay");

qint64 nowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

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

// Line i shows one minute plus i hundredths: "1:SS.hh" on the board.
QByteArray line(int i) {
    const int ms = 60000 + i * 10;
    return QStringLiteral("012.    00:%1:%2.%3  \r")
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'))
        .toLatin1();
}
int lineOf(const QString& shown) {
    static const QRegularExpression re(QStringLiteral("^(\\d+):(\\d\\d)\\.(\\d\\d)$"));
    const QRegularExpressionMatch m = re.match(shown);
    if (!m.hasMatch())
        return -1;
    const int ms = m.captured(1).toInt() * 60000 + m.captured(2).toInt() * 1000 + m.captured(3).toInt() * 10;
    return (ms - 60000) / 10;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// Args: clients, seconds measured.
void BM_WebBoardLive(benchmark::State& state) {
    const int clients = int(state.range(0));
    const int seconds = int(state.range(1));
    for (auto _ : state) {
        QTemporaryDir dir;
        const QDir data(QStringLiteral(TD_SOURCE_DIR "/data"));
        for (const QFileInfo& f : data.entryInfoList(QDir::Files))
            QFile::copy(f.absoluteFilePath(), dir.filePath(f.fileName()));
        QFile ini(dir.filePath(QStringLiteral("disp.ini")));
        ini.open(QIODevice::WriteOnly);
        ini.write("COM 1\r\nBAUD 115200\r\n");
        ini.close();
        Pty pty;
        pty.link(dir.filePath(QStringLiteral("COM1")));
        QProcess program;
        program.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(kProgram, {QStringLiteral("--web-port"), QStringLiteral("any")});
        QByteArray out;
        quint16 port = 0;
        waitFor([&] {
            out += program.readAllStandardOutput();
            const auto m = QRegularExpression(QStringLiteral(":(\\d+)/\\n")).match(QString::fromLatin1(out));
            port = m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
            return port != 0;
        }, 15000);
        if (!port || !waitFor([&] { return hasOpen(program.processId(), pty.slavePath()); }, 15000)) {
            state.SkipWithError("the program did not start its web board or port");
            return;
        }
        spin(1500);  // first paint, settings read again

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
        program.terminate();
        program.waitForFinished(10000);
        state.counters["exit_code"] = program.exitCode();
    }
}
BENCHMARK(BM_WebBoardLive)->Args({0, 20})->Args({1, 20})->Args({100, 20})->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    headless::startApplication(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
