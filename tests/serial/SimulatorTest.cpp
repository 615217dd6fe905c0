#include "Pty.h"
#include "RaceModel.h"
#include "TempDir.h"
#include "protocol/Journal.h"
#include "serial/WComThread.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

TEST(RaceModel, TimeTextBlanksLeadingPlaces) {
    const struct {
        int64_t ms;
        const char* text;
    } cases[] = {{0, "       0.000"},        {5100, "       5.100"},      {21345, "      21.345"},
                 {62345, "    1:02.345"},     {600000, "   10:00.000"},    {3723004, " 1:02:03.004"},
                 {36000000, "10:00:00.000"}, {-5, "       0.000"}};
    for (const auto& c : cases)
        EXPECT_EQ(sim::timeText(c.ms), QByteArray(c.text)) << c.ms;
    EXPECT_EQ(sim::normalLine(7, 'C', 62345, 3), QByteArray("  7C        1:02.345 3"));
    EXPECT_EQ(sim::normalLine(123, '.', 0, 0), QByteArray("123.           0.000  "));
}

TEST(RaceModel, StartNumbersAreDistinctAndWithinTheTable) {
    for (uint32_t seed : {1u, 5u}) {
        std::set<QByteArray> numbers;
        for (const auto& l : sim::raceLines({8, seed, 30}))
            if (l.line[3] == '.')
                numbers.insert(l.line.left(3));
        EXPECT_EQ(numbers.size(), 8u);
        for (const QByteArray& n : numbers) {
            EXPECT_GE(n.trimmed().toInt(), 1);
            EXPECT_LE(n.trimmed().toInt(), 30);
        }
    }
}

TEST(RaceModel, ARaceLooksLikeATimingDevice) {
    int anonymousRaces = 0;
    for (uint32_t seed : {1u, 2u, 99u}) {
        SCOPED_TRACE(seed);
        const int runners = 5;
        const auto lines = sim::raceLines({runners, seed});
        ASSERT_FALSE(lines.empty());
        std::map<QByteArray, std::vector<int64_t>> running;  // start number -> times
        std::map<char, std::set<int>> ranks;                // channel -> ranks
        std::map<QByteArray, int> results;
        int anonymous = 0, boards = 0;
        int64_t last = -1;
        for (size_t index = 0; index < lines.size(); ++index) {
            const auto& [at, line] = lines[index];
            EXPECT_GE(at, last);
            last = at;
            EXPECT_GE(line.size(), 19);
            EXPECT_LE(line.size(), 23);
            EXPECT_FALSE(line.contains('\r'));
            const char first = line[0];
            if (first == 'A' && line[3] == 'F') {
                ++anonymous;
                // The scoreboard gives it the number of the last normal line
                // (a line for board A forgets it): that must be the running
                // time of the runner who finished, the next numbered repeat.
                QByteArray before;
                for (size_t i = index; i-- > 0 && before.isEmpty();)
                    if (lines[i].line[0] < 'B' || lines[i].line[0] > 'J')
                        before = lines[i].line;
                QByteArray repeat;
                for (const auto& later : lines)
                    if (later.atMs > at && later.line.mid(8) == line.mid(8) && later.line[0] != 'A') {
                        repeat = later.line;
                        break;
                    }
                EXPECT_EQ(before.mid(3, 1), ".") << before.toStdString();
                EXPECT_EQ(before.left(3), repeat.left(3)) << before.toStdString() << " / " << repeat.toStdString();
            } else if (first >= 'A' && first <= 'J') {
                ++boards;
            } else if (line[3] == '.') {
                EXPECT_EQ(line.mid(20, 2), "  ") << line.toStdString();  // no rank while running
                running[line.left(3)].push_back(at);
            } else {
                ASSERT_TRUE(line[3] == 'A' || line[3] == 'B' || line[3] == 'C') << line.toStdString();
                if (line[3] == 'C' && results.count(line)) {
                    ++results[line];  // a repeated result
                    continue;
                }
                // The rank among the runners through this channel so far.
                const int rank = line.mid(20, 2).trimmed().toInt();
                EXPECT_GE(rank, 1) << line.toStdString();
                EXPECT_LE(rank, int(ranks[line[3]].size()) + 1) << line.toStdString();
                ranks[line[3]].insert(int(ranks[line[3]].size()) + 1);
                if (line[3] == 'C')
                    ++results[line];
            }
        }
        EXPECT_LE(anonymous, 1);
        anonymousRaces += anonymous;
        EXPECT_GE(boards, 2 * (runners - 1));
        // Every runner shows a running time, ten times a second.
        EXPECT_EQ(int(running.size()), runners);
        for (const auto& [number, times] : running) {
            ASSERT_GT(times.size(), 10u);
            // (A runner overtaken by a later starter's finish resumes after a gap.)
            for (size_t i = 1; i < times.size(); ++i) {
                EXPECT_GE(times[i] - times[i - 1], 100);
                EXPECT_EQ((times[i] - times[i - 1]) % 100, 0);
            }
        }
        // Every runner passes A and B and finishes.
        EXPECT_EQ(ranks['A'].size(), size_t(runners));
        EXPECT_EQ(ranks['B'].size(), size_t(runners));
        EXPECT_EQ(ranks['C'].size(), size_t(runners));
        // Results are repeated.
        for (const auto& [line, count] : results)
            EXPECT_GE(count, 2) << line.toStdString();
    }
    EXPECT_GE(anonymousRaces, 2);  // a finish without number is part of the demo
    EXPECT_EQ(sim::raceLines({4, 7})[5].line, sim::raceLines({4, 7})[5].line);
    EXPECT_NE(sim::raceLines({4, 7}).back().line, sim::raceLines({4, 8}).back().line);
}

