#include "FakeDialogs.h"
#include "Pty.h"
#include "PtyLine.h"
#include "serial/PortSettingsDialog.h"
#include "TempDir.h"
#include "console/Disp.h"
#include "serial/WComThread.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

QStringList itemsOf(QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

// Devices COM1, COM3 and COM10 as links to pseudo-terminals in the working
// folder; the main window is created after the test wrote its disp.ini.
class PortSelection : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* logo : {"logo1.bmp", "logo2.bmp", "logo3.bmp"})
            QFile::copy(QStringLiteral(TD_SOURCE_DIR "/data/") + logo, dir.file(logo));
        for (int n : {1, 3, 10})
            ASSERT_TRUE(pty(n).link(dir.file(QStringLiteral("COM%1").arg(n))));
    }
    void create(const QByteArray& ini = {}) {
        if (!ini.isNull())
            dir.write(QStringLiteral("disp.ini"), ini);
        d = std::make_unique<Tdisplay>();
    }
    void choose(const QString& text) {
        d->COM->setCurrentIndex(d->COM->findText(text));
        d->COMChange();
    }
    Pty& pty(int n) { return n == 1 ? pty1 : n == 3 ? pty3 : pty10; }
    QByteArray savedIni() {
        d->Einstellungen_speichern();
        return dir.read(QStringLiteral("disp.ini"));
    }

    TempWorkDir dir;
    ScopedFakeDialogs dialogs;
    Pty pty1, pty3, pty10;
    QString statusText(const char* part) {
        d->updateStatusLine();
        auto* l = d->StatusLine->findChild<QLabel*>(QLatin1String(part));
        return l ? l->text() : QString("<no part>");
    }

    std::unique_ptr<Tdisplay> d;
};

} // namespace

TEST_F(PortSelection, ListIsSortedCaseInsensitiveWithNoneFirst) {
    create();
    const QStringList items = itemsOf(d->COM);
    ASSERT_FALSE(items.isEmpty());
    EXPECT_EQ(items[0], "none");
    EXPECT_EQ(d->COM->currentIndex(), 0);
    const qsizetype c1 = items.indexOf("COM1"), c10 = items.indexOf("COM10"), c3 = items.indexOf("COM3");
    ASSERT_GT(c1, 0);
    EXPECT_LT(c1, c10);
    EXPECT_LT(c10, c3);
    QStringList rest = items.mid(1);
    QStringList sorted = rest;
    sorted.sort(Qt::CaseInsensitive);
    EXPECT_EQ(rest, sorted);
    // The device shows beside the name; the item text stays the name.
    EXPECT_TRUE(d->COM->itemData(int(c3), Qt::ToolTipRole).toString().contains(pty(3).slavePath()));
    EXPECT_FALSE(d->ComThread1->ok());
}

TEST_F(PortSelection, StoredPortOpensAtStartAndBytesReachTheLineInOrder) {
    create("COM 3\r\nBAUD 9600\r\n");
    EXPECT_EQ(d->COM->currentText(), "COM3");
    ASSERT_TRUE(d->ComThread1->ok()) << d->ComThread1->LastError().toStdString();
    EXPECT_EQ(d->ComThread1->Port(), 3);
    EXPECT_EQ(d->ComThread1->Baud(), 9600);
    EXPECT_EQ(d->ComThread1->PacketSize(), 1);
    ASSERT_TRUE(pty(3).write("123C    "));
    ASSERT_TRUE(waitFor([&] { return d->core().gathering().size() >= 8; }));
    EXPECT_EQ(d->core().gathering(), "123C    ");
    EXPECT_TRUE(dialogs->errors.isEmpty()) << dialogs->errors.join("|").toStdString();

    bool canClose = true;
    d->FormCloseQuery(canClose);
    EXPECT_FALSE(d->ComThread1->ok());
}

TEST_F(PortSelection, StoredPortThatFailsAtStartShowsNothing) {
    TWComThread other;  // COM3 is in use by another program
    other.setPort(3);
    other.OpenPort();
    ASSERT_TRUE(other.ok());
    create("COM 3\r\n");
    EXPECT_FALSE(d->ComThread1->ok());
    EXPECT_EQ(d->COM->currentText(), "COM3");
    EXPECT_TRUE(dialogs->errors.isEmpty()) << dialogs->errors.join("|").toStdString();
    // The status line says why, and the port opens once the other program lets go.
    EXPECT_TRUE(statusText("StatusPort").contains("in use by another program")) << statusText("StatusPort").toStdString();
    other.ClosePort();
    EXPECT_TRUE(waitFor([&] { return d->ComThread1->ok(); }));
}

