// A race rebuilt from its journal: the simulator replays the journal the real
// program wrote into a second run of the program, and the time table comes
// out the same, read back with xlsdump.
#include "Pty.h"
#include "TempDir.h"
#include "protocol/Journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <signal.h>

namespace {

// A short race as a timing device sends it, one line every 200 ms: running
// times, intermediate (A) and finish (C) results with ranks, the device's
// repeats and the copies to the addressed boards. Start numbers 1 to 3 are
// runners of the demo table.
const char* const kRace[] = {
    "  1.           0.100  ", "  1A          12.345 1", "  1A          12.345 1", "A  1A          12.345 1",
    "  2.           0.200  ", "  2A          13.000 2", "  1C        1:02.345 1", "  1C        1:02.345 1",
    "B  1C        1:02.345 1", "  3.           5.000  ", "  2C        1:03.500 2", "  3A          11.900 1",
    "  3C        1:01.000 1", "  3C        1:01.000 1", "  2C        1:03.500 3",
};

// The real program in a working folder of its own, seeded from data/.
struct Session {
    TempWorkDir dir;
    QProcess program;

    Session() {
        const QDir data(QStringLiteral(TD_SOURCE_DIR "/data"));
        for (const QFileInfo& f : data.entryInfoList(QDir::Files))
            QFile::copy(f.absoluteFilePath(), dir.file(f.fileName()));
        dir.write(QStringLiteral("disp.ini"), "COM 1\r\nBAUD 9600\r\n");
    }
    ~Session() {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished();
        }
    }
    bool start() {
        program.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TD_BINARY_DIR "/src/console/timedisplay"), {QStringLiteral("--web-port"), QStringLiteral("0")});
        return program.waitForStarted();
    }
    // Ends it as the operator's "Quit" does; its exit code.
    int stop() {
        ::kill(pid_t(program.processId()), SIGTERM);
        if (!program.waitForFinished(15000))
            return -1;
        return program.exitCode();
    }
    // The time table as xlsdump prints it.
    QByteArray table() const {
        QProcess dump;
        dump.start(QStringLiteral(TD_BINARY_DIR "/tools/xlsdump"), {dir.file(QStringLiteral("liste.xls"))});
        if (!dump.waitForFinished(10000) || dump.exitCode() != 0)
            return "xlsdump failed: " + dump.readAllStandardError();
        return dump.readAllStandardOutput();
    }
    QString journalName() const {
        const QStringList j = QDir(dir.path()).entryList({QStringLiteral("journal-*.txt")}, QDir::Files);
        return j.size() == 1 ? j.first() : QString();
    }
    // The received lines the journal holds, in order.
    QList<QByteArray> journalLines() const {
        QList<QByteArray> out;
        for (const QByteArray& l : dir.read(journalName()).split('\n'))
            if (const auto e = journal::decode(l))
                out << e->line;
        return out;
    }
};

} // namespace

TEST(Replay, ARaceRebuiltFromItsJournalGivesTheSameTable) {
    // The race as it happened: the device on a pseudo-terminal.
    Session original;
    const QByteArray untouched = original.table();
    Pty device;
    ASSERT_TRUE(device.valid());
    ASSERT_TRUE(device.link(original.dir.file(QStringLiteral("COM1"))));
    ASSERT_TRUE(original.start());
    ASSERT_TRUE(waitFor([&] { return hasOpen(original.program.processId(), device.slavePath()); }, 15000));
    spin(500);  // past the flush that follows the open
    for (const char* line : kRace) {
        ASSERT_TRUE(device.write(QByteArray(line) + '\r'));
        spin(200);
    }
    spin(1500);  // the journal is on disk within a second
    ASSERT_EQ(original.stop(), 0);
    const QByteArray table = original.table();
    ASSERT_NE(table, untouched);  // the race wrote results
    const QList<QByteArray> received = original.journalLines();
    ASSERT_EQ(received.size(), qsizetype(std::size(kRace)));

    // The rebuild: the replay is started first, the program late, as an
    // operator does it; the replay waits for the program.
    Session rebuilt;
    const QString journal = rebuilt.dir.file(QStringLiteral("race.txt"));
    ASSERT_TRUE(QFile::copy(original.dir.file(original.journalName()), journal));
    QProcess sim;
    sim.start(QStringLiteral(TD_BINARY_DIR "/tools/sim/timedisplay-sim"),
              {QStringLiteral("--link"), rebuilt.dir.file(QStringLiteral("COM1")), QStringLiteral("--baud"),
               QStringLiteral("9600"), QStringLiteral("--replay"), journal});
    ASSERT_TRUE(sim.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(rebuilt.dir.file(QStringLiteral("COM1"))); }));
    spin(1500);  // half the race's time
    ASSERT_TRUE(rebuilt.start());
    ASSERT_TRUE(waitFor([&] { return sim.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().toStdString();
    spin(1500);
    ASSERT_EQ(rebuilt.stop(), 0);

    EXPECT_EQ(rebuilt.journalLines().join('\n').toStdString(), received.join('\n').toStdString());
    EXPECT_EQ(rebuilt.table().toStdString(), table.toStdString());
}
