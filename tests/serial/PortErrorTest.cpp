#include "Pty.h"
#include "PtyLine.h"
#include "TempDir.h"
#include "serial/PortError.h"
#include "serial/WComThread.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(PortErrorWords, NameThePortTheDeviceAndWhatToDo) {
    const struct {
        int code;
        const char* system;
        PortFault fault;
        const char* words;
    } cases[] = {
        {ENOENT, "No such file or directory", PortFault::Absent, "COM3 (/dev/ttyUSB0): device not found"},
        {ENODEV, "No such device", PortFault::Absent, "device not found"},
        {EBUSY, "Permission error while locking the device", PortFault::InUse,
         "COM3 (/dev/ttyUSB0): in use by another program"},
        {EACCES, "Permission denied", PortFault::NoPermission,
         "COM3 (/dev/ttyUSB0): no permission: add the user to the group dialout"},
        {EPERM, "Operation not permitted", PortFault::NoPermission, "no permission: add the user to the group dialout"},
        {EIO, "Input/output error", PortFault::Other, "COM3 (/dev/ttyUSB0): Input/output error"},
        {EINVAL, "Invalid argument", PortFault::Other,
         "COM3 (/dev/ttyUSB0): the device does not take this setting (Invalid argument)"},
        {0, "Can't perform this operation on a closed port", PortFault::None,
         "COM3 (/dev/ttyUSB0): Can't perform this operation on a closed port"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.system);
        EXPECT_EQ(portFaultOf(c.code), c.fault);
        const QString words = portErrorWords("COM3", "/dev/ttyUSB0", c.code, c.system);
        EXPECT_TRUE(words.contains(QLatin1String(c.words))) << words.toStdString();
        // The system's locking jargon never reaches the operator.
        EXPECT_FALSE(words.contains("locking")) << words.toStdString();
    }
    EXPECT_EQ(portErrorWords("COM3", "", EIO, "x"), "COM3: x");
}

namespace {
// A component on a fresh pty linked as COM1.
struct PtyPort : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(pty.link(dir.file("COM1"))); }
    TempWorkDir dir;
    Pty pty;
};
} // namespace

TEST_F(PtyPort, SecondUserGetsInUseWordsWithTheDevice) {
    TWComThread first, second;
    first.OpenPort();
    ASSERT_TRUE(first.ok());
    second.OpenPort();
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.LastErrorCode(), EBUSY) << second.LastError().toStdString();
    const QString words = second.LastErrorWords();
    EXPECT_TRUE(words.startsWith("COM1 (" + pty.slavePath() + "): in use by another program")) << words.toStdString();
}

TEST_F(PtyPort, MissingDeviceIsAbsent) {
    TWComThread com;
    com.setPort(7);
    ASSERT_TRUE(QFile::link(dir.file("nowhere"), dir.file("COM7")));
    com.OpenPort();
    ASSERT_FALSE(com.ok());
    EXPECT_EQ(portFaultOf(com.LastErrorCode()), PortFault::Absent);
    EXPECT_TRUE(com.LastErrorWords().contains("device not found")) << com.LastErrorWords().toStdString();
}