// A stored port whose device is late (a USB adapter plugged in after the
// start) stays chosen, is written back unchanged and opens when it appears.
TEST_F(PortSelection, AbsentStoredPortStaysChosenAndOpensWhenItAppears) {
    create("COM 7\r\nBAUD 19200\r\n");
    EXPECT_EQ(d->ComThread1->Port(), 7);
    EXPECT_EQ(d->COM->currentText(), "COM7");
    EXPECT_FALSE(d->ComThread1->ok());
    EXPECT_TRUE(statusText("StatusPort").contains("COM7")) << statusText("StatusPort").toStdString();
    EXPECT_TRUE(statusText("StatusPort").contains("waiting for the device")) << statusText("StatusPort").toStdString();
    EXPECT_TRUE(savedIni().contains("COM 7\r\n"));
    const QStringList items = itemsOf(d->COM);
    EXPECT_LT(items.indexOf("COM3"), items.indexOf("COM7"));  // in its sorted place

    Pty late;
    ASSERT_TRUE(late.link(dir.file("COM7")));
    ASSERT_TRUE(waitFor([&] { return d->ComThread1->ok(); }, 4000));
    EXPECT_EQ(d->ComThread1->SystemLocation(), late.slavePath());
    EXPECT_EQ(readPtyLine(late.masterFd()).speed, 19200);
    ASSERT_TRUE(late.write("123C    "));
    ASSERT_TRUE(waitFor([&] { return d->core().gathering().size() >= 8; }));
    EXPECT_TRUE(dialogs->errors.isEmpty()) << dialogs->errors.join("|").toStdString();

    // Gone again: still chosen, still saved as it was.
    late.close();
    QFile::remove(dir.file("COM7"));
    ASSERT_TRUE(waitFor([&] { return d->ComThread1->Reconnecting(); }));
    d->refreshPortList();
    EXPECT_EQ(d->COM->currentText(), "COM7");
    EXPECT_TRUE(savedIni().contains("COM 7\r\n"));
}

// The list follows devices that come and go: when it opens, and every 2 s
// in setup mode, not on the scoreboard.
TEST_F(PortSelection, ListFollowsALinkThatAppearsAndDisappears) {
    create();
    Pty p5, p6;
    ASSERT_TRUE(p5.link(dir.file("COM5")));
    EXPECT_EQ(d->COM->findText("COM5"), -1);
    d->COM->showPopup();  // opening the list looks at once
    EXPECT_GT(d->COM->findText("COM5"), 0);
    d->COM->hidePopup();

    QFile::remove(dir.file("COM5"));
    ASSERT_TRUE(waitFor([&] { return d->COM->findText("COM5") < 0; }, 3500));

    d->StartClick();
    ASSERT_TRUE(p6.link(dir.file("COM6")));
    spin(2500);
    EXPECT_EQ(d->COM->findText("COM6"), -1);  // the scoreboard does not look
    d->Anzeige_beenden();
    EXPECT_TRUE(waitFor([&] { return d->COM->findText("COM6") > 0; }, 3500));
    EXPECT_EQ(d->COM->currentIndex(), 0);  // the choice is untouched
}