namespace {
QString simulator() { return QStringLiteral(TD_BINARY_DIR "/tools/sim/timedisplay-sim"); }
} // namespace

TEST(Simulator, ReplaysACaptureThroughALinkedPseudoTerminal) {
    TempWorkDir dir;
    QByteArray capture(20000, '\0');
    std::mt19937 rng(3);
    for (char& c : capture)
        c = char(rng() & 0xFF);
    dir.write(QStringLiteral("capture.bin"), capture);

    QProcess sim;
    sim.start(simulator(), {QStringLiteral("--link"), dir.file(QStringLiteral("COM2")), QStringLiteral("--baud"),
                            QStringLiteral("115200"), QStringLiteral("--replay"), dir.file(QStringLiteral("capture.bin"))});
    ASSERT_TRUE(sim.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return QFileInfo(dir.file(QStringLiteral("COM2"))).exists(); }));

    // The replay waits for a program to open the link: a late one misses nothing
    // (the whole capture would take 1.7 s on the line).
    spin(2000);
    TWComThread com;
    QByteArray received;
    com.OnPacketReceived = [&](TWComThread*, const QByteArray& b) { received += b; };
    com.setPort(2);
    com.setBaud(115200);
    com.OpenPort();
    ASSERT_TRUE(com.ok()) << com.LastError().toStdString();
    ASSERT_TRUE(waitFor([&] { return sim.state() == QProcess::NotRunning; }, 15000));
    spin(100);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_EQ(received.size(), capture.size());
    EXPECT_TRUE(received == capture);
    EXPECT_TRUE(sim.readAllStandardError().contains("20000 bytes sent, 0 not sent"));
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("COM2"))));  // link removed at exit
    // The far end is gone: the port closed itself and waits for it.
    ASSERT_TRUE(waitFor([&] { return !com.ok(); }));
    EXPECT_TRUE(com.Reconnecting());
}

TEST(Simulator, RaceLinesArriveAndTermStopsItCleanly) {
    TempWorkDir dir;
    QProcess sim;
    sim.start(simulator(), {QStringLiteral("--link"), dir.file(QStringLiteral("COM1")), QStringLiteral("--baud"),
                            QStringLiteral("9600"), QStringLiteral("--forever")});
    ASSERT_TRUE(sim.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return QFileInfo(dir.file(QStringLiteral("COM1"))).exists(); }));
    TWComThread com;
    QByteArray received;
    com.OnPacketReceived = [&](TWComThread*, const QByteArray& b) { received += b; };
    com.setBaud(9600);
    com.OpenPort();
    ASSERT_TRUE(com.ok()) << com.LastError().toStdString();
    ASSERT_TRUE(waitFor([&] { return received.count('\r') >= 25; }, 10000));
    // Complete lines between CRs have a line's length.
    const QList<QByteArray> lines = received.split('\r');
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        EXPECT_GE(lines[i].size(), 19) << lines[i].toStdString();
        EXPECT_LE(lines[i].size(), 23) << lines[i].toStdString();
    }
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("COM1"))));
}

