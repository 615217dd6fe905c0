// The serial line in the real program: CPU while idle with the port open,
// resident memory, and a saturated 115200-baud stream from the simulator.
#include "ProcessStats.h"
#include "Pty.h"
#include "common/Dialogs.h"
#include "common/Fonts.h"
#include "console/Disp.h"
#include "protocol/Startnumberunit.h"
#include "serial/WComThread.h"
#include "timetable/Control.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral(TD_BINARY_DIR "/src/console/timedisplay");
const QString kSimulator = QStringLiteral(TD_BINARY_DIR "/tools/sim/timedisplay-sim");


// A working folder seeded like script/run does it, with a disp.ini.
void seed(const QTemporaryDir& dir, const QByteArray& ini) {
    const QDir data(QStringLiteral(TD_SOURCE_DIR "/data"));
    for (const QFileInfo& f : data.entryInfoList(QDir::Files))
        QFile::copy(f.absoluteFilePath(), dir.filePath(f.fileName()));
    QFile f(dir.filePath(QStringLiteral("disp.ini")));
    if (f.open(QIODevice::WriteOnly))
        f.write(ini);
}

double selfCpuSeconds() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// The program itself (offscreen), its port open on a pty that stays silent.
void BM_IdleProgramWithOpenPort(benchmark::State& state) {
    const int seconds = int(state.range(0));
    const bool portOpen = state.range(1) != 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        seed(dir, portOpen ? "COM 1\r\nBAUD 115200\r\n" : "COM 0\r\n");
        Pty pty;
        pty.link(dir.filePath(QStringLiteral("COM1")));
        QProcess program;
        program.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(kProgram, {QStringLiteral("--web-port"), QStringLiteral("0")});
        if (!program.waitForStarted() ||
            !waitFor([&] { return hasOpen(program.processId(), pty.slavePath()) == portOpen; }, 15000)) {
            state.SkipWithError("the program did not open its port");
            return;
        }
        spin(2000);  // first paint and second settings load
        const double before = processCpuSeconds(program.processId());
        QThread::sleep(unsigned(seconds));
        const double cpu = processCpuSeconds(program.processId()) - before;
        state.counters["cpu_pct"] = 100.0 * cpu / seconds;
        state.counters["rss_MB"] = residentMegabytes(program.processId());
        state.counters["port_open"] = hasOpen(program.processId(), pty.slavePath()) ? 1 : 0;
        program.terminate();
        program.waitForFinished(10000);
        state.counters["exit_code"] = program.exitCode();
        state.SetLabel(QFileInfo::exists(dir.filePath(QStringLiteral("liste.xls"))) ? "with liste.xls"
                                                                                    : "without liste.xls");
    }
}
// Seconds measured, port open (1) or, for comparison, no port chosen (0).
BENCHMARK(BM_IdleProgramWithOpenPort)->Args({20, 1})->Args({20, 0})->Iterations(1)->Unit(benchmark::kSecond);

// Running-time lines whose time counts the line: line i shows i * 10 ms.
QByteArray numberedLines(int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const int ms = i * 10;
        out += QStringLiteral("012.    %1:%2:%3.%4  \r")
                   .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
                   .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
                   .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                   .arg(ms % 1000, 3, 10, QLatin1Char('0'))
                   .toLatin1();
    }
    return out;
}

int lineNumber(const QByteArray& line) {
    if (line.size() != 22 || !line.startsWith("012."))
        return -1;
    const QByteArray t = line.mid(8, 12);
    return (t.mid(0, 2).toInt() * 3600000 + t.mid(3, 2).toInt() * 60000 + t.mid(6, 2).toInt() * 1000 +
            t.mid(9, 3).toInt()) /
           10;
}

// The simulator replays numbered lines at 115200 baud (the line's full
// pace) into the main window: every line after the first complete one must
// arrive, and the process's CPU share is measured over the stream.
void BM_Saturated115200(benchmark::State& state) {
    const int lines = int(state.range(0));
    for (auto _ : state) {
        QTemporaryDir dir;
        seed(dir, "COM 1\r\nBAUD 115200\r\n");
        QFile capture(dir.filePath(QStringLiteral("capture.txt")));
        capture.open(QIODevice::WriteOnly);
        capture.write(numberedLines(lines));
        capture.close();
        QDir::setCurrent(dir.path());

        QProcess sim;
        sim.start(kSimulator, {QStringLiteral("--link"), dir.filePath(QStringLiteral("COM1")), QStringLiteral("--baud"),
                               QStringLiteral("115200"), QStringLiteral("--replay"), capture.fileName()});
        if (!sim.waitForStarted() ||
            !waitFor([&] { return QFileInfo::exists(dir.filePath(QStringLiteral("COM1"))); }, 5000)) {
            state.SkipWithError("simulator did not start");
            return;
        }
        Tdisplay window;
        TTimeControl timeControl(&window);
        TStartNumberForm prompt(&window);
        window.show();
        if (!window.ComThread1->ok()) {
            state.SkipWithError("port not open");
            return;
        }
        QByteArray received;
        const auto handler = window.ComThread1->OnPacketReceived;
        window.ComThread1->OnPacketReceived = [&](TWComThread* s, const QByteArray& b) {
            received += b;
            handler(s, b);
        };
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = selfCpuSeconds();
        waitFor([&] { return sim.state() == QProcess::NotRunning; }, 120000);
        const double seconds = wall.elapsed() / 1000.0;
        const double cpu = selfCpuSeconds() - cpu0;
        spin(200);

        const QList<QByteArray> got = received.split('\r');
        int first = -1, last = -1, ok = 0;
        for (qsizetype i = 1; i < got.size(); ++i) {  // piece 0 may be a cut line
            const int n = lineNumber(got[i]);
            if (n < 0)
                continue;
            if (first < 0)
                first = n;
            last = n;
            ++ok;
        }
        const int expected = first < 0 ? lines : lines - first;
        state.counters["lines_lost"] = expected - ok;
        state.counters["last_line_ok"] = last == lines - 1 ? 1 : 0;
        state.counters["bytes_per_s"] = received.size() / seconds;
        state.counters["cpu_pct"] = 100.0 * cpu / seconds;
        window.ComThread1->ClosePort();
        QDir::setCurrent(QDir::tempPath());
    }
}
// 4800 lines of 23 bytes: ten seconds of a full 115200-baud line.
BENCHMARK(BM_Saturated115200)->Arg(4800)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
