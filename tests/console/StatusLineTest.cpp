#include "MainWindowFixture.h"

#include "serial/WComThread.h"
#include "timetable/Spreadsheet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>

namespace {

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

class StatusLine : public MainWindowTest {
protected:
    QLabel* part(const char* name) { return win->StatusLine->findChild<QLabel*>(QLatin1String(name)); }
    QString partText(const char* name) { return part(name)->text(); }
    // Bytes the way the serial line hands them over: one per packet.
    void receive(const QByteArray& bytes) {
        for (char b : bytes)
            win->ComThread1->OnPacketReceived(win->ComThread1, QByteArray(1, b));
    }
};

} // namespace

TEST_F(StatusLine, ShowsPortLinesTableAndWebBoardAndHidesOnTheScoreboard) {
    ASSERT_NE(win->StatusLine, nullptr);
    EXPECT_EQ(win->StatusLine->objectName(), "StatusLine");
    for (const char* name : {"StatusPort", "StatusLines", "StatusTable", "StatusWeb"})
        ASSERT_NE(part(name), nullptr) << name;
    win->updateStatusLine();
    EXPECT_TRUE(partText("StatusPort").startsWith("Port: none")) << partText("StatusPort").toStdString();
    EXPECT_EQ(partText("StatusLines"), "no lines received");
    EXPECT_EQ(partText("StatusTable"), "time table: no change since it was loaded");
    EXPECT_TRUE(part("StatusWeb")->isHidden());

    // Lines: counted at their carriage return; a lone CR is no line.
    receive("012C    00:00:35.000 3\r\r013.    00:00:20.000  \r");
    win->updateStatusLine();
    EXPECT_EQ(partText("StatusLines"), "2 lines received, last 0 s ago");
    // The status line keeps itself up to date once a second.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 3500 && partText("StatusLines") != "2 lines received, last 2 s ago")
        spin(50);
    EXPECT_EQ(partText("StatusLines"), "2 lines received, last 2 s ago");
    EXPECT_GE(t.elapsed(), 1900);

    // The time table's state arrives with its signal.
    timeControl->TimeTable->setEntryRC(10, 3, "Müller");
    timeControl->waitForSaves();  // the writer thread's result
    ASSERT_EQ(timeControl->saveStatus().state, SaveStatus::Saved);
    EXPECT_EQ(partText("StatusTable"),
              "time table saved at " + timeControl->saveStatus().savedAt.toString("HH:mm:ss"));
    QFile::remove("liste.xls");
    QDir().mkdir("liste.xls");  // a folder in the way
    QFile blocker("liste.xls/x");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    timeControl->TimeTable->setEntryRC(10, 4, "Hans");
    timeControl->waitForSaves();
    ASSERT_EQ(timeControl->saveStatus().state, SaveStatus::Failed);
    EXPECT_EQ(partText("StatusTable"), "time table not saved: " + timeControl->saveStatus().reason);
    EXPECT_FALSE(timeControl->saveStatus().reason.isEmpty());

    // The web board's address: shown once there is one.
    win->setWebAddress("http://192.168.1.20:8080/");
    EXPECT_FALSE(part("StatusWeb")->isHidden());
    EXPECT_EQ(partText("StatusWeb"), "web board: http://192.168.1.20:8080/");

    // Display mode hides it with the other setup controls; it keeps its parts.
    win->StartClick();
    EXPECT_TRUE(win->StatusLine->isHidden());
    EXPECT_TRUE(win->PortSettings->isHidden());
    win->Anzeige_beenden();
    EXPECT_FALSE(win->StatusLine->isHidden());
    EXPECT_FALSE(win->PortSettings->isHidden());
    EXPECT_FALSE(part("StatusWeb")->isHidden());
    win->setWebAddress("");
    EXPECT_TRUE(part("StatusWeb")->isHidden());
}
