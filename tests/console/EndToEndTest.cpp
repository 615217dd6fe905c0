// The real program on a real pseudo-terminal with the demo time table: a
// simulated race goes in, and liste.xls on disk, read back by xlrd, holds
// every result in the right cell and the winner's row as the preset row.
#include "../serial/Pty.h"
#include "TempDir.h"

#include "RaceModel.h"
#include "common/IntValue.h"
#include "protocol/TimeText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <poll.h>
#include <signal.h>

namespace {

using Cells = std::map<std::pair<int, int>, int>;  // (row, column) -> milliseconds

int channelColumn(char c) {
    static const int columns[] = {10, 11, 6, 8, 12, 13, 14, 15, 16, 17};
    return c >= 'A' && c <= 'J' ? columns[c - 'A'] : 0;
}

// What the scoreboard records from these lines (no prompt, no number address).
struct Expected {
    Cells times;
    int winnerRow = 0;
    Cells winnerTimes;  // the winner's time cells when the row was copied
};

Expected expectedResults(const std::vector<sim::TimedLine>& lines) {
    Expected e;
    int last = 0;
    std::string shown, lastResult;
    for (const sim::TimedLine& t : lines) {
        std::string L = t.line.toStdString();
        if (L.size() < 19)
            continue;
        if (L[0] == 'A' && L[3] == 'F') {
            if (last > 0)
                L.replace(0, 3, QByteArray::number(last).rightJustified(3, '0').toStdString());
        } else if (L[0] == 'A') {
            last = 0;
        }
        if (L[0] >= 'A' && L[0] <= 'J')
            continue;
        const int n = intValue(std::string_view(L).substr(0, 3));
        const std::string r = L.size() >= 22 ? L.substr(20, 2) : L.substr(20);
        // A result repeating the runner's recorded time changes nothing.
        const int k = channelColumn(L[3]);
        const auto recorded = e.times.find({n + 9, k});
        if (!r.empty() && r != "  " && k && recorded != e.times.end() &&
            recorded->second == Zeit_in_ms(L.substr(8, 12), '.', false))
            continue;
        if (r.empty() || r == "  ") {
            shown = " ";
        } else if (shown != r || L != lastResult) {
            shown = r;
            lastResult = L;
            if (k && n >= 1 && n <= 999) {
                e.times[{n + 9, k}] = Zeit_in_ms(L.substr(8, 12), '.', false);
                if ((L[3] == 'C' || L[3] == 'D') && intValue(r) == 1) {
                    e.winnerRow = n + 9;
                    e.winnerTimes.clear();
                    for (const auto& [cell, ms] : e.times)
                        if (cell.first == n + 9)
                            e.winnerTimes[{6, cell.second}] = ms;
                }
            }
        }
        last = n;
    }
    return e;
}

bool slaveOpened(int master) {
    pollfd p{master, POLLIN, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

} // namespace

TEST(EndToEnd, SimulatedRaceEndsUpInTheTimeTable) {
    TempWorkDir dir;
    for (const char* f : {"liste.xls", "logo1.bmp", "logo2.bmp", "logo3.bmp"})
        ASSERT_TRUE(QFile::copy(QString(TD_SOURCE_DIR "/data/") + f, dir.file(f))) << f;
    dir.write("disp.ini", "COM 1\r\nBAUD 115200\r\n");
    Pty pty;
    ASSERT_TRUE(pty.valid());
    ASSERT_TRUE(pty.link(dir.file("COM1")));

    QProcess app;
    app.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    app.setProcessEnvironment(env);
    app.start(TD_BINARY_DIR "/src/console/timedisplay", {"--web-port", "0"});
    ASSERT_TRUE(app.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return slaveOpened(pty.masterFd()); }, 15000)) << "the program did not open COM1";
    spin(300);  // the port is set up and purged right after opening

    const auto lines = sim::raceLines({6, 3});
    QByteArray bytes;
    for (const auto& l : lines)
        bytes += l.line + '\r';
    ASSERT_TRUE(pty.write(bytes));

    // Done when liste.xls has not changed for two seconds.
    QDateTime lastChange = QFileInfo(dir.file("liste.xls")).lastModified();
    QElapsedTimer quiet;
    quiet.start();
    ASSERT_TRUE(waitFor(
        [&] {
            const QDateTime m = QFileInfo(dir.file("liste.xls")).lastModified();
            if (m != lastChange) {
                lastChange = m;
                quiet.restart();
            }
            return quiet.elapsed() > 2000;
        },
        60000));

    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(15000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);

