// A follower's lag on loopback: the real program as the primary on a
// pseudo-terminal, publishing on a real mosquitto (--mqtt) and serving its
// web board, and the real program as a follower (--follow mqtt://... or
// --follow http://...). Measures the time from a running-time line's last
// byte written to the primary's pseudo-terminal until the follower's board
// shows it (a message on the follower's own /live showing that time).
#include "Broker.h"
#include "Pty.h"
#include "RealProgram.h"

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

namespace {



// The real program in a folder of its own, its web board on a free port.
struct Board {
    QTemporaryDir dir;
    Pty pty;
    QProcess program;
    quint16 port = 0;

    bool start(const QStringList& args, const QByteArray& ini, bool seed) {
        prepareRun(dir, pty, program, ini, seed);
        program.start(kProgram, QStringList{QStringLiteral("--web-port"), QStringLiteral("any")} + args);
        QByteArray out;
        return waitFor([&] {
            out += program.readAllStandardOutput();
            const auto m = QRegularExpression(QStringLiteral("web board: \\S+:(\\d+)/\\n")).match(QString::fromLatin1(out));
            port = m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
            return port != 0;
        }, 15000);
    }
    void stop() {
        program.terminate();
        program.waitForFinished(10000);
    }
};

// Args: 0 follow over MQTT, 1 over the web board; lines a second; seconds measured.
void BM_FollowerLag(benchmark::State& state) {
    const bool web = state.range(0) == 1;
    const int perSecond = int(state.range(1));
    const int seconds = int(state.range(2));
    for (auto _ : state) {
        Broker broker;
        if (!broker.start()) {
            state.SkipWithError("mosquitto did not start");
            return;
        }
        const QString mqtt = QStringLiteral("mqtt://127.0.0.1:%1/bench").arg(broker.port());
        Board primary, follower;
        if (!primary.start({QStringLiteral("--mqtt"), mqtt}, "COM 1\r\nBAUD 115200\r\n", true) ||
            !waitFor([&] { return hasOpen(primary.program.processId(), primary.pty.slavePath()); }, 15000)) {
            state.SkipWithError("the primary did not start");
            return;
        }
        spin(1500);  // first paint, settings read again
        const QString source = web ? QStringLiteral("http://127.0.0.1:%1/").arg(primary.port) : mqtt;
        if (!follower.start({QStringLiteral("--follow"), source}, "", false)) {
            state.SkipWithError("the follower did not start");
            return;
        }
        spin(1500);

        std::vector<qint64> written;
        std::vector<double> lagMs;
        bool measuring = false;
        QWebSocket ws;
        QObject::connect(&ws, &QWebSocket::textMessageReceived, [&](const QString& m) {
            const qint64 at = nowNs();
            if (!measuring)
                return;
            const qsizetype k = m.indexOf(QLatin1String("\"time\":\""));
            if (k < 0)
                return;
            const qsizetype end = m.indexOf('"', k + 8);
            const int i = lineOf(m.mid(k + 8, end - k - 8));
            if (i >= 0 && size_t(i) < written.size())
                lagMs.push_back(double(at - written[size_t(i)]) / 1e6);
        });
        bool connected = false;
        QObject::connect(&ws, &QWebSocket::connected, [&] { connected = true; });
        ws.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(follower.port)));
        if (!waitFor([&] { return connected; }, 10000)) {
            state.SkipWithError("no connection to the follower's web board");
            return;
        }
        int next = 0;
        QTimer pace;
        pace.setTimerType(Qt::PreciseTimer);
        pace.setInterval(1000 / perSecond);
        QObject::connect(&pace, &QTimer::timeout, [&] {
            primary.pty.write(line(next));
            written.push_back(nowNs());
            ++next;
        });
        measuring = true;
        pace.start();
        spin(1000);  // settle
        lagMs.clear();
        const int lines0 = next;
        spin(seconds * 1000);
        pace.stop();
        spin(300);
        state.counters["lines"] = double(next - lines0);
        state.counters["shown"] = double(lagMs.size());
        state.counters["lag_median_ms"] = percentile(lagMs, 0.5);
        state.counters["lag_p99_ms"] = percentile(lagMs, 0.99);
        state.counters["lag_max_ms"] = percentile(lagMs, 1.0);
        ws.close();
        follower.stop();
        primary.stop();
    }
}
BENCHMARK(BM_FollowerLag)->Args({0, 20, 20})->Args({1, 20, 20})->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
