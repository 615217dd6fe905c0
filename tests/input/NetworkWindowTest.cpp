// The main window with a network device: chosen in the port list or stored
// in disp.ini, shown in the status line while socat comes and goes, and
// bad addresses refused with a notice.
#include "../console/MainWindowFixture.h"
#include "../serial/Pty.h"
#include "DeviceServer.h"
#include "input/TcpInput.h"
#include "protocol/Journal.h"
#include "protocol/TimeText.h"
#include "timetable/Spreadsheet.h"
#include "serial/WComThread.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

class NetworkWindow : public MainWindowTest {
protected:
    QString status() {
        win->updateStatusLine();
        return widget<QLabel>("StatusPort")->text();
    }
    // "Network device…" chosen in the list, the dialog answered with `typed`.
    void chooseNetworkDevice(std::optional<QString> typed) {
        dialogs->textAnswers.push_back(std::move(typed));
        win->COM->setCurrentIndex(win->COM->findText(Tdisplay::networkDeviceItem()));
        win->COMChange();
    }
    // The notices about the network device (others tell of the missing logos).
    QStringList lostNotices() { return dialogs->notices.filter("device server"); }
    QString notice(const char* key) { return dialogs->openNotices.value(QLatin1String(key)); }
    QByteArray savedComLine() {
        win->Einstellungen_speichern();
        for (const QByteArray& l : dir.read("disp.ini").split('\n'))
            if (l.startsWith("COM "))
                return l.trimmed();
        return {};
    }
    void restartWith(const QByteArray& ini) {
        destroyWindows();
        dir.write("disp.ini", ini);
        createWindows();
    }
};

} // namespace

TEST_F(NetworkWindow, TheStatusLineFollowsTheDeviceServerAndOneNoticeSaysItWasLost) {
    DeviceServer device;
    chooseNetworkDevice(QStringLiteral("127.0.0.1:%1").arg(device.port()));
    ASSERT_NE(win->NetInput, nullptr);
    const std::string where = device.url().toStdString();

    // Not there yet: refused, tried again by itself, counted down.
    ASSERT_TRUE(waitFor([&] { return status().contains("connection refused - retry in"); }, 5000))
        << status().toStdString();
    EXPECT_TRUE(status().startsWith(device.url())) << status().toStdString();
    EXPECT_TRUE(lostNotices().isEmpty()) << lostNotices().join('|').toStdString();

    ASSERT_TRUE(device.start()) << device.log().toStdString();
    ASSERT_TRUE(waitFor([&] { return status() == device.url() + ": connected"; }, 10000)) << status().toStdString();
    ASSERT_TRUE(device.send(QByteArray::fromStdString(timingLine("  5", 'C', "00:00:35.000", " 1")) + '\r'));
    ASSERT_TRUE(waitFor([&] { return text("Nummer") == "5"; }, 5000)) << text("Nummer").toStdString();
    EXPECT_EQ(win->linesReceived(), 1);

    // Lost mid-race: said once, however many attempts follow.
    device.drop();
    ASSERT_TRUE(waitFor([&] { return status().contains("closed by the device server"); }, 5000))
        << status().toStdString();
    ASSERT_TRUE(waitFor([&] { return status().contains("connection refused - retry in"); }, 5000))
        << status().toStdString();
    spin(1500);
    ASSERT_EQ(lostNotices().size(), 1) << lostNotices().join('|').toStdString();
    EXPECT_TRUE(lostNotices()[0].contains(device.url() + " was lost: closed by the device server"))
        << lostNotices()[0].toStdString();
    EXPECT_FALSE(notice("network-input").isEmpty());

    // Back: connected again by itself, the notice goes, the lines count on.
    ASSERT_TRUE(device.start()) << device.log().toStdString();
    ASSERT_TRUE(waitFor([&] { return status() == device.url() + ": connected"; }, 10000)) << status().toStdString();
    EXPECT_TRUE(notice("network-input").isEmpty());
    ASSERT_TRUE(device.send(QByteArray::fromStdString(timingLine("  9", 'C', "00:00:36.250", " 2")) + '\r'));
    ASSERT_TRUE(waitFor([&] { return text("Nummer") == "9"; }, 5000)) << text("Nummer").toStdString();
    EXPECT_EQ(text("Rang"), " 2");
    EXPECT_EQ(win->linesReceived(), 2);
    EXPECT_EQ(lostNotices().size(), 1);
}