// A user outside the device's group: the words say how to get access. Runs in
// a child process that gives up root, as CI runs as root.
TEST_F(PtyPort, UserWithoutAccessIsToldToJoinDialout) {
    const QByteArray device = QFile::encodeName(pty.slavePath());
    ASSERT_EQ(::chmod(device.constData(), 0600), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const gid_t nogroup = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nogroup) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        TWComThread com;
        com.SetDeviceName(pty.slavePath());
        com.OpenPort();
        const bool right = !com.ok() && com.LastErrorCode() == EACCES &&
                           com.LastErrorWords().contains("no permission: add the user to the group dialout");
        ::_exit(right ? 0 : 1);
    }
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 200 && done == 0; ++i) {  // 10 s at most: never hang the suite
        done = ::waitpid(child, &status, WNOHANG);
        if (done == 0)
            ::usleep(50000);
    }
    if (done == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "the unprivileged open did not finish";
    }
    ASSERT_EQ(done, child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// What reaches the device: the pty's own line settings, read from the kernel
// after the open and after each change while open.
TEST_F(PtyPort, LineSettingsReachTheDevice) {
    TWComThread com;
    com.setBaud(9600);
    com.setDataBitsCount(7);
    com.SetStopBits(comcode::StopTwo);
    com.SetParity(comcode::ParityNone);
    clearRequested(pty.slavePath());
    com.OpenPort();
    ASSERT_TRUE(com.ok()) << com.LastError().toStdString();
    PtyLine l = readPtyLine(pty.masterFd());
    PtyLine asked = requestedLine(pty.slavePath());
    ASSERT_TRUE(l.ok);
    ASSERT_TRUE(asked.ok);
    EXPECT_EQ(l.speed, 9600);
    EXPECT_EQ(asked.dataBits, 7);
    EXPECT_EQ(l.stopBits, 2);
    EXPECT_EQ(asked.parity, 'N');
    EXPECT_FALSE(l.rtscts);
    EXPECT_EQ(com.LineText(), "9600 7N2");

    // Data bits and parity are checked in the steps that change them (0: not
    // checked), on the request the step made; the rest on the kernel's state.
    const struct {
        const char* why;
        std::function<void()> change;
        int speed, dataBits, stopBits;
        char parity;
        bool rtscts;
    } cases[] = {
        {"rate", [&] { com.setBaud(115200); }, 115200, 0, 2, 0, false},
        {"data bits", [&] { com.setDataBitsCount(8); }, 115200, 8, 2, 0, false},
        {"stop bits", [&] { com.SetStopBits(comcode::StopOne); }, 115200, 0, 1, 0, false},
        {"odd parity", [&] { com.SetParity(comcode::ParityOdd); }, 115200, 0, 1, 'O', false},
        {"even parity", [&] { com.SetParity(comcode::ParityEven); }, 115200, 0, 1, 'E', false},
        {"mark parity", [&] { com.SetParity(comcode::ParityMark); }, 115200, 0, 1, 'M', false},
        {"space parity", [&] { com.SetParity(comcode::ParitySpace); }, 115200, 0, 1, 'S', false},
        {"no parity", [&] { com.SetParity(comcode::ParityNone); }, 115200, 0, 1, 'N', false},
        {"handshake on", [&] { com.setHWHandshake(true); }, 115200, 0, 1, 0, true},
        {"handshake off", [&] { com.setHWHandshake(false); }, 115200, 0, 1, 0, false},
        {"rate outside the classic table", [&] { com.setBaud(14400); }, 14400, 0, 1, 0, false},
        {"rate 1200", [&] { com.setBaud(1200); }, 1200, 0, 1, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        clearRequested(pty.slavePath());
        c.change();
        ASSERT_TRUE(com.ok()) << com.LastError().toStdString();
        l = readPtyLine(pty.masterFd());
        asked = requestedLine(pty.slavePath());
        ASSERT_TRUE(asked.ok);
        EXPECT_EQ(l.speed, c.speed);
        EXPECT_EQ(l.stopBits, c.stopBits);
        EXPECT_EQ(l.rtscts, c.rtscts);
        if (c.dataBits) {
            EXPECT_EQ(asked.dataBits, c.dataBits);
        }
        if (c.parity) {
            EXPECT_EQ(asked.parity, c.parity);
        }
    }
    // A setting the driver refuses (a pseudo-terminal keeps 8 data bits on an
    // open line) is told as such, and the port stays open.
    com.setDataBitsCount(7);
    if (readPtyLine(pty.masterFd()).dataBits != 7) {
        EXPECT_TRUE(com.ok());
        EXPECT_TRUE(com.LastErrorWords().contains("does not take this setting")) << com.LastErrorWords().toStdString();
    }
    com.setDataBitsCount(8);

    // Reopened, the device takes the stored settings again.
    com.ClosePort();
    clearRequested(pty.slavePath());
    com.OpenPort();
    ASSERT_TRUE(com.ok());
    l = readPtyLine(pty.masterFd());
    EXPECT_EQ(l.speed, 1200);
    EXPECT_EQ(requestedLine(pty.slavePath()).dataBits, 8);
    EXPECT_EQ(l.stopBits, 1);
    EXPECT_EQ(com.LineText(), "1200 8N1");
}
