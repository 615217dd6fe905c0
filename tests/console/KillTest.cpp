// kill -9 of the real program at random moments while it saves the time
// table and its settings: after every kill both files read, and no result
// that was on disk before is gone.
#include "../serial/Pty.h"
#include "TempDir.h"

#include "RaceModel.h"
#include "timetable/Xls.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <map>
#include <poll.h>
#include <random>
#include <signal.h>

namespace {

bool slaveOpened(int master) {
    pollfd p{master, POLLIN, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

QList<QByteArray> iniLines(const QByteArray& file) {
    QList<QByteArray> lines = file.split('\n');
    for (QByteArray& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    return lines;
}

} // namespace

TEST(KillDuringSaves, TableAndSettingsSurviveTwentyKills) {
    TempWorkDir dir;
    for (const char* f : {"english.lng", "logo1.bmp", "logo2.bmp", "logo3.bmp"})
        ASSERT_TRUE(QFile::copy(QString(TD_SOURCE_DIR "/data/") + f, dir.file(f))) << f;
    Pty pty;
    ASSERT_TRUE(pty.valid());
    ASSERT_TRUE(pty.link(dir.file("COM1")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    std::mt19937 random(20261210);
    std::map<std::pair<int, int>, QString> saved;  // every result seen on disk so far
    constexpr int kRounds = 20, kPerRound = 40;
    int iniRewritten = 0;

    for (int round = 0; round <= kRounds; ++round) {
        SCOPED_TRACE(round);
        const bool clean = round == kRounds;  // the last run ends with SIGTERM
        // In a form the program writes anew as soon as it runs.
        dir.write("disp.ini", "COM 1\nBAUD 115200\nRankX " + QByteArray::number(round) + "\n");
        QProcess app;
        app.setWorkingDirectory(dir.path());
        app.setProcessEnvironment(env);
        app.start(TD_BINARY_DIR "/src/console/timedisplay", {"--web-port", "0"});
        ASSERT_TRUE(app.waitForStarted());
        ASSERT_TRUE(waitFor([&] { return slaveOpened(pty.masterFd()); }, 15000)) << "COM1 was not opened";
        spin(100);  // the port is purged right after opening

        QByteArray lines;
        for (int k = 0; k < kPerRound; ++k)
            lines += sim::normalLine(round * kPerRound + k + 1, 'C', 60000 + round * 1000 + k * 17, k + 1) + '\r';
        ASSERT_TRUE(pty.write(lines));
        if (clean) {
            spin(500);
            ::kill(pid_t(app.processId()), SIGTERM);
        } else {
            spin(int(random() % 1600));
            ::kill(pid_t(app.processId()), SIGKILL);
        }
        ASSERT_TRUE(app.waitForFinished(15000));

        Sheet table;
        QString why;
        ASSERT_TRUE(xls::readFile(dir.file("liste.xls"), table, &why)) << why.toStdString();
        for (const auto& [cell, entry] : saved)
            ASSERT_EQ(table.entry(cell.first, cell.second), entry) << "row " << cell.first << " col " << cell.second;
        for (int k = 0; k < kPerRound; ++k) {
            const int row = round * kPerRound + k + 10;
            const QString e = table.entry(row, 6);
            if (!e.isEmpty())
                saved[{row, 6}] = e;
            else if (clean)
                ADD_FAILURE() << "a clean close lost row " << row;
        }

        const QList<QByteArray> ini = iniLines(dir.read("disp.ini"));
        EXPECT_TRUE(ini.contains("COM 1")) << dir.read("disp.ini").toStdString();
        EXPECT_TRUE(ini.contains("RankX " + QByteArray::number(round))) << dir.read("disp.ini").toStdString();
        if (ini.size() > 100) {  // the program's own, complete
            ++iniRewritten;
            EXPECT_EQ(ini.size(), 144);  // 143 lines and the empty rest after the last line end
            EXPECT_EQ(ini[135], "StrNrSelf 0");
        }
    }
    EXPECT_GT(saved.size(), size_t(kPerRound));
    EXPECT_GE(iniRewritten, 3);  // kills met the settings written, too
}
