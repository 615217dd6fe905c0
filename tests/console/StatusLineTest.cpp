#include "MainWindowFixture.h"

#include "serial/WComThread.h"
#include "timetable/Spreadsheet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>

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
    EXPECT_EQ(partText("StatusTable"), "no time table loaded");  // none in the folder, none shipped
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

// A liste.xls that could not be loaded: the status line says that no table
// was loaded (not that nothing changed since), and its tooltip says why.
TEST_F(StatusLine, SaysWhenNoTableWasLoaded) {
    ASSERT_TRUE(QFile::copy(TD_SOURCE_DIR "/tests/timetable/fixtures/kinds/liste.xlsx", "liste.xls"));
    createWindows();
    win->updateStatusLine();
    EXPECT_EQ(partText("StatusTable"), "no time table loaded");
    EXPECT_EQ(part("StatusTable")->toolTip(),
              "liste.xls is an Excel 2007+ workbook (.xlsx); save it as Excel 97-2003 (.xls)");
    // The first result makes a new table; the old file went aside.
    timeControl->TimeTable->setEntryRC(10, 3, "Huber");
    timeControl->waitForSaves();
    EXPECT_EQ(partText("StatusTable"),
              "time table saved at " + timeControl->saveStatus().savedAt.toString("HH:mm:ss"));
}

// A board that follows another records nothing: its status line says so
// rather than how a time table it never writes stands.
TEST_F(StatusLine, AFollowerSaysItKeepsNoTimeTable) {
    ASSERT_TRUE(QFile::copy(TD_SOURCE_DIR "/data/liste.xls", "liste.xls"));
    Tdisplay::followUrl = QStringLiteral("http://127.0.0.1:8080/");
    createWindows();
    win->updateStatusLine();
    Tdisplay::followUrl.clear();
    EXPECT_EQ(partText("StatusTable"), "no time table: this board follows another and records nothing");
}

// A notice raised while the board shows waits for the setup panel, and the
// status line says that one is waiting until the operator has closed it.
TEST_F(StatusLine, ANoticeWhileTheBoardShowsWaitsAndTheStatusLineSaysSo) {
    for (const char* f : {"liste.xls", "english.lng", "logo1.bmp", "logo2.bmp", "logo3.bmp"})
        ASSERT_TRUE(QFile::copy(QString(TD_SOURCE_DIR "/data/") + f, f));
    dialogs->notices.clear();  // those of the windows made before the files were there
    dialogs->openNotices.clear();
    createWindows();
    QLabel* waiting = part("StatusNotice");
    ASSERT_NE(waiting, nullptr);
    win->updateStatusLine();
    ASSERT_TRUE(waiting->isHidden()) << dialogs->notices.join("\n").toStdString();

    win->StartClick();
    QFile::remove("liste.xls");
    QDir().mkpath("liste.xls/in-the-way");  // the next save fails
    timeControl->TimeTable->setEntryRC(10, 3, "Huber");
    timeControl->waitForSaves();
    ASSERT_EQ(timeControl->saveStatus().state, SaveStatus::Failed);
    EXPECT_TRUE(dialogs->notices.isEmpty());  // nothing covers the board
    EXPECT_TRUE(dialogs->noticesPutAway);
    EXPECT_EQ(Dialogs::current().pendingNotices(), 1);

    win->Anzeige_beenden();
    ASSERT_EQ(dialogs->notices.size(), 1);
    EXPECT_TRUE(dialogs->notices[0].startsWith("Could not write Data File")) << dialogs->notices[0].toStdString();
    EXPECT_FALSE(dialogs->noticesPutAway);
    EXPECT_FALSE(waiting->isHidden());
    EXPECT_EQ(waiting->text(), "1 notice waiting");

    // The cause goes away: the notice with it, and the status line says no more.
    QDir("liste.xls").removeRecursively();
    ASSERT_FALSE(QFileInfo::exists("liste.xls"));
    timeControl->TimeTable->setEntryRC(10, 4, "Hans");
    timeControl->waitForSaves();
    QElapsedTimer t;
    t.start();
    while (timeControl->saveStatus().state != SaveStatus::Saved && t.elapsed() < 8000)
        spin(50);
    ASSERT_EQ(timeControl->saveStatus().state, SaveStatus::Saved) << timeControl->saveStatus().reason.toStdString();
    win->updateStatusLine();
    EXPECT_TRUE(waiting->isHidden()) << dialogs->openNotices.keys().join(", ").toStdString();
}