TEST_F(NetworkWindow, AHostThatIsNotThereIsSaidSo) {
    restartWith("COM tcp://no-such-device-server.invalid:4001\r\n");
    ASSERT_NE(win->NetInput, nullptr);
    ASSERT_TRUE(waitFor([&] { return status().contains("host not found - retry in"); }, 15000))
        << status().toStdString();
    EXPECT_TRUE(status().startsWith("tcp://no-such-device-server.invalid:4001: ")) << status().toStdString();
}

TEST_F(NetworkWindow, ThePortListNamesADeviceServerRemembersItAndStoresItInDispIni) {
    const QString last = win->COM->itemText(win->COM->count() - 1);
    EXPECT_EQ(last, Tdisplay::networkDeviceItem());
    EXPECT_EQ(win->COM->currentIndex(), 0);
    DeviceServer device;
    ASSERT_TRUE(device.start()) << device.log().toStdString();

    // Cancelled, or not an address: the list goes back, nothing opens.
    chooseNetworkDevice(std::nullopt);
    EXPECT_EQ(win->COM->currentText(), "none");
    chooseNetworkDevice(QStringLiteral("127.0.0.1:99999"));
    EXPECT_EQ(win->COM->currentText(), "none");
    EXPECT_EQ(win->NetInput, nullptr);
    EXPECT_TRUE(notice("network-url").contains("no port from 1 to 65535")) << notice("network-url").toStdString();

    chooseNetworkDevice(QStringLiteral("127.0.0.1:%1").arg(device.port()));
    EXPECT_EQ(win->COM->currentText(), device.url());
    EXPECT_EQ(win->COM->itemText(win->COM->count() - 2), device.url());  // listed before "Network device…"
    ASSERT_EQ(dialogs->textLabels.size(), 3);
    EXPECT_EQ(dialogs->textLabels[2], "The device server's address and port (host:port):");
    EXPECT_TRUE(notice("network-url").isEmpty());  // the bad address's notice went with a good one
    ASSERT_TRUE(device.waitConnected(10000)) << device.log().toStdString();
    ASSERT_TRUE(waitFor([&] { return status() == device.url() + ": connected"; }, 5000)) << status().toStdString();

    // No rate or bits for a network device: the button says so and does nothing.
    auto* settings = widget<QPushButton>("PortSettings");
    EXPECT_FALSE(settings->isEnabled());
    win->PortSettingsClick();
    EXPECT_EQ(dialogs->execCount, 0);
    ASSERT_EQ(dialogs->errors.size(), 1);
    EXPECT_TRUE(dialogs->errors[0].contains("do not apply to a network device")) << dialogs->errors[0].toStdString();

    // The serial line again: the link is closed, the settings apply again.
    win->COM->setCurrentIndex(0);
    win->COMChange();
    EXPECT_EQ(win->NetInput, nullptr);
    EXPECT_TRUE(settings->isEnabled());
    EXPECT_EQ(win->COM->findText(device.url()), win->COM->count() - 2);  // still listed for this session
    EXPECT_EQ(savedComLine(), "COM 0");

    win->COM->setCurrentIndex(win->COM->findText(device.url()));
    win->COMChange();
    ASSERT_NE(win->NetInput, nullptr);
    EXPECT_EQ(savedComLine(), "COM " + device.url().toUtf8());
    EXPECT_EQ(win->ComThread1->ok(), false);

    // A save while the operator types another address keeps the one in use.
    QByteArray savedMeanwhile;
    dialogs->whileAskingText = [&] { savedMeanwhile = savedComLine(); };
    chooseNetworkDevice(std::nullopt);
    dialogs->whileAskingText = nullptr;
    EXPECT_EQ(savedMeanwhile, "COM " + device.url().toUtf8());
    EXPECT_EQ(win->COM->currentText(), device.url());
    ASSERT_NE(win->NetInput, nullptr);

    // The next start opens it from disp.ini, the other keys as they were.
    const QByteArray ini = dir.read("disp.ini");
    device.drop();
    ASSERT_TRUE(device.start());
    destroyWindows();
    createWindows();
    EXPECT_EQ(win->COM->currentText(), device.url());
    ASSERT_NE(win->NetInput, nullptr);
    ASSERT_TRUE(device.waitConnected(10000)) << device.log().toStdString();
    win->Einstellungen_speichern();
    EXPECT_EQ(dir.read("disp.ini"), ini);
}