// The port settings dialog: its values reach the open device at once (read
// back from the pseudo-terminal) and land in disp.ini.
TEST_F(PortSelection, PortSettingsDialogReachesTheDeviceAndTheFile) {
    create("COM 3\r\nBAUD 9600\r\nDATABITS 8\r\nSTOPBITS 1\r\n");
    ASSERT_TRUE(d->ComThread1->ok());
    EXPECT_EQ(readPtyLine(pty(3).masterFd()).speed, 9600);
    EXPECT_TRUE(statusText("StatusPort").contains("open at 9600 8N1")) << statusText("StatusPort").toStdString();

    const struct {
        int baud, dataBits, stopBits;
        const char* line;
    } cases[] = {{19200, 8, 2, "19200 8N2"}, {115200, 8, 1, "115200 8N1"}, {1200, 8, 1, "1200 8N1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        clearRequested(pty(3).slavePath());
        dialogs->execAnswers.push_back([&](QDialog* dlg) {
            auto* p = qobject_cast<PortSettingsDialog*>(dlg);
            EXPECT_NE(p, nullptr);
            if (!p)
                return int(QDialog::Rejected);
            p->baudList->setCurrentIndex(p->baudList->findText(QString::number(c.baud)));
            p->dataBitsList->setCurrentIndex(p->dataBitsList->findText(QString::number(c.dataBits)));
            p->stopBitsList->setCurrentIndex(p->stopBitsList->findText(QString::number(c.stopBits)));
            return int(QDialog::Accepted);
        });
        d->PortSettings->click();
        ASSERT_TRUE(d->ComThread1->ok());
        const PtyLine l = readPtyLine(pty(3).masterFd());
        EXPECT_EQ(l.speed, c.baud);
        EXPECT_EQ(l.stopBits, c.stopBits);
        EXPECT_EQ(requestedLine(pty(3).slavePath()).dataBits, c.dataBits);
        const QByteArray ini = dir.read("disp.ini");
        EXPECT_TRUE(ini.contains("BAUD " + QByteArray::number(c.baud) + "\r\n")) << ini.toStdString();
        EXPECT_TRUE(ini.contains("DATABITS " + QByteArray::number(c.dataBits) + "\r\n"));
        EXPECT_TRUE(ini.contains("STOPBITS " + QByteArray::number(c.stopBits) + "\r\n"));
        EXPECT_TRUE(statusText("StatusPort").contains(QString("open at ") + c.line)) << statusText("StatusPort").toStdString();
    }
    // Cancelled: nothing changes.
    dialogs->execAnswers.push_back([](QDialog* dlg) {
        auto* p = qobject_cast<PortSettingsDialog*>(dlg);
        p->baudList->setCurrentIndex(p->baudList->findText("4800"));
        return int(QDialog::Rejected);
    });
    d->PortSettings->click();
    EXPECT_EQ(readPtyLine(pty(3).masterFd()).speed, 1200);
    EXPECT_EQ(d->ComThread1->Baud(), 1200);

    // A closed port takes the values when it opens. (Seven data bits only
    // here: a pseudo-terminal refuses them on an open line, a UART does not.)
    choose("none");
    dialogs->execAnswers.push_back([](QDialog* dlg) {
        auto* p = qobject_cast<PortSettingsDialog*>(dlg);
        p->baudList->setCurrentIndex(p->baudList->findText("4800"));
        p->dataBitsList->setCurrentIndex(p->dataBitsList->findText("7"));
        p->stopBitsList->setCurrentIndex(p->stopBitsList->findText("2"));
        return int(QDialog::Accepted);
    });
    d->PortSettings->click();
    clearRequested(pty(1).slavePath());
    choose("COM1");
    ASSERT_TRUE(d->ComThread1->ok());
    EXPECT_EQ(readPtyLine(pty(1).masterFd()).speed, 4800);
    EXPECT_EQ(readPtyLine(pty(1).masterFd()).stopBits, 2);
    EXPECT_EQ(requestedLine(pty(1).slavePath()).dataBits, 7);
    EXPECT_TRUE(dir.read("disp.ini").contains("DATABITS 7\r\n"));
    EXPECT_TRUE(dialogs->errors.isEmpty()) << dialogs->errors.join("|").toStdString();
}

TEST_F(PortSelection, FailedChoiceReopensThePreviousPortAndShowsTheError) {
    create();
    choose("COM1");
    ASSERT_TRUE(d->ComThread1->ok());
    TWComThread other;
    other.setPort(3);
    other.OpenPort();
    ASSERT_TRUE(other.ok());

    choose("COM3");
    EXPECT_TRUE(d->ComThread1->ok());
    EXPECT_EQ(d->ComThread1->Port(), 1);
    EXPECT_EQ(d->COM->currentText(), "COM1");
    ASSERT_EQ(dialogs->errors.size(), 1);
    TWComThread probe;  // the text a failed open of COM3 gives
    probe.setPort(3);
    probe.OpenPort();
    EXPECT_FALSE(probe.ok());
    EXPECT_EQ(dialogs->errors[0], probe.LastErrorWords());
    // Words an operator understands: which port and device, and why.
    EXPECT_TRUE(dialogs->errors[0].startsWith("COM3 (" + pty(3).slavePath() + "): in use by another program"))
        << dialogs->errors[0].toStdString();
    // The line still works on the reopened port.
    ASSERT_TRUE(pty(1).write("42"));
    ASSERT_TRUE(waitFor([&] { return d->core().gathering().size() >= 2; }));

    choose("COM1");  // the open port again: closed and reopened
    EXPECT_TRUE(d->ComThread1->ok());
    choose("none");
    EXPECT_FALSE(d->ComThread1->ok());
    EXPECT_EQ(dialogs->errors.size(), 1);

    // Nothing open before: a failed choice stays selected, closed, silent.
    choose("COM3");
    EXPECT_FALSE(d->ComThread1->ok());
    EXPECT_EQ(d->COM->currentText(), "COM3");
    EXPECT_EQ(dialogs->errors.size(), 1);
}

TEST_F(PortSelection, FailedChoiceWhileTheOldDeviceIsAwayKeepsWaitingForIt) {
    create();
    choose("COM1");
    ASSERT_TRUE(d->ComThread1->ok());
    pty(1).close();
    QFile::remove(dir.file("COM1"));  // a stopped simulator takes its link along
    ASSERT_TRUE(waitFor([&] { return d->ComThread1->Reconnecting(); }));
    TWComThread other;
    other.setPort(3);
    other.OpenPort();
    ASSERT_TRUE(other.ok());

    choose("COM3");
    EXPECT_FALSE(d->ComThread1->ok());  // COM1 is not swapped for /dev/ttyS0
    EXPECT_TRUE(d->ComThread1->Reconnecting());
    EXPECT_EQ(d->ComThread1->Port(), 1);
    EXPECT_EQ(d->COM->currentText(), "COM1");
    EXPECT_EQ(dialogs->errors.size(), 1);

    Pty back;
    ASSERT_TRUE(back.link(dir.file("COM1")));
    ASSERT_TRUE(waitFor([&] { return d->ComThread1->ok(); }));
    EXPECT_EQ(d->ComThread1->SystemLocation(), back.slavePath());
}

TEST_F(PortSelection, SerialKeysRoundTripAndMalformedValuesTakeFallbacks) {
    const struct {
        QByteArray ini;
        int port;
        const char* item;
        int baud, dataBits, stopBits;
        QByteArray saved;
    } cases[] = {
        {"COM 10\r\nBAUD 9600\r\nDATABITS 7\r\nSTOPBITS 2\r\n", 10, "COM10", 9600, 7, 2,
         "COM 10\r\nBAUD 9600\r\nDATABITS 7\r\nSTOPBITS 2\r\n"},
        {"COM x\nBAUD fast\nDATABITS 9\nSTOPBITS 0\n", 1, "none", 2400, 8, 1,
         "COM 0\r\nBAUD 2400\r\nDATABITS 8\r\nSTOPBITS 1\r\n"},
        {"COM 0\r\nBAUD 115200 \r\nDATABITS 7\r\nSTOPBITS $2", 1, "none", 2400, 7, 2,
         "COM 0\r\nBAUD 2400\r\nDATABITS 7\r\nSTOPBITS 2\r\n"},
        {"BAUD 1000\r\n", 1, "none", 0, 8, 1, "COM 0\r\nBAUD 0\r\nDATABITS 8\r\nSTOPBITS 1\r\n"},
        {"", 1, "none", 2400, 8, 1, "COM 0\r\nBAUD 2400\r\nDATABITS 8\r\nSTOPBITS 1\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini.toStdString());
        d.reset();
        create(c.ini);
        EXPECT_EQ(d->ComThread1->Port(), c.port);
        EXPECT_EQ(d->COM->currentText(), c.item);
        EXPECT_EQ(d->ComThread1->Baud(), c.baud);
        EXPECT_EQ(d->ComThread1->DataBitsCount(), c.dataBits);
        EXPECT_EQ(d->ComThread1->StopBits(), c.stopBits == 2 ? comcode::StopTwo : comcode::StopOne);
        const QByteArray saved = savedIni();
        for (const QByteArray& line : c.saved.split('\n')) {
            if (!line.isEmpty()) {
                EXPECT_TRUE(saved.contains(line + '\n')) << line.toStdString();
            }
        }
        d->ComThread1->ClosePort();
    }
}


namespace {
struct ProgramRun {
    TempWorkDir dir;
    QProcess sim, program;

    ProgramRun() {
        const QDir data(QStringLiteral(TD_SOURCE_DIR "/data"));
        for (const QFileInfo& f : data.entryInfoList(QDir::Files))
            QFile::copy(f.absoluteFilePath(), dir.file(f.fileName()));
        dir.write(QStringLiteral("disp.ini"), "COM 1\nBAUD 9600\n");
    }
    ~ProgramRun() {
        program.kill();
        program.waitForFinished();
        sim.terminate();
        sim.waitForFinished();
    }
    // Starts the simulator and waits for its link; returns the device.
    QString startSimulator() {
        sim.start(QStringLiteral(TD_BINARY_DIR "/tools/sim/timedisplay-sim"),
                  {QStringLiteral("--link"), dir.file(QStringLiteral("COM1")), QStringLiteral("--forever")});
        if (!sim.waitForStarted() ||
            !waitFor([&] { return QFileInfo(dir.file(QStringLiteral("COM1"))).exists(); }))
            return {};
        return QFileInfo(dir.file(QStringLiteral("COM1"))).canonicalFilePath();
    }
    bool startProgram() {
        program.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TD_BINARY_DIR "/src/console/timedisplay"), {QStringLiteral("--web-port"), QStringLiteral("0")});
        return program.waitForStarted();
    }
};
} // namespace