TEST(Simulator, WritesToASerialDeviceAndRefusesBadArguments) {
    TempWorkDir dir;
    dir.write(QStringLiteral("capture.txt"), "123C        1:02.345 1\r");
    Pty device;
    QProcess sim;
    sim.start(simulator(), {QStringLiteral("--device"), device.slavePath(), QStringLiteral("--baud"),
                            QStringLiteral("19200"), QStringLiteral("--replay"), dir.file(QStringLiteral("capture.txt"))});
    ASSERT_TRUE(sim.waitForStarted());
    QByteArray far;
    ASSERT_TRUE(waitFor([&] {
        far += device.readAvailable();
        return sim.state() == QProcess::NotRunning;
    }, 10000));
    far += device.readAvailable();
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_EQ(far, "123C        1:02.345 1\r");

    const QStringList link = {QStringLiteral("--link"), dir.file(QStringLiteral("COM4"))};
    const QList<QStringList> bad = {
        {},
        link + QStringList{QStringLiteral("--device"), device.slavePath()},
        link + QStringList{QStringLiteral("--baud"), QStringLiteral("fast")},
        link + QStringList{QStringLiteral("--runners"), QStringLiteral("0")},
        link + QStringList{QStringLiteral("--races"), QStringLiteral("-1")},
        link + QStringList{QStringLiteral("--replay"), dir.file(QStringLiteral("missing.txt"))},
        {QStringLiteral("--device"), dir.file(QStringLiteral("missing"))},
    };
    for (const QStringList& args : bad) {
        SCOPED_TRACE(args.join(' ').toStdString());
        QProcess p;
        p.start(simulator(), args);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitCode(), 2);
        EXPECT_FALSE(QFileInfo(dir.file(QStringLiteral("COM4"))).isSymLink());
    }
    // An existing file of that name is never replaced by the link.
    QFile::remove(dir.file(QStringLiteral("COM4")));
    dir.write(QStringLiteral("COM4"), "keep");
    QProcess p;
    p.start(simulator(), link);
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_EQ(dir.read(QStringLiteral("COM4")), "keep");
}

TEST(Simulator, ReplaysAJournalAtItsOriginalPace) {
    TempWorkDir dir;
    const QDateTime t0 = QDateTime::currentDateTime();
    const struct {
        int atMs;
        QByteArray line;
    } lines[] = {{0, "  1C        0:59.100 1"},
                 {300, QByteArray("\x80\xff\\\x01", 4) + "2C   1:00.000 2"},
                 {700, "  3C        1:01.000 3"}};
    QByteArray file;
    for (const auto& l : lines)
        file += journal::encode(l.line, t0.addMSecs(l.atMs));
    dir.write(journal::fileName(t0.date()), file);
    Pty device;
    QProcess sim;
    sim.start(simulator(), {QStringLiteral("--device"), device.slavePath(), QStringLiteral("--baud"),
                            QStringLiteral("115200"), QStringLiteral("--replay"),
                            dir.file(journal::fileName(t0.date()))});
    ASSERT_TRUE(sim.waitForStarted());
    QByteArray far;
    std::vector<qint64> crAt;  // when each CR arrived
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitFor([&] {
        const QByteArray got = device.readAvailable();
        for (char c : got)
            if (c == '\r')
                crAt.push_back(clock.elapsed());
        far += got;
        return sim.state() == QProcess::NotRunning;
    }, 10000));
    far += device.readAvailable();
    EXPECT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().toStdString();
    QByteArray expected;
    for (const auto& l : lines)
        expected += l.line + '\r';
    EXPECT_EQ(far, expected);
    ASSERT_EQ(crAt.size(), 3u);
    EXPECT_NEAR(double(crAt[1] - crAt[0]), 300.0, 60.0);
    EXPECT_NEAR(double(crAt[2] - crAt[1]), 400.0, 60.0);

    // a file that starts as a journal and then is not one is refused
    dir.write("broken.txt", file + "not a journal line\n");
    QProcess bad;
    bad.start(simulator(), {QStringLiteral("--device"), device.slavePath(), QStringLiteral("--replay"),
                            dir.file("broken.txt")});
    ASSERT_TRUE(bad.waitForFinished(5000));
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_TRUE(bad.readAllStandardError().contains("line 4 is not a journal line"));
}

