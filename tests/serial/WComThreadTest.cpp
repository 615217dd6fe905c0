#include "Pty.h"
#include "TempDir.h"
#include "serial/WComThread.h"

#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <random>
#include <sys/resource.h>

namespace {

double cpuSeconds() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// A component on a fresh pty linked as COM1 in a temporary working folder.
class SerialLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.valid());
        ASSERT_TRUE(pty.link(dir.file("COM1")));
        com.Beep = [this](unsigned type) { beeps.push_back(type); };
        com.setBaud(2400);
        com.setPort(1);
    }
    void collect() {
        com.OnPacketReceived = [this](TWComThread* sender, const QByteArray& b) {
            EXPECT_EQ(sender, &com);
            packets.push_back(b);
            received += b;
        };
    }
    void open() {
        com.OpenPort();
        ASSERT_TRUE(com.ok()) << com.LastError().toStdString();
    }

    TempWorkDir dir;
    Pty pty;
    TWComThread com;
    std::vector<unsigned> beeps;
    std::vector<QByteArray> packets;
    QByteArray received;
};

} // namespace

TEST(ComNaming, FixedTableAndWorkingDirectoryLink) {
    TempWorkDir dir;
    const struct {
        int n;
        const char* path;
    } table[] = {{1, "/dev/ttyS0"},   {32, "/dev/ttyS31"},  {33, "/dev/ttyUSB0"}, {64, "/dev/ttyUSB31"},
                 {65, "/dev/ttyACM0"}, {96, "/dev/ttyACM31"}, {97, "/dev/ttyAMA0"}, {99, "/dev/ttyAMA2"},
                 {0, ""},              {100, ""},           {-3, ""}};
    for (const auto& row : table) {
        EXPECT_EQ(comDevicePath(row.n), QString::fromLatin1(row.path)) << row.n;
        EXPECT_EQ(comTablePath(row.n), QString::fromLatin1(row.path)) << row.n;
    }
    // A link in the working folder wins, even while it dangles.
    ASSERT_EQ(::symlink("/nonexistent/ttyX", "COM3"), 0);
    EXPECT_EQ(comDevicePath(3), dir.file("COM3"));
    EXPECT_EQ(comDevicePath(4), QStringLiteral("/dev/ttyS3"));
}

TEST(ComNaming, EnumListsExistingLinksOnce) {
    TempWorkDir dir;
    Pty a, b;
    ASSERT_TRUE(a.link(dir.file("COM40")));
    ASSERT_TRUE(b.link(dir.file("COM7")));
    ASSERT_EQ(::symlink("/nonexistent/ttyX", "COM8"), 0);  // dangling: no device
    QStringList list;
    EnumComDevices(list);
    EXPECT_EQ(list.count(QStringLiteral("COM40")), 1);
    EXPECT_EQ(list.count(QStringLiteral("COM7")), 1);
    EXPECT_FALSE(list.contains(QStringLiteral("COM8")));
    for (const QString& name : list)
        EXPECT_TRUE(QFileInfo::exists(comDevicePath(comNumberOfName(name)))) << name.toStdString();
}

