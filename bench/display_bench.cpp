// What giant digits cost on a real screen: the real program in display mode
// on an Xvfb screen (with openbox), the time at a giant font (400 pixels on
// a 3840x2160 screen, 200 on 1920x1080), running-time lines 100 times a second through a pseudo-terminal. Measured: the program's
// and the X server's CPU over the run, and both per changed digit.
#include "ProcessStats.h"
#include "Pty.h"
#include "XServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

// Running-time line i of runner 12: the time counts 10 ms per line.
QByteArray runningLine(int i) {
    const int ms = i * 10;
    return QStringLiteral("012.    %1:%2:%3.%4  \r")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'))
        .toLatin1();
}

// Places of "M:SS" at 1/100 that line i changes against line i - 1.
int changedDigits(int i) {
    if (i == 0)
        return 0;
    const QByteArray a = runningLine(i - 1), b = runningLine(i);
    int n = 0;
    for (int pos : {12, 14, 15, 17, 18})  // M, S, S, tenths, hundredths (0-based)
        n += a[pos] != b[pos];
    return n;
}

void BM_DisplayModeGiantDigits(benchmark::State& state) {
    const QSize screen(int(state.range(0)), int(state.range(1)));
    const int seconds = int(state.range(2));
    const int points = int(state.range(3));
    for (auto _ : state) {
        XServer x({screen, true});
        if (!x.error().isEmpty()) {
            state.SkipWithError(x.error().toStdString().c_str());
            return;
        }
        QTemporaryDir dir;
        const QDir data(QStringLiteral(TD_SOURCE_DIR "/data"));
        for (const QFileInfo& f : data.entryInfoList(QDir::Files))
            QFile::copy(f.absoluteFilePath(), dir.filePath(f.fileName()));
        QFile ini(dir.filePath(QStringLiteral("disp.ini")));
        ini.open(QIODevice::WriteOnly);
        // 300 points = 400 pixels at 96 per inch; "M:SS" at 1/100. The hidden
        // hour and ten-minute places keep their room (4 places), so at the
        // left edge the shown places take the 5th to 11th place's width:
        // x = 964 to 2651 at 400 pixels, 482 to 1326 at 200.
        ini.write(QStringLiteral("COM 1\r\nBAUD 115200\r\nTimeFontName DejaVu Sans Mono\r\nTimeFontSize %1\r\n"
                                 "TimeMode 2\r\nTimeX 0\r\nTimeY 300\r\n")
                      .arg(points)
                      .toLatin1());
        ini.close();
        Pty pty;
        pty.link(dir.filePath(QStringLiteral("COM1")));

        QProcess program;
        program.setWorkingDirectory(dir.path());
        program.setProcessEnvironment(x.environment());
        program.start(QStringLiteral(TD_BINARY_DIR "/src/console/timedisplay"), {QStringLiteral("--web-port"), QStringLiteral("0")});
        const auto w = x.findWindow(QStringLiteral("Fendral-Timing Time-display V1.5.1.1"));
        if (!w || !waitFor([&] { return hasOpen(program.processId(), pty.slavePath()); }, 15000)) {
            state.SkipWithError("the program did not come up");
            return;
        }
        x.key(*w, QStringLiteral("F9"));
        if (!pollUntil([&] { return x.clientGeometry(*w) == QRect(QPoint(0, 0), screen); }, 10000)) {
            state.SkipWithError("display mode did not cover the screen");
            return;
        }
        spin(1000);

        const double prog0 = processCpuSeconds(program.processId());
        const double x0 = processCpuSeconds(x.serverPid());
        QElapsedTimer clock;
        clock.start();
        const int lines = seconds * 100;
        long digits = 0;
        for (int i = 0; i < lines; ++i) {
            const qint64 due = qint64(i) * 10;
            if (const qint64 wait = due - clock.elapsed(); wait > 0)
                QThread::msleep(unsigned(wait));
            pty.write(runningLine(i));
            digits += changedDigits(i);
            // TD_BENCH_SCREENSHOT=file.png: what the board shows half-way.
            if (i == lines / 2 && qEnvironmentVariableIsSet("TD_BENCH_SCREENSHOT"))
                x.tool(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                  qEnvironmentVariable("TD_BENCH_SCREENSHOT")});
        }
        const double wall = clock.elapsed() / 1000.0;
        const double prog = processCpuSeconds(program.processId()) - prog0;
        const double server = processCpuSeconds(x.serverPid()) - x0;

        state.counters["program_cpu_pct"] = 100.0 * prog / wall;
        state.counters["xserver_cpu_pct"] = 100.0 * server / wall;
        state.counters["lines_per_s"] = lines / wall;
        state.counters["digits_per_s"] = double(digits) / wall;
        state.counters["program_us_per_digit"] = 1e6 * prog / double(digits);
        state.counters["xserver_us_per_digit"] = 1e6 * server / double(digits);
        program.terminate();
        program.waitForFinished(10000);
        state.counters["exit_code"] = program.exitCode();
        state.SetLabel(QStringLiteral("X server pid %1").arg(x.serverPid()).toStdString());
    }
}
// Screen width, height, seconds measured, font points.
BENCHMARK(BM_DisplayModeGiantDigits)
    ->Args({1920, 1080, 20, 150})
    ->Args({3840, 2160, 20, 300})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