// A program that closes the link in the middle of a replay (a restart) and
// opens it again gets the rest: the replay pauses while nobody listens.
TEST(Simulator, ReplayPausesWhileTheLinkIsClosed) {
    TempWorkDir dir;
    QByteArray capture;
    for (int i = 0; capture.size() < 6000; ++i)
        capture += QByteArray::number(i).rightJustified(21, ' ') + '\r';
    dir.write(QStringLiteral("capture.txt"), capture);
    QProcess sim;
    sim.start(simulator(), {QStringLiteral("--link"), dir.file(QStringLiteral("COM2")), QStringLiteral("--baud"),
                            QStringLiteral("9600"), QStringLiteral("--replay"), dir.file(QStringLiteral("capture.txt"))});
    ASSERT_TRUE(sim.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return QFileInfo(dir.file(QStringLiteral("COM2"))).exists(); }));

    QByteArray first, second;
    {
        TWComThread com;
        com.OnPacketReceived = [&](TWComThread*, const QByteArray& b) { first += b; };
        com.setPort(2);
        com.setBaud(9600);
        com.OpenPort();
        ASSERT_TRUE(com.ok()) << com.LastError().toStdString();
        ASSERT_TRUE(waitFor([&] { return first.size() >= 1500; }, 10000));
        com.ClosePort();
    }
    spin(1500);  // nearly 1500 bytes on the line
    ASSERT_EQ(sim.state(), QProcess::Running);
    TWComThread com;
    com.OnPacketReceived = [&](TWComThread*, const QByteArray& b) { second += b; };
    com.setPort(2);
    com.setBaud(9600);
    com.OpenPort();
    ASSERT_TRUE(com.ok()) << com.LastError().toStdString();
    ASSERT_TRUE(waitFor([&] { return sim.state() == QProcess::NotRunning; }, 15000));
    spin(100);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_TRUE(capture.startsWith(first));
    EXPECT_TRUE(capture.endsWith(second));
    // Lost: only what was on its way in the moment of the close.
    EXPECT_LE(capture.size() - first.size() - second.size(), 64) << first.size() << " + " << second.size();
}

// A device that goes away (the far end of a pty closed, as a pulled USB cable
// does to its tty) ends the simulator at once with status 3, saying how much
// was sent and how much not.
TEST(Simulator, ALineThatGoesAwayEndsItWithTheBytesNotSent) {
    TempWorkDir dir;
    const QByteArray capture = QByteArray(22, 'x').append('\r').repeated(870);  // 20010 bytes
    dir.write(QStringLiteral("capture.txt"), capture);
    const QList<QStringList> modes = {
        {QStringLiteral("--replay"), dir.file(QStringLiteral("capture.txt"))},
        {QStringLiteral("--forever")},
    };
    for (const QStringList& mode : modes) {
        SCOPED_TRACE(mode.first().toStdString());
        Pty device;
        QProcess sim;
        sim.start(simulator(), QStringList{QStringLiteral("--device"), device.slavePath(), QStringLiteral("--baud"),
                                           QStringLiteral("2400")} + mode);
        ASSERT_TRUE(sim.waitForStarted());
        QByteArray far;
        ASSERT_TRUE(waitFor([&] {
            far += device.readAvailable();
            return far.size() >= 100;
        }, 10000));
        device.close();  // the cable is pulled
        QElapsedTimer t;
        t.start();
        ASSERT_TRUE(waitFor([&] { return sim.state() == QProcess::NotRunning; }, 5000)) << "still running";
        EXPECT_LT(t.elapsed(), 3000);
        EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sim.exitCode(), 3);
        const QString err = QString::fromLocal8Bit(sim.readAllStandardError());
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("the line went away \\(.+\\): (\\d+) bytes sent, (\\d+) not sent")).match(err);
        ASSERT_TRUE(m.hasMatch()) << err.toStdString();
        const qint64 sent = m.captured(1).toLongLong(), notSent = m.captured(2).toLongLong();
        EXPECT_GE(sent, far.size());
        if (mode.first() == QLatin1String("--replay")) {
            EXPECT_EQ(sent + notSent, capture.size());
            EXPECT_GT(notSent, 15000);  // 240 bytes a second, for about a second
        }
    }
}