// A simulator that stops and comes back (a cable pulled and plugged in):
// the program closes the port, stays idle and reopens it by itself.
TEST(Program, ReopensTheLineWhenTheDeviceComesBack) {
    ProgramRun run;
    const QString first = run.startSimulator();
    ASSERT_FALSE(first.isEmpty());
    ASSERT_TRUE(run.startProgram());
    ASSERT_TRUE(waitFor([&] { return hasOpen(run.program.processId(), first); }, 15000));

    run.sim.terminate();
    ASSERT_TRUE(run.sim.waitForFinished(5000));
    ASSERT_TRUE(waitFor([&] { return !hasOpen(run.program.processId(), first); }, 5000));
    spin(1500);
    EXPECT_EQ(run.program.state(), QProcess::Running);

    const QString second = run.startSimulator();
    ASSERT_FALSE(second.isEmpty());
    EXPECT_TRUE(waitFor([&] { return hasOpen(run.program.processId(), second); }, 5000));
}

// The real program on the simulator's line: a stop by the session or service
// manager saves the settings, closes the port and exits with code 0.
TEST(Program, EndsLikeBeendenOnTermAndInt) {
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        TempWorkDir dir;
        const QDir data(QStringLiteral(TD_SOURCE_DIR "/data"));
        for (const QFileInfo& f : data.entryInfoList(QDir::Files))
            QFile::copy(f.absoluteFilePath(), dir.file(f.fileName()));
        dir.write(QStringLiteral("disp.ini"), "COM 1\nBAUD 9600\n");

        QProcess sim;
        sim.start(QStringLiteral(TD_BINARY_DIR "/tools/sim/timedisplay-sim"),
                  {QStringLiteral("--link"), dir.file(QStringLiteral("COM1")), QStringLiteral("--forever")});
        ASSERT_TRUE(sim.waitForStarted());
        ASSERT_TRUE(waitFor([&] { return QFileInfo(dir.file(QStringLiteral("COM1"))).exists(); }));
        const QString device = QFileInfo(dir.file(QStringLiteral("COM1"))).canonicalFilePath();

        QProcess program;
        program.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TD_BINARY_DIR "/src/console/timedisplay"), {QStringLiteral("--web-port"), QStringLiteral("0")});
        ASSERT_TRUE(program.waitForStarted());
        ASSERT_TRUE(waitFor([&] { return hasOpen(program.processId(), device); }, 15000));
        spin(1000);  // race lines flow

        ASSERT_EQ(::kill(pid_t(program.processId()), sig), 0);
        ASSERT_TRUE(waitFor([&] { return program.state() == QProcess::NotRunning; }, 10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        const QByteArray ini = dir.read(QStringLiteral("disp.ini"));
        EXPECT_TRUE(ini.contains("COM 1\r\n")) << ini.toStdString();
        EXPECT_TRUE(ini.contains("BAUD 9600\r\n")) << ini.toStdString();
        sim.terminate();
        EXPECT_TRUE(sim.waitForFinished(5000));
    }
}