    QProcess xlrd;
    xlrd.start("/usr/bin/python3", {TD_SOURCE_DIR "/tests/timetable/interop/xlrd_dump.py", dir.file("liste.xls")});
    ASSERT_TRUE(xlrd.waitForFinished(30000));
    ASSERT_EQ(xlrd.exitCode(), 0) << xlrd.readAllStandardError().toStdString();
    const QList<QByteArray> out = xlrd.readAllStandardOutput().split('\n');
    ASSERT_FALSE(out.isEmpty());
    EXPECT_EQ(out[0], "Times");
    Cells onDisk;
    std::map<std::pair<int, int>, QString> texts;
    for (qsizetype i = 1; i < out.size(); ++i) {
        const QJsonArray a = QJsonDocument::fromJson("[" + out[i].mid(1, out[i].size() - 2) + "]").array();
        if (a.size() < 4)
            continue;
        const std::pair<int, int> cell{a[0].toInt(), a[1].toInt()};
        if (a[3].isDouble() && cell.second >= 6 && cell.second <= 17)
            onDisk[cell] = int(std::lround(a[3].toDouble() * 86400000.0));
        else
            texts[cell] = a[3].toVariant().toString();
    }

    const Expected e = expectedResults(lines);
    ASSERT_GT(e.times.size(), 10u);
    for (const auto& [cell, ms] : e.times)
        EXPECT_EQ(onDisk.count(cell) ? onDisk[cell] : -1, ms) << "row " << cell.first << " col " << cell.second;
    ASSERT_GT(e.winnerRow, 9);
    for (int c = 6; c <= 17; ++c) {
        const auto it = e.winnerTimes.find({6, c});
        const std::pair<int, int> cell{6, c};
        const int expected = it == e.winnerTimes.end() ? -1 : it->second;
        EXPECT_EQ(onDisk.count(cell) ? onDisk[cell] : -1, expected) << "preset row, col " << c;
    }
    for (int c = 2; c <= 5; ++c) {
        const std::pair<int, int> preset{6, c}, winner{e.winnerRow, c};
        EXPECT_EQ(texts[preset], texts[winner]) << "preset row, col " << c;
    }
}

// ---- the start number prompt with real bytes on a real tty ------------------

#include "FakeDialogs.h"
#include "console/Disp.h"
#include "protocol/Startnumberunit.h"
#include "timetable/Control.h"
#include "timetable/Spreadsheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

TEST(PromptOnTheLine, BytesArrivingWhileThePromptIsOpenAreDispatchedAfterIt) {
    TempWorkDir dir;
    ScopedFakeDialogs dialogs;
    Pty pty;
    ASSERT_TRUE(pty.valid());
    ASSERT_TRUE(pty.link(dir.file("COM4")));
    auto win = std::make_unique<Tdisplay>();
    auto* table = new TTimeControl(win.get());
    auto* prompt = new TStartNumberForm(win.get());
    win->COM->addItem("COM4");
    win->COM->setCurrentIndex(win->COM->count() - 1);
    win->COMChange();
    ASSERT_TRUE(waitFor([&] { return slaveOpened(pty.masterFd()); }, 5000));
    spin(100);
    win->StrNrSelfCB->setChecked(true);

    // While the operator types, the device goes on: far more than a tty
    // buffer holds (24 KB of running times), a result, more running times.
    QByteArray during;
    for (int i = 0; i < 1000; ++i)
        during += QByteArray("009.    00:00:") + QByteArray::number(10 + i % 40) + ".000  \r";
    during += "009A    00:00:11.000 2\r";
    for (int i = 0; i < 200; ++i)
        during += QByteArray("010.    00:00:0") + QByteArray::number(i % 10) + ".500  \r";
    bool nothingDispatched = false;
    dialogs->execAnswers.push_back([&](QDialog*) {
        EXPECT_TRUE(pty.write(during));
        spin(300);
        nothingDispatched = win->core().state().Startnummer == 0 && win->core().state().Zeitwert == 0;
        prompt->StartNrE->setText("12");
        return int(QDialog::Accepted);
    });
    ASSERT_TRUE(pty.write("A  F    00:00:59.000  \r"));
    ASSERT_TRUE(waitFor([&] { return win->core().state().Startnummer == 10 && win->core().state().Zeitwert == 9500; }, 10000));
    EXPECT_EQ(dialogs->execCount, 1);
    EXPECT_TRUE(nothingDispatched);  // the line under dispatch was not disturbed
    // The prompted line was completed with 12 and filed as channel C.
    EXPECT_EQ(Zeit_in_ms(table->TimeTable->EntryRC(21, 6).toStdString(), '.', false), 59000);
    // Then every line sent meanwhile ran, in order: the result among them was recorded.
    EXPECT_EQ(Zeit_in_ms(table->TimeTable->EntryRC(18, 10).toStdString(), '.', false), 11000);
    EXPECT_EQ(win->core().state().LetzteStartnummer, 10);
    delete prompt;
    delete table;
}

// ---- seconds mode on the demo table, through a real tty ---------------------

#include "display/DisplayLabel.h"