TEST(ComProperties, PortBaudBufSizeAndCodes) {
    TWComThread com;
    EXPECT_EQ(com.Port(), 1);
    EXPECT_EQ(com.DeviceName(), QStringLiteral("COM1"));
    com.setPort(9);
    EXPECT_EQ(com.DeviceName(), QStringLiteral("COM9"));
    EXPECT_EQ(com.Port(), 9);
    com.setPort(10);
    EXPECT_EQ(com.DeviceName(), QStringLiteral("\\\\.\\COM10"));
    EXPECT_EQ(com.Port(), 10);
    com.setPort(99);
    EXPECT_EQ(com.Port(), 99);

    EXPECT_EQ(com.Baud(), 0);  // the port's own rate until set
    for (int rate : {50, 2400, 9600, 15625, 115200, 256000}) {
        com.setBaud(rate);
        EXPECT_EQ(com.Baud(), rate);
    }
    com.setBaud(1000);
    EXPECT_EQ(com.Baud(), 0);
    EXPECT_EQ(com.BaudRate(), 0);

    EXPECT_EQ(com.BufSize(), 65534);
    com.setBufSize(4096);
    EXPECT_EQ(com.BufSize(), 4096);
    EXPECT_EQ(com.Input(), 4096);
    EXPECT_EQ(com.Output(), 4096);

    const int codes[][2] = {{4, 1}, {5, 2}, {6, 3}, {7, 4}, {8, 5}, {9, 0}, {0, 0}, {-1, 0}};
    for (const auto& c : codes)
        EXPECT_EQ(TWComThread::DataBitsCode(c[0]), c[1]) << c[0];
    EXPECT_EQ(com.DataBits(), 5);
    EXPECT_EQ(com.Parity(), comcode::ParityNone);
    EXPECT_EQ(com.StopBits(), comcode::StopOne);
    EXPECT_EQ(com.Timeout(), 100);
    EXPECT_EQ(com.PacketSize(), 1);
    com.setPacketSize(-2);
    EXPECT_EQ(com.PacketSize(), 1);

    com.SetOptions(TCustomComPort::DsrFlow | TCustomComPort::ParityCheck);
    com.SetCTSFlow();
    EXPECT_EQ(com.Options(), uint32_t(TCustomComPort::CtsFlow));
    com.NoCTSFlow();
    EXPECT_EQ(com.Options(), 0u);
    EXPECT_FALSE(com.PollTimer()->isActive());
    EXPECT_EQ(com.PollTimer()->interval(), 10);
}

TEST(ComErrors, FailuresAreSilentAndKeepTheSystemText) {
    TempWorkDir dir;
    dir.write(QStringLiteral("COM6"), "not a tty");
    ASSERT_EQ(::symlink("/nonexistent/ttyX", "COM5"), 0);
    const struct {
        int port;
        const char* why;
    } cases[] = {{5, "missing"}, {6, "not a tty"}};
    for (const auto& c : cases) {
        TWComThread com;
        com.setPort(c.port);
        com.OpenPort();
        EXPECT_FALSE(com.ok()) << c.why;
        EXPECT_FALSE(com.PollTimer()->isActive()) << c.why;
        EXPECT_FALSE(com.LastError().isEmpty()) << c.why;
    }
    TWComThread com;
    com.setPort(5);
    com.OpenPort();
    EXPECT_EQ(com.LastError(), QStringLiteral("No such file or directory"));

    TWComThread closed;
    closed.setHWHandshake(true);
    EXPECT_EQ(closed.LastError(), QStringLiteral("Can't perform this operation on a closed port"));
    EXPECT_FALSE(closed.HWHandshake());
    TCustomComPort::ModemStatus st;
    EXPECT_FALSE(closed.GetModemStatus(st));
}

TEST_F(SerialLine, OpensAPseudoTerminalDespiteRefusedModemControl) {
    open();
    EXPECT_TRUE(com.PollTimer()->isActive());
    EXPECT_EQ(com.SystemLocation(), pty.slavePath());
    // Changing the device of an open port is refused and changes nothing.
    com.setPort(4);
    EXPECT_EQ(com.Port(), 1);
    EXPECT_EQ(com.LastError(), QStringLiteral("Can't perform this operation on an open port"));
    // Hardware handshake on a device without modem lines: the refused RTS
    // call does not fail it, and the options follow the switch.
    com.setHWHandshake(true);
    EXPECT_TRUE(com.HWHandshake());
    EXPECT_EQ(com.Options(), uint32_t(TCustomComPort::CtsFlow));
    EXPECT_EQ(com.RTSControl(), comcode::RtsHandshake);
    com.setHWHandshake(false);
    EXPECT_FALSE(com.HWHandshake());
    EXPECT_EQ(com.Options(), 0u);
    EXPECT_EQ(com.RTSControl(), comcode::RtsOff);
    EXPECT_TRUE(com.ok());
    com.ClosePort();
    EXPECT_FALSE(com.ok());
    EXPECT_FALSE(com.PollTimer()->isActive());
}

