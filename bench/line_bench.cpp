// The whole line path: bytes one by one into the offscreen main window,
// for a stream of running-time lines.
#include "console/Disp.h"
#include "console/Headless.h"
#include "protocol/Journal.h"

#include <QApplication>
#include <QComboBox>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

Tdisplay* window = nullptr;

// Running times ten times a second, as a device sends them, 24 bytes each with CR.
std::vector<std::string> runningLines(int count) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) {
        const int ms = i * 100;
        char buf[64];
        std::snprintf(buf, sizeof buf, "012.    %02d:%02d:%02d.%03d  \r", ms / 3600000, ms / 60000 % 60,
                      ms / 1000 % 60, ms % 1000);
        lines.emplace_back(buf);
    }
    return lines;
}

// Setup mode (the panel beside the board) or display mode (the board alone,
// as the audience sees it).
void setDisplayMode(bool on) {
    if (on && !window->Anzeigemodus)
        window->StartClick();
    else if (!on && window->Anzeigemodus)
        window->Anzeige_beenden();
    QApplication::processEvents();
}

void feedLines(benchmark::State& state, bool repaint, bool displayMode = false) {
    setDisplayMode(displayMode);
    window->ZeitDarstellung->setCurrentIndex(int(state.range(0)));
    window->ZeitDarstellungChange();
    static const auto lines = runningLines(36000);  // one hour
    size_t i = 0;
    for (auto _ : state) {
        const std::string& l = lines[i++ % lines.size()];
        for (char b : l)
            window->ComThread1PacketReceived(nullptr, QByteArray(1, b));
        if (repaint)
            QApplication::processEvents();  // the repaint the event loop does after a line
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel(window->ZeitDarstellung->currentText().toStdString());
}

void BM_RunningTimeLine(benchmark::State& state) {
    feedLines(state, false);
}
void BM_RunningTimeLineWithRepaint(benchmark::State& state) {
    feedLines(state, true);
}
void BM_DisplayModeLine(benchmark::State& state) {
    feedLines(state, false, true);
}
void BM_DisplayModeLineWithRepaint(benchmark::State& state) {
    feedLines(state, true, true);
}
// The journal's writer turns every line into a text line with its local
// date and time: /0 asks the calendar for each line, /1 as the writer does,
// once a minute.
void BM_JournalLine(benchmark::State& state) {
    const QByteArray line = "012.    00:01:02.300  ";
    qint64 at = QDateTime::currentMSecsSinceEpoch();
    for (auto _ : state) {
        at += 100;  // ten lines a second
        QByteArray text = state.range(0) ? journal::encodeLocal(line, at)
                                         : journal::encode(line, QDateTime::fromMSecsSinceEpoch(at));
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}

// Format "M:SS" and "Automatisch".
BENCHMARK(BM_RunningTimeLine)->Arg(2)->Arg(0);
BENCHMARK(BM_RunningTimeLineWithRepaint)->Arg(2)->Arg(0);
BENCHMARK(BM_DisplayModeLine)->Arg(2)->Arg(0);
BENCHMARK(BM_DisplayModeLineWithRepaint)->Arg(2)->Arg(0);
BENCHMARK(BM_JournalLine)->Arg(0)->Arg(1);
} // namespace

int main(int argc, char** argv) {
    headless::startApplication(argc, argv);
    // The demo time table: every running-time line looks up preset times in it.
    window = headless::createWindows(TD_SOURCE_DIR "/data",
                                     {"liste.xls", "logo1.bmp", "logo2.bmp", "logo3.bmp", "english.lng"});
    window->show();
    QApplication::processEvents();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