// One line at the bottom of the window, in the row of the panel's horizontal
// scroll bar: it covers no element or control wherever they are, the panel's
// bottom row stays in view at the design size, and every part that must be
// read whole ("... last 12 s ago") is.
TEST_F(StatusLine, OneLineAtTheBottomOverNothing) {
    ASSERT_TRUE(QFile::copy(TD_SOURCE_DIR "/data/liste.xls", "liste.xls"));
    createWindows();
    receive("012C    00:00:35.000 3\r013.    00:00:20.000  \r");
    timeControl->TimeTable->setEntryRC(10, 3, "Huber");
    timeControl->waitForSaves();
    win->setWebAddress("http://192.168.100.200:8080/");
    win->show();
    // The window as it stands on a 1920x1080 monitor (its design size) and
    // shrunk onto a 1366x768 laptop screen, and widened by the operator.
    for (const QSize size : {QSize(803, 765), QSize(803, 740), QSize(1366, 740), QSize(1920, 1050)}) {
        SCOPED_TRACE(QString("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        win->resize(size);
        spin(50);
        win->updateStatusLine();
        spin(50);
        const QRect bar(win->StatusLine->mapTo(win.get(), QPoint(0, 0)), win->StatusLine->size());
        // At the bottom, from the left edge over most of the width; one line high.
        EXPECT_EQ(bar.left(), 0);
        EXPECT_EQ(bar.bottom(), win->height() - 1);
        EXPECT_GE(bar.width(), win->width() * 2 / 3);
        EXPECT_GE(bar.height(), win->fontMetrics().height());
        EXPECT_LT(bar.height(), 2 * win->fontMetrics().height());
        // What the operator sees of every element and control lies above it.
        const QRect view(win->scroller->viewport()->mapTo(win.get(), QPoint(0, 0)), win->scroller->viewport()->size());
        // The bottom row of the panel is in view whole at the design size and above.
        for (QWidget* w : {static_cast<QWidget*>(win->COM), static_cast<QWidget*>(win->Language),
                           static_cast<QWidget*>(win->Time), static_cast<QWidget*>(win->Hintergrund),
                           static_cast<QWidget*>(win->Start), static_cast<QWidget*>(win->End),
                           static_cast<QWidget*>(win->PortSettings)})
            EXPECT_TRUE(view.contains(QRect(w->mapTo(win.get(), QPoint(0, 0)), w->size())))
                << w->objectName().toStdString();
        for (QWidget* w : win->canvas->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (w->isHidden())
                continue;
            const QRect seen = QRect(w->mapTo(win.get(), QPoint(0, 0)), w->size()) & view;
            EXPECT_FALSE(seen.intersects(bar)) << w->objectName().toStdString();
        }
        EXPECT_FALSE(view.intersects(bar));
        for (QLabel* l : win->StatusLine->findChildren<QLabel*>()) {
            if (l->isHidden())
                continue;
            EXPECT_TRUE(bar.contains(QRect(l->mapTo(win.get(), QPoint(0, 0)), l->size())))
                << l->objectName().toStdString();
        }
        QLabel* lines = part("StatusLines");
        EXPECT_TRUE(QRegularExpression("^2 lines received, last \\d+ s ago$").match(partText("StatusLines")).hasMatch())
            << partText("StatusLines").toStdString();
        EXPECT_GE(lines->width(), lines->fontMetrics().horizontalAdvance(lines->text()));
    }
}

// A part that reads "<where>: <state>" (the board a follower follows, the
// MQTT broker, the port) and is too long for the line at the design size
// still shows its state: the address gives way first.
TEST_F(StatusLine, TheStateOfAPortABrokerOrAFollowedBoardIsReadAtTheDesignSize) {
    ASSERT_TRUE(QFile::copy(TD_SOURCE_DIR "/data/liste.xls", "liste.xls"));
    struct Case {
        const char* part;
        bool follower;
        QString text;
        QString state;  // enough of the state to read it
    };
    const Case cases[] = {
        {"StatusPort", true, "following mqtt://screens@10.0.0.5:1883/venue/hall1: connected", ": connected"},
        {"StatusPort", true, "following http://192.168.100.200:8080/: connecting", ": connecting"},
        {"StatusPort", true,
         "following mqtt://10.0.0.5/venue/hall1: not connected (Connection refused), trying again",
         ": not connected"},
        {"StatusMqtt", false, "MQTT 192.168.100.200:1883: not connected, 42 kept, 3 dropped", ": not connect"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        Tdisplay::followUrl = c.follower ? QStringLiteral("http://192.168.100.200:8080/") : QString();
        createWindows();
        Tdisplay::followUrl.clear();
        win->setWebAddress("http://192.168.100.200:8080/");
        win->setMqttStatus("MQTT 192.168.100.200:1883: connected");
        win->show();
        for (const QSize size : {QSize(803, 765), QSize(801, 740)}) {
            win->resize(size);
            spin(50);
            QLabel* l = part(c.part);
            if (c.follower)
                win->setFollowStatus(c.text);
            else
                win->setMqttStatus(c.text);
            spin(50);
            l->grab();  // paints it as the screen does
            const QString shown = l->property("shown").toString();
            EXPECT_EQ(l->toolTip(), c.text);
            EXPECT_LT(l->fontMetrics().horizontalAdvance(shown), l->fontMetrics().horizontalAdvance(c.text))
                << "the case must be too long to be shown whole: " << shown.toStdString();
            EXPECT_TRUE(shown.startsWith(c.text.section(' ', 0, 0))) << shown.toStdString();  // what it is about
            EXPECT_TRUE(shown.contains(c.state)) << shown.toStdString();
        }
    }
}