TEST_F(SerialLine, SecondUserOfTheSameDeviceIsRefused) {
    open();
    ASSERT_TRUE(pty.link(dir.file("COM2")));  // another name of the same device
    TWComThread other;
    other.setPort(2);
    other.OpenPort();
    EXPECT_FALSE(other.ok());
    EXPECT_FALSE(other.LastError().isEmpty());
    EXPECT_TRUE(com.ok());
}

TEST_F(SerialLine, BytesArriveInOrderForEveryPacketSize) {
    QByteArray data;
    for (int i = 0; i < 2000; ++i)
        data.append(char(i * 7 + i / 256));
    for (int size : {0, 1, 3}) {
        SCOPED_TRACE(size);
        packets.clear();
        received.clear();
        com.setPacketSize(size);
        collect();
        open();
        ASSERT_TRUE(pty.write(data));
        // With packets of 3, the last 2000 % 3 bytes wait for more.
        const qsizetype expected = size == 3 ? data.size() - data.size() % 3 : data.size();
        ASSERT_TRUE(waitFor([&] { return received.size() >= expected; }));
        EXPECT_EQ(received, data.left(expected));
        for (const QByteArray& p : packets) {
            if (size == 0)
                EXPECT_FALSE(p.isEmpty());
            else
                EXPECT_EQ(p.size(), size);
        }
        EXPECT_EQ(com.PacketBuffer(), data.mid(expected));
        com.ClosePort();
        // Left-over bytes wait in PacketBuffer across closing.
        EXPECT_EQ(com.PacketBuffer(), data.mid(expected));
        com.setPacketSize(1);
        com.WComPortRxChar(&com);  // flushes what waits, reads nothing
        EXPECT_TRUE(com.PacketBuffer().isEmpty());
        EXPECT_TRUE(beeps.empty());
    }
}

TEST_F(SerialLine, PacketsOfThreeWaitForTheirLastByte) {
    com.setPacketSize(3);
    collect();
    open();
    ASSERT_TRUE(pty.write("ab"));
    ASSERT_TRUE(waitFor([&] { return com.PacketBuffer() == "ab"; }));
    EXPECT_TRUE(packets.empty());
    ASSERT_TRUE(pty.write("cde"));
    ASSERT_TRUE(waitFor([&] { return !packets.empty(); }));
    spin(50);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], "abc");
    EXPECT_EQ(com.PacketBuffer(), "de");
}

TEST_F(SerialLine, WithoutHandlerNothingIsBuffered) {
    open();
    ASSERT_TRUE(pty.write("early"));
    spin(100);
    EXPECT_TRUE(com.PacketBuffer().isEmpty());
    collect();
    ASSERT_TRUE(pty.write("late"));
    ASSERT_TRUE(waitFor([&] { return received.size() >= 4; }));
    spin(30);
    EXPECT_EQ(received, "late");
}

TEST_F(SerialLine, NestedCycleBeepsOnceAndDeliversEachByteOnce) {
    open();
    bool nested = false;
    int ticksWhileBusy = 0;
    com.OnPacketReceived = [&](TWComThread*, const QByteArray& b) {
        received += b;
        if (!nested && b == "a") {
            nested = true;
            // A modal prompt runs the event loop inside the handler: a timer
            // tick does nothing, a receive event runs a nested cycle.
            ASSERT_TRUE(pty.write("XY"));
            spin(50);
            com.PollTimerTick();
            ++ticksWhileBusy;
            com.WComPortRxChar(&com);
        }
    };
    ASSERT_TRUE(pty.write("abc"));
    ASSERT_TRUE(waitFor([&] { return received.size() >= 5; }));
    spin(50);
    EXPECT_EQ(ticksWhileBusy, 1);
    EXPECT_EQ(received, "abcXY");
    EXPECT_FALSE(com.Busy());
    EXPECT_EQ(std::count(beeps.begin(), beeps.end(), TWComThread::kBeepAsterisk), 1);
    EXPECT_EQ(std::count(beeps.begin(), beeps.end(), TWComThread::kBeepDefault), 0);
}