namespace {
// The cells of a time table as xlrd reads them: (row, column) -> seconds a
// person sees (times are days in xlrd, numbers are seconds), and the formats.
struct XlrdTimes {
    std::map<std::pair<int, int>, double> seconds;
    std::map<std::pair<int, int>, QString> formats;
};
XlrdTimes readWithXlrd(const QString& file) {
    XlrdTimes out;
    QProcess xlrd;
    xlrd.start("/usr/bin/python3", {TD_SOURCE_DIR "/tests/timetable/interop/xlrd_dump.py", file});
    if (!xlrd.waitForFinished(30000) || xlrd.exitCode() != 0) {
        ADD_FAILURE() << "xlrd: " << xlrd.readAllStandardError().toStdString();
        return out;
    }
    const QList<QByteArray> lines = xlrd.readAllStandardOutput().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QJsonArray a = QJsonDocument::fromJson(lines[i]).array();
        if (a.size() < 5 || !a[3].isDouble())
            continue;
        const std::pair<int, int> cell{a[0].toInt(), a[1].toInt()};
        const QString format = a[4].toString();
        // A time format shows days as a time; any other shows the number itself.
        const bool time = format.contains(QLatin1Char(':')) || format.contains(QLatin1String("ss"));
        out.seconds[cell] = time ? a[3].toDouble() * 86400.0 : a[3].toDouble();
        out.formats[cell] = format;
    }
    return out;
}

// Waits until liste.xls has not changed for a second.
bool tableSettled(const QString& file) {
    QDateTime last = QFileInfo(file).lastModified();
    QElapsedTimer quiet;
    quiet.start();
    return waitFor(
        [&] {
            const QDateTime m = QFileInfo(file).lastModified();
            if (m != last) {
                last = m;
                quiet.restart();
            }
            return quiet.elapsed() > 1000;
        },
        20000);
}
} // namespace

class SecondsModeOnTheLine : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* f : {"liste.xls", "logo1.bmp", "logo2.bmp", "logo3.bmp"})
            ASSERT_TRUE(QFile::copy(QString(TD_SOURCE_DIR "/data/") + f, dir.file(f))) << f;
        ASSERT_TRUE(pty.valid());
        ASSERT_TRUE(pty.link(dir.file("COM4")));
        dir.write("disp.ini", "COM 4\r\nBAUD 115200\r\nSecMode 1\r\n");
    }
    // The program's start: the three windows, shown, first paint, port open.
    void start() {
        win = std::make_unique<Tdisplay>();
        new TTimeControl(win.get());
        new TStartNumberForm(win.get());
        win->show();
        ASSERT_TRUE(waitFor([&] { return !win->Neuladen; }, 5000));
        ASSERT_TRUE(waitFor([&] { return slaveOpened(pty.masterFd()); }, 5000)) << "COM4 not opened";
        spin(100);
        ASSERT_TRUE(win->SecMode->isChecked());
    }
    // Sends a line and returns what the preset label shows once it settles.
    std::string send(const char* line, const QString& expected) {
        EXPECT_TRUE(pty.write(QByteArray(line) + '\r'));
        waitFor([&] { return win->Vorgabezeit->text() == expected; }, 3000);
        spin(50);
        return win->Vorgabezeit->text().toStdString();
    }

    TempWorkDir dir;
    ScopedFakeDialogs dialogs;
    Pty pty;
    std::unique_ptr<Tdisplay> win;
};

TEST_F(SecondsModeOnTheLine, PresetsAndDifferencesSurviveEverySave) {
    start();
    EXPECT_EQ(send("013.    00:00:20.000  ", "12.50"), "12.50");
    EXPECT_EQ(send("012C    00:00:35.000 3", "-1.00"), "-1.00");  // recorded and saved
    EXPECT_EQ(send("013.    00:00:20.000  ", "12.50"), "12.50");
    EXPECT_EQ(send("014C    00:00:37.000 4", "+1.00"), "+1.00");
    // Past a minute and past an hour, colons' places blank as a seconds-mode device sends them.
    send("015A    00:01:07.250 5", "+54.75");
    send("016A       01 07.250 6", "+54.75");
    send("017C    01 02 03.456 7", "+3687.45");
    ASSERT_TRUE(tableSettled(dir.file("liste.xls")));

    // What a person or a spreadsheet sees in the file.
    XlrdTimes t = readWithXlrd(dir.file("liste.xls"));
    const struct {
        int row, col;
        double seconds;
    } cells[] = {{6, 6, 36}, {6, 10, 12.5}, {21, 6, 35}, {23, 6, 37}, {24, 10, 67.25}, {25, 10, 67.25},
                 {26, 6, 3723.456}};
    for (const auto& c : cells) {
        const std::pair<int, int> cell{c.row, c.col};
        ASSERT_EQ(t.seconds.count(cell), 1u) << c.row << "," << c.col;
        EXPECT_NEAR(t.seconds[cell], c.seconds, 0.0005) << c.row << "," << c.col;
    }
    const std::pair<int, int> minuteCell{24, 10};
    EXPECT_EQ(t.formats[minuteCell], "###.##");

    // Started again: the table read back gives the same presets and differences.
    win.reset();
    start();
    EXPECT_EQ(win->tableTime(24, 10), 67250);
    EXPECT_EQ(win->tableTime(26, 6), 3723456);
    EXPECT_EQ(send("018.    00:00:20.000  ", "12.50"), "12.50");
    EXPECT_EQ(send("018C    00:00:36.500 8", "+0.50"), "+0.50");
}
