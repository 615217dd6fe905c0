// Saving never holds up the board: result lines into the offscreen main
// window with a time table of 1000 runners or of 65536 rows, the writer
// slowed to 500 ms per save (as a busy or slow disk would), lines arriving
// faster than the writer.
//   BM_ResultLineToLabels: from the line's last byte (the CR handed to the
//     line handler) until the handler returns with the time labels set, the
//     rank written into the table and the save handed over.
//     max_ui_stall_ms: the longest the event loop was busy between two
//     lines (results of saves, repaints): a line arriving then would wait.
//   BM_ResultLineToDisk: from the line's last byte until liste.xls holding
//     it is on disk (a save started after the line has finished), with the
//     writer idle and with the line arriving in the middle of a save.
#include "common/SaveWorker.h"
#include "console/Disp.h"
#include "display/DisplayLabel.h"
#include "timetable/Control.h"
#include "timetable/Sheet.h"
#include "timetable/Spreadsheet.h"
#include "timetable/Xls.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWriterMs = 500;

Sheet runners(int rows) {
    Sheet s;
    s.setName("Times");
    s.setEntry(2, 2, "Stadtlauf 2026", u'.');
    for (int r = 10; r < 10 + rows && r <= Sheet::MaxRows; ++r) {
        const int n = r - 9;
        s.setEntry(r, 1, QString::number(n), u'.');
        s.setEntry(r, 3, QStringLiteral("Müller%1").arg(n), u'.');
        s.setEntry(r, 4, QStringLiteral("Hans%1").arg(n % 97), u'.');
        s.setEntry(r, 5, QStringLiteral("AUT"), u'.');
        for (int c = 6; c <= 17; c += 2)
            s.setEntry(r, c, QStringLiteral("1:%1.%2").arg(n % 60, 2, 10, QChar(u'0')).arg(n % 1000, 3, 10, QChar(u'0')), u'.');
        s.setEntry(r, 18, QStringLiteral("Verein %1").arg(n % 50), u'.');
    }
    return s;
}

// The three windows in a folder of their own over a table of `rows` rows.
struct Board {
    explicit Board(int rows) {
        QDir::setCurrent(dir.path());
        for (const char* f : {"logo1.bmp", "logo2.bmp", "logo3.bmp", "english.lng"})
            QFile::copy(QStringLiteral(TD_SOURCE_DIR "/data/") + f, f);
        QByteArray file;
        xls::write(runners(rows - 9), file);
        xls::saveAtomically("liste.xls", file);
        window = std::make_unique<Tdisplay>();
        table = new TTimeControl(window.get());
        window->show();
        QApplication::processEvents();
        table->saveWorker()->beforeEachJob = [] { std::this_thread::sleep_for(std::chrono::milliseconds(kWriterMs)); };
    }
    ~Board() {
        table->saveWorker()->beforeEachJob = nullptr;
        window.reset();
    }
    // A finish line of runner n with rank r; all but the CR.
    static std::string body(int n, int ms, int rank) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%03dC    %02d:%02d:%02d.%03d%2d", n, ms / 3600000, ms / 60000 % 60,
                      ms / 1000 % 60, ms % 1000, rank);
        return buf;
    }
    void feed(const std::string& bytes) {
        for (char b : bytes)
            window->ComThread1PacketReceived(nullptr, QByteArray(1, b));
    }
    QTemporaryDir dir;
    std::unique_ptr<Tdisplay> window;
    TTimeControl* table = nullptr;
};

using Clock = std::chrono::steady_clock;

void BM_ResultLineToLabels(benchmark::State& state) {
    Board board(int(state.range(0)));
    int i = 0;
    double maxStall = 0;
    std::vector<double> lines;
    const QString before = board.window->Zeit_Se->text();
    for (auto _ : state) {
        const int n = i % 999 + 1, ms = 60000 + (i * 1237) % 3000000;
        board.feed(Board::body(n, ms, i % 99 + 1));
        const auto t0 = Clock::now();
        board.window->ComThread1PacketReceived(nullptr, QByteArray(1, '\r'));
        const auto t1 = Clock::now();
        const double line = std::chrono::duration<double>(t1 - t0).count();
        state.SetIterationTime(line);
        lines.push_back(line);
        // between lines: the event loop (save results, repaints), timed
        // apart, and the pause of the device
        const auto deadline = t1 + std::chrono::milliseconds(20);
        while (Clock::now() < deadline) {
            const auto e0 = Clock::now();
            QApplication::processEvents();
            maxStall = std::max(maxStall, std::chrono::duration<double>(Clock::now() - e0).count());
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        ++i;
    }
    if (board.window->Zeit_Se->text() == before && i > 1)
        state.SkipWithError("the time labels did not change");
    std::sort(lines.begin(), lines.end());
    state.counters["p50_line_ms"] = lines[lines.size() / 2] * 1e3;
    state.counters["p99_line_ms"] = lines[lines.size() * 99 / 100] * 1e3;
    state.counters["max_line_ms"] = lines.back() * 1e3;
    state.counters["max_ui_stall_ms"] = maxStall * 1e3;
    board.table->waitForSaves();
}
BENCHMARK(BM_ResultLineToLabels)->Arg(1000)->Arg(65536)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(150);

void BM_ResultLineToDisk(benchmark::State& state) {
    Board board(int(state.range(0)));
    const bool busy = state.range(1) != 0;
    int i = 0;
    for (auto _ : state) {
        board.table->waitForSaves();
        if (busy) {  // a save of an earlier change is half way through
            board.feed(Board::body(998, 61000 + i, 1) + '\r');
            std::this_thread::sleep_for(std::chrono::milliseconds(kWriterMs / 2));
        }
        quint64 saved = 0;
        auto c = QObject::connect(board.table->saveWorker(), &SaveWorker::finished,
                                  [&](quint64 job, bool, const QString&) { saved = job; });
        const int n = i % 997 + 1;
        board.feed(Board::body(n, 62000 + i, 2));
        const auto t0 = Clock::now();
        board.window->ComThread1PacketReceived(nullptr, QByteArray(1, '\r'));
        // on disk once the saves under way and the one queued behind them are done
        QElapsedTimer guard;
        guard.start();
        bool done = false;
        while (!done && guard.elapsed() < 10000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            done = saved != 0 && !board.table->saveWorker()->busy() && !board.table->TimeTable->Modified();
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        QObject::disconnect(c);
        ++i;
    }
}
BENCHMARK(BM_ResultLineToDisk)
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Args({65536, 0})
    ->Args({65536, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

} // namespace