TEST_F(SerialLine, ClosedPortReadsNothing) {
    collect();
    open();
    ASSERT_TRUE(pty.write("xyz"));
    com.ClosePort();
    com.WComPortRxChar(&com);
    EXPECT_TRUE(received.isEmpty());
    EXPECT_TRUE(beeps.empty());
}

TEST_F(SerialLine, BurstAt115200ArrivesCompleteAndInOrder) {
    com.setBaud(115200);
    collect();
    open();
    QByteArray data(100000, '\0');
    std::mt19937 rng(7);
    for (char& c : data)
        c = char(rng() & 0xFF);
    ASSERT_TRUE(pty.write(data));
    ASSERT_TRUE(waitFor([&] { return received.size() >= data.size(); }, 20000));
    spin(30);
    EXPECT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data);
    EXPECT_TRUE(beeps.empty());
}

TEST_F(SerialLine, VanishedDeviceClosesStaysIdleAndComesBack) {
    collect();
    open();
    ASSERT_TRUE(pty.write("one"));
    ASSERT_TRUE(waitFor([&] { return received == "one"; }));

    pty.close();
    ASSERT_TRUE(waitFor([&] { return !com.ok(); }, 3000));
    EXPECT_TRUE(com.Reconnecting());
    EXPECT_FALSE(com.PollTimer()->isActive());
    EXPECT_EQ(com.LastError(), QStringLiteral("Input/output error"));

    // No spinning while the device is away (generous bound: 20% of a core).
    const double before = cpuSeconds();
    spin(3000);
    EXPECT_LT(cpuSeconds() - before, 0.6);
    EXPECT_EQ(std::count(beeps.begin(), beeps.end(), TWComThread::kBeepDefault), 1);

    // A new terminal most likely takes the freed /dev/pts number that the old
    // link still names: that is not the device coming back.
    Pty back;
    spin(1500);
    EXPECT_FALSE(com.ok()) << back.slavePath().toStdString();
    EXPECT_TRUE(com.Reconnecting());
    // The far end returns under the same name: its link is made anew.
    ASSERT_TRUE(back.link(dir.file("COM1")));
    ASSERT_TRUE(waitFor([&] { return com.ok(); }, 3000));
    EXPECT_FALSE(com.Reconnecting());
    EXPECT_TRUE(com.PollTimer()->isActive());
    ASSERT_TRUE(back.write("two"));
    ASSERT_TRUE(waitFor([&] { return received == "onetwo"; }));
}

TEST_F(SerialLine, RemovedLinkCountsAsVanishedAndClosePortStopsTheSearch) {
    collect();
    open();
    QFile::remove(dir.file("COM1"));
    ASSERT_TRUE(waitFor([&] { return !com.ok(); }, 3000));
    EXPECT_TRUE(com.Reconnecting());
    // While the link is away the port waits for it: it does not fall back to
    // the fixed table (/dev/ttyS0 for COM1).
    spin(1500);
    EXPECT_FALSE(com.ok()) << com.SystemLocation().toStdString();
    EXPECT_TRUE(com.Reconnecting());
    ASSERT_TRUE(pty.link(dir.file("COM1")));
    ASSERT_TRUE(waitFor([&] { return com.ok(); }, 3000));
    ASSERT_TRUE(pty.write("again"));
    ASSERT_TRUE(waitFor([&] { return received == "again"; }));

    // The operator closing the port ends any search for the device.
    QFile::remove(dir.file("COM1"));
    ASSERT_TRUE(waitFor([&] { return com.Reconnecting(); }, 3000));
    com.ClosePort();
    EXPECT_FALSE(com.Reconnecting());
    ASSERT_TRUE(pty.link(dir.file("COM1")));
    spin(1500);
    EXPECT_FALSE(com.ok());
}
