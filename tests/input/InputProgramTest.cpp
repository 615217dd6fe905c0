// The real program reading a serial device server (socat on loopback): the
// board shows the lines, the time table records the results, and a server
// that drops the connection mid-race or is not there at the start is
// connected to by itself, the results after its return recorded too.
#include "RunningProgram.h"
#include "../web/WebClient.h"
#include "DeviceServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

#include <map>

namespace {

// Board 4 listens to address J: the tests' markers go there, nothing else does.
QByteArray iniFor(const DeviceServer& device) {
    return "COM " + device.url().toUtf8() + "\r\nTextA4Address 10\r\n";
}

class Board {
public:
    explicit Board(Program& p) : p_(p) {}
    bool up() {
        port_ = p_.webPort(20000);
        return port_ != 0;
    }
    QString shown(const QString& name) {
        const QJsonObject state = QJsonDocument::fromJson(httpGet(port_, "/state").body).object();
        for (const QJsonValue& e : state["elements"].toArray())
            if (e.toObject()["name"].toString() == name)
                return e.toObject()["text"].toString();
        return QStringLiteral("<no %1>").arg(name);
    }
    // Sends the lines and a marker for board 4; true once the board shows
    // the marker, every line before it dispatched.
    bool send(DeviceServer& device, const QList<QByteArray>& lines) {
        QByteArray bytes;
        for (const QByteArray& l : lines)
            bytes += l + '\r';
        const QByteArray marker = QByteArray::number(++markers_).rightJustified(6, '0');
        bytes += "J   marker " + marker + "   \r";
        return device.send(bytes) && waitFor([&] { return shown("TextA4").contains(marker); }, 15000);
    }
    // SIGTERM ends it like "Quit": the table saved.
    bool stop() {
        ::kill(pid_t(p_.app.processId()), SIGTERM);
        return p_.app.waitForFinished(20000) && p_.app.exitCode() == 0;
    }

private:
    Program& p_;
    quint16 port_ = 0;
    int markers_ = 0;
};

// Result times of the time table as xlrd reads them: (row, column) -> seconds.
std::map<std::pair<int, int>, double> resultTimes(const QString& file) {
    std::map<std::pair<int, int>, double> out;
    QProcess xlrd;
    xlrd.start("/usr/bin/python3", {TD_SOURCE_DIR "/tests/timetable/interop/xlrd_dump.py", file});
    if (!xlrd.waitForFinished(30000) || xlrd.exitCode() != 0) {
        ADD_FAILURE() << "xlrd: " << xlrd.readAllStandardError().toStdString();
        return out;
    }
    const QList<QByteArray> lines = xlrd.readAllStandardOutput().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QJsonArray a = QJsonDocument::fromJson(lines[i]).array();
        if (a.size() >= 4 && a[0].toInt() >= 10 && a[3].isDouble())
            out[{a[0].toInt(), a[1].toInt()}] = a[3].toDouble() * 86400.0;
    }
    return out;
}

double at(const std::map<std::pair<int, int>, double>& t, int row, int col) {
    const auto it = t.find({row, col});
    return it == t.end() ? -1 : it->second;
}

} // namespace

TEST(InputProgram, ADeviceServerDropsMidRaceAndTheResultsAfterItsReturnAreRecorded) {
    DeviceServer device;
    ASSERT_TRUE(device.start()) << device.log().toStdString();
    Program p({"--web-port", "any"}, iniFor(device));
    Board board(p);
    ASSERT_TRUE(board.up()) << p.errors().toStdString();
    ASSERT_TRUE(device.waitConnected(20000)) << device.log().toStdString() << p.errors().toStdString();

    // The first two runners over the network.
    ASSERT_TRUE(board.send(device, {"  5.    00:00:20.000  ", "  5C    00:00:35.000 1", "  7.    00:00:05.000  "}));
    EXPECT_EQ(board.shown("Nummer"), "7");
    ASSERT_TRUE(board.send(device, {"  7C    00:00:36.250 2"}));
    EXPECT_EQ(board.shown("Nummer"), "7");
    EXPECT_EQ(board.shown("Rang"), " 2");

    // The device server goes away mid-race (power, cable) and comes back.
    device.drop();
    spin(1500);
    ASSERT_TRUE(device.start()) << device.log().toStdString();
    ASSERT_TRUE(device.waitConnected(15000)) << device.log().toStdString();
    ASSERT_TRUE(board.send(device, {"  9.    00:00:30.000  ", "  9C    00:00:34.500 1", " 11C    00:00:40.000 4"}));
    EXPECT_EQ(board.shown("Nummer"), "11");
    EXPECT_EQ(board.shown("Rang"), " 4");
    ASSERT_TRUE(board.stop()) << p.errors().toStdString();

    const auto times = resultTimes(p.dir.filePath("liste.xls"));
    EXPECT_NEAR(at(times, 14, 6), 35.0, 0.0005);   // runner 5, channel C
    EXPECT_NEAR(at(times, 16, 6), 36.25, 0.0005);  // runner 7
    EXPECT_NEAR(at(times, 18, 6), 34.5, 0.0005);   // runner 9, after the return
    EXPECT_NEAR(at(times, 20, 6), 40.0, 0.0005);   // runner 11
    // disp.ini keeps the device server.
    QFile ini(p.dir.filePath("disp.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().contains("\r\nCOM " + device.url().toUtf8() + "\r\nBAUD "));
}

TEST(InputProgram, ADeviceServerNotThereAtTheStartIsConnectedToWhenItAppears) {
    DeviceServer device;  // a free port, nobody listening
    Program p({"--web-port", "any"}, iniFor(device));
    Board board(p);
    ASSERT_TRUE(board.up()) << p.errors().toStdString();
    spin(2500);  // refused a few times, the waits growing
    ASSERT_EQ(p.app.state(), QProcess::Running);
    ASSERT_TRUE(device.start()) << device.log().toStdString();
    ASSERT_TRUE(device.waitConnected(15000)) << device.log().toStdString();
    ASSERT_TRUE(board.send(device, {" 12C    00:01:02.340 1"}));
    EXPECT_EQ(board.shown("Nummer"), "12");
    EXPECT_EQ(board.shown("Rang"), " 1");
    ASSERT_TRUE(board.stop()) << p.errors().toStdString();
    EXPECT_NEAR(at(resultTimes(p.dir.filePath("liste.xls")), 21, 6), 62.34, 0.0005);
}