TEST_F(NetworkWindow, BadAddressesInDispIniAreRefusedWithANoticeAndOldValuesStillWork) {
    const struct {
        QByteArray line;
        const char* why;
    } bad[] = {
        {"COM tcp://box", "names no port"},
        {"COM tcp://box:0", "no port from 1 to 65535"},
        {"COM tcp://[::1:4001", "no closing ]"},
        {"COM tcp://box:4001/../../etc", "more than host:port"},
        {"COM tcp://" + QByteArray(300, 'x') + ":1", "no valid host name"},
        {"COM tcp://\x01\x02:4001", "a blank or a control character"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.line.left(60).toStdString());
        dialogs->openNotices.clear();
        restartWith(c.line + "\r\nBAUD 9600\r\n");
        EXPECT_EQ(win->NetInput, nullptr);
        EXPECT_EQ(win->COM->currentText(), "none");
        const QString said = notice("network-url");
        EXPECT_TRUE(said.contains("the COM key names no network device")) << said.toStdString();
        EXPECT_TRUE(said.contains(c.why)) << said.toStdString();
        EXPECT_EQ(win->ComThread1->Baud(), 9600);  // the rest of the file is read
    }
    // A port number as before.
    Pty pty;
    ASSERT_TRUE(pty.link(dir.file("COM7")));
    restartWith("COM 7\r\n");
    EXPECT_EQ(win->COM->currentText(), "COM7");
    EXPECT_EQ(win->NetInput, nullptr);
    EXPECT_TRUE(win->ComThread1->ok());
    EXPECT_EQ(savedComLine(), "COM 7");
}

TEST_F(NetworkWindow, LinesArrivingWhileThePromptIsOpenRunAfterItInTheOrderTheyCame) {
    DeviceServer device;
    ASSERT_TRUE(device.start()) << device.log().toStdString();
    restartWith("COM " + device.url().toUtf8() + "\r\n");
    ASSERT_TRUE(device.waitConnected(10000)) << device.log().toStdString();
    ASSERT_TRUE(waitFor([&] { return status() == device.url() + ": connected"; }, 5000)) << status().toStdString();
    win->StrNrSelfCB->setChecked(true);

    // While the operator types, the device goes on: running times, a
    // result, more running times (far more than one read takes).
    QByteArray during;
    for (int i = 0; i < 1000; ++i)
        during += QByteArray("009.    00:00:") + QByteArray::number(10 + i % 40) + ".000  \r";
    during += "009A    00:00:11.000 2\r";
    for (int i = 0; i < 200; ++i)
        during += QByteArray("010.    00:00:0") + QByteArray::number(i % 10) + ".500  \r";
    bool nothingDispatched = false;
    dialogs->execAnswers.push_back([&](QDialog*) {
        EXPECT_TRUE(device.send(during));
        spin(300);
        nothingDispatched = win->core().state().Startnummer == 0 && win->core().state().Zeitwert == 0;
        start->StartNrE->setText("12");
        return int(QDialog::Accepted);
    });
    // The line that asks for a number comes with the next one in one piece.
    ASSERT_TRUE(device.send("A  F    00:00:59.000  \r011.    00:00:01.000  \r"));
    ASSERT_TRUE(waitFor([&] { return win->core().state().Startnummer == 10 && win->core().state().Zeitwert == 9500; }, 10000))
        << win->core().state().Startnummer << " " << win->core().state().Zeitwert;
    EXPECT_EQ(dialogs->execCount, 1);
    EXPECT_TRUE(nothingDispatched);
    EXPECT_EQ(Zeit_in_ms(timeControl->TimeTable->EntryRC(21, 6).toStdString(), '.', false), 59000);
    EXPECT_EQ(Zeit_in_ms(timeControl->TimeTable->EntryRC(18, 10).toStdString(), '.', false), 11000);
    EXPECT_EQ(win->linesReceived(), 2 + 1201);

    // The journal has every line whole, in the order sent.
    destroyWindows();
    const QStringList journals = QDir(dir.path()).entryList({"journal-*.txt"});
    ASSERT_EQ(journals.size(), 1);
    QList<QByteArray> lines;
    for (const QByteArray& text : dir.read(journals[0]).split('\n'))
        if (const auto e = journal::decode(text))
            lines << e->line;
    ASSERT_EQ(lines.size(), 1203);
    EXPECT_EQ(lines[0], "A  F    00:00:59.000  ");
    EXPECT_EQ(lines[1], "011.    00:00:01.000  ");
    EXPECT_EQ(lines[2], "009.    00:00:10.000  ");
    EXPECT_EQ(lines[1002], "009A    00:00:11.000 2");
    EXPECT_EQ(lines[1003], "010.    00:00:00.500  ");
}
