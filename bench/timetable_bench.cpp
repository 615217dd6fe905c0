// Saving and loading the time table: 1000 runners, 18 columns (start
// number, names, nation, twelve channel times, free text), as
// bench/timetable_xlwt_xlrd.py builds it for xlwt and xlrd.
#include "timetable/Sheet.h"
#include "timetable/Spreadsheet.h"
#include "timetable/Xls.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const char* kNations[] = {"AUT", "GER", "SUI", "ITA", "CZE", "NOR", "SLO", "FRA"};

Sheet runners() {
    Sheet s;
    s.setName("Times");
    s.setFormat(1, 6, Sheet::MaxCols, 17, "m:ss.000");
    s.setEntry(2, 2, "Stadtlauf 2026", u'.');
    s.setEntry(3, 2, "Ergebnisliste", u'.');
    for (int n = 1; n <= 1000; ++n) {
        const int r = n + 9;
        s.setEntry(r, 1, QString::number(n), u'.');
        s.setEntry(r, 2, QString::number(n), u'.');
        s.setEntry(r, 3, QStringLiteral("Müller%1").arg(n), u'.');
        s.setEntry(r, 4, QStringLiteral("Šimon%1").arg(n % 97), u'.');
        s.setEntry(r, 5, QString::fromLatin1(kNations[n % 8]), u'.');
        for (int c = 6; c <= 17; ++c) {
            const int ms = 60000 + n * 37 + c * 1013;
            s.setEntry(r, c, QStringLiteral("%1:%2.%3").arg(ms / 60000).arg(ms / 1000 % 60, 2, 10, QChar(u'0'))
                                 .arg(ms % 1000, 3, 10, QChar(u'0')), u'.');
        }
        s.setEntry(r, 18, QStringLiteral("Verein %1").arg(n % 50), u'.');
    }
    return s;
}

void BM_SaveToMemory(benchmark::State& state) {
    const Sheet s = runners();
    size_t bytes = 0;
    for (auto _ : state) {
        QByteArray file;
        xls::write(s, file);
        bytes = size_t(file.size());
        benchmark::DoNotOptimize(file.data());
    }
    state.counters["file_bytes"] = double(bytes);
}
BENCHMARK(BM_SaveToMemory)->Unit(benchmark::kMillisecond);

// The whole save step of the window: records, compound file, temporary
// file, fsync, rename.
void BM_SaveToFile(benchmark::State& state) {
    const Sheet s = runners();
    QTemporaryDir dir;
    const QString path = dir.filePath("liste.xls");
    for (auto _ : state) {
        QByteArray file;
        xls::write(s, file);
        xls::saveAtomically(path, file);
    }
}
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadFromFile(benchmark::State& state) {
    const Sheet s = runners();
    QTemporaryDir dir;
    const QString path = dir.filePath("liste.xls");
    QByteArray file;
    xls::write(s, file);
    xls::saveAtomically(path, file);
    for (auto _ : state) {
        Sheet back;
        xls::readFile(path, back);
        benchmark::DoNotOptimize(back.rows().data());
    }
}
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond);

// A file written by xlwt (made by bench/timetable_xlwt_xlrd.py --write).
void BM_LoadXlwtFile(benchmark::State& state) {
    const QString path = QString::fromLocal8Bit(qgetenv("TD_XLWT_TABLE"));
    Sheet back;
    if (path.isEmpty() || !xls::readFile(path, back)) {
        state.SkipWithError("set TD_XLWT_TABLE to the table xlwt wrote");
        return;
    }
    for (auto _ : state) {
        Sheet t;
        xls::readFile(path, t);
        benchmark::DoNotOptimize(t.rows().data());
    }
}
BENCHMARK(BM_LoadXlwtFile)->Unit(benchmark::kMillisecond);

// What the scoreboard reads per result line: up to 30 entries.
void BM_EntryRC30(benchmark::State& state) {
    TSpreadsheet t;
    Sheet s = runners();
    QTemporaryDir dir;
    QByteArray file;
    xls::write(s, file);
    xls::saveAtomically(dir.filePath("liste.xls"), file);
    t.ReadEx(dir.filePath("liste.xls"));
    int row = 10;
    for (auto _ : state) {
        for (int c = 6; c <= 17; ++c) {
            benchmark::DoNotOptimize(t.EntryRC(6, c));
            benchmark::DoNotOptimize(t.EntryRC(row, c));
        }
        for (int c : {3, 4, 5, 18, 6, 8})
            benchmark::DoNotOptimize(t.TextRC(row, c));
        row = row == 1009 ? 10 : row + 1;
    }
}
BENCHMARK(BM_EntryRC30)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qargc = 1;
    QApplication app(qargc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
