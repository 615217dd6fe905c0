#include "Pty.h"
#include "TempDir.h"
#include "serial/WComThread.h"

#include <QFile>
#include <gtest/gtest.h>

#include <random>

namespace {

struct Plax {
    char address;
    int startNumber;
    char mode;
    int time;
    int place;
    QByteArray text;
};
struct Korvo {
    char info;
    int startNumber, channel;
    char mode;
    int time;
    QByteArray text;
};

// A component on a pty with only the decoders the test asks for.
class Decoders : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.valid());
        ASSERT_TRUE(pty.link(dir.file("COM1")));
    }
    void open() {
        com.OpenPort();
        ASSERT_TRUE(com.ok()) << com.LastError().toStdString();
    }
    void send(const QByteArray& bytes) {
        ASSERT_TRUE(pty.write(bytes));
        spin(60);
    }
    void listenPlax() {
        com.OnPlaxReceived = [this](TWComThread*, char a, int s, char m, int t, int p, const QByteArray& text) {
            plax.push_back({a, s, m, t, p, text});
        };
    }

    TempWorkDir dir;
    Pty pty;
    TWComThread com;
    std::vector<Plax> plax;
    std::vector<Korvo> korvo;
    std::vector<QByteArray> strings;
};

const QByteArray kBoardLine = "123C    12:34:56.78905";  // 22 bytes

} // namespace

TEST_F(Decoders, BoardLinesInNormalAndAddressedForm) {
    listenPlax();
    open();
    const struct {
        QByteArray line;
        char address;
        int start;
        char mode;
        int time;
        int place;
    } cases[] = {
        {kBoardLine, ' ', 123, 'C', 452967890, 5},
        {"B" + kBoardLine, 'B', 123, 'C', 452967890, 5},
        {"123C    32:34:56.78905", ' ', 123, 'C', 452967890 - 360000000, 5},  // tens of hours out of range
        {"1x3C    12:34:56.789 7", ' ', 103, 'C', 452967890, 7},
        {"123.    12:34:56.789  ", ' ', 123, '.', 452967890, -1},
        {"123C    12:34:56.7891", ' ', 123, 'C', 452967890, 1},  // 22 bytes with CR
        {"123C    12:34:56.789", ' ', 123, 'C', 452967890, -1},   // 21 bytes with CR
        {"A123C    12:34:56.789 9", 'A', 123, 'C', 452967890, 9},  // 24 bytes with CR
        {"L123C    12:34:56.78912", 'L', 123, 'C', 452967890, 12},
        {"A123C    12:34:56.7891", 'A', 123, 'C', 452967890, -1},   // shorter: no place
        {"M123C    12:34:56.78912", ' ', 12, '3', 37850780, 91},  // 'M' is no address: read as normal form
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        plax.clear();
        send(c.line + '\r');
        ASSERT_EQ(plax.size(), 1u);
        EXPECT_EQ(plax[0].address, c.address);
        EXPECT_EQ(plax[0].startNumber, c.start);
        EXPECT_EQ(plax[0].mode, c.mode);
        EXPECT_EQ(plax[0].time, c.time);
        EXPECT_EQ(plax[0].place, c.place);
        EXPECT_EQ(plax[0].text, c.line + '\r');
    }
    EXPECT_TRUE(strings.empty());  // no handler, no string decoding
}

TEST_F(Decoders, BoardLinesOfWrongLengthOrBytesAreDropped) {
    listenPlax();
    open();
    send("123C    12:34:56.7\r");                 // 19 bytes with CR: too short
    send("123C    12:34:56.789 12345\r");         // runs past 24 bytes
    send("123C    12:34:\x01" "56.789 5\r");      // control byte resets
    send("123C    12:34:56.789{5\r");             // byte above 'z' resets
    EXPECT_TRUE(plax.empty());
    send(kBoardLine + '\r');  // the decoder is back in step
    EXPECT_EQ(plax.size(), 1u);
}

// Bytes 0x80..0xFF are no line bytes: a line holding one is dropped by both
// fixed-length decoders, and the next clean line comes through.
TEST_F(Decoders, HighBytesDropTheLineInBothDecoders) {
    listenPlax();
    com.OnKorvoBackupReceived = [this](TWComThread*, char i, int s, int ch, char m, int t, const QByteArray& text) {
        korvo.push_back({i, s, ch, m, t, text});
    };
    open();
    const QByteArray korvoLine = "K0123  1S 01:02:03.4567   ";
    for (int b : {0x80, 0xA0, 0xE4, 0xFF}) {
        SCOPED_TRACE(b);
        plax.clear();
        korvo.clear();
        QByteArray board = kBoardLine;
        board[9] = char(b);  // in place of a digit of the time
        QByteArray backup = korvoLine;
        backup[12] = char(b);
        send(board + '\r');
        send(backup + '\r');
        EXPECT_TRUE(plax.empty());
        EXPECT_TRUE(korvo.empty());
        send(kBoardLine + '\r');
        send(korvoLine + '\r');
        EXPECT_EQ(plax.size(), 1u);
        EXPECT_EQ(korvo.size(), 1u);
    }
}

TEST_F(Decoders, TimerBackupLines) {
    com.OnKorvoBackupReceived = [this](TWComThread*, char i, int s, int ch, char m, int t, const QByteArray& text) {
        korvo.push_back({i, s, ch, m, t, text});
    };
    open();
    const struct {
        QByteArray line;
        int start;
        int time;
    } cases[] = {
        {"K0123  1S 01:02:03.4567   ", 123, 37234567},
        {"K0123  1S 01:02:03.45 7   ", 123, 37234507},      // no thousandths
        {"K0123  1S 01:02:03.456    ", 123, 37234560},      // no ten-thousandths
        {"K 123  1S 01:02:03.4567   ", -16000 + 123, 37234567},  // a blank counts -16
        {"K0123  1S 01:02:03.4567      ", 123, 37234567},   // 30 bytes with CR
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        korvo.clear();
        send(c.line + '\r');
        ASSERT_EQ(korvo.size(), 1u);
        EXPECT_EQ(korvo[0].info, 'K');
        EXPECT_EQ(korvo[0].startNumber, c.start);
        EXPECT_EQ(korvo[0].channel, 1);
        EXPECT_EQ(korvo[0].mode, 'S');
        EXPECT_EQ(korvo[0].time, c.time);
        EXPECT_EQ(korvo[0].text, c.line + '\r');
    }
    korvo.clear();
    send("K0123  1S 01:02:03.4567  \r");         // 26 bytes with CR
    send("K0123  1S 01:02:03.4567       \r");    // 31 bytes with CR
    EXPECT_TRUE(korvo.empty());
    // Bytes that are no digits still give a value, wrapped to 32 bits.
    send("Kzzzz  zSzzz:zz:zz.zzzz   \r");
    ASSERT_EQ(korvo.size(), 1u);
    EXPECT_EQ(korvo[0].startNumber, 74 * 1111);
}

TEST_F(Decoders, StringLines) {
    com.OnStringReceived = [this](TWComThread*, const QByteArray& b) { strings.push_back(b); };
    open();
    send("hello\r");
    send("\r");          // too short: the CR stays for the next line
    send("ab\r");
    send(QByteArray(40, 'x'));  // dropped after its 35th byte
    send("yz\r");
    send("ok\x7f" "after\r");   // a byte above 'z' drops the line so far
    const std::vector<QByteArray> expected = {"hello\r", "\rab\r", "xxxxxyz\r", "after\r"};
    EXPECT_EQ(strings, expected);
}

TEST_F(Decoders, CaptureFileRecordsEveryByteAsItArrived) {
    QFile::remove(dir.file("capture.bin"));
    dir.write("capture.bin", "old|");
    com.setDebugFile(dir.file("capture.bin"));
    EXPECT_EQ(com.DebugFile(), dir.file("capture.bin"));
    open();
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    send(bytes);
    send("\r\nend");
    com.setDebugFile(QString());
    EXPECT_EQ(com.DebugFile(), QString());
    send("not captured");
    EXPECT_EQ(dir.read("capture.bin"), "old|" + bytes + "\r\nend");

    com.setDebugFile(dir.file("no/such/folder/capture.bin"));
    EXPECT_EQ(com.DebugFile(), QString());
}

namespace {
struct Progress {
    int percent;
    qint64 bytes;
    bool operator==(const Progress&) const = default;
};
} // namespace

TEST_F(Decoders, SendFileInChunksWithProgress) {
    QByteArray content;
    for (int i = 0; i < 1000; ++i)
        content.append(char('a' + i % 26));
    dir.write("send.txt", content);
    std::vector<Progress> progress;
    com.OnSendFileComplete = [&](TWComThread*, int p, qint64 b) { progress.push_back({p, b}); };
    open();
    com.SendFile(dir.file("send.txt"));
    EXPECT_TRUE(com.SendFileInProgress());
    QByteArray far;
    ASSERT_TRUE(waitFor([&] {
        far += pty.readAvailable();
        return !com.SendFileInProgress();
    }, 10000));
    far += pty.readAvailable();
    EXPECT_EQ(far, content);
    // 0, then 1..100 for the chunks of 10 bytes, then 100 again at the end.
    std::vector<Progress> expected{{0, 0}};
    for (int i = 1; i <= 100; ++i)
        expected.push_back({i, i * 10});
    expected.push_back({100, 1000});
    EXPECT_EQ(progress, expected);
}

TEST_F(Decoders, SendFileRefusalsAndAbort) {
    QByteArray big(10'000'000, 'q');
    dir.write("big.bin", big);
    dir.write("small.txt", "abc");
    std::vector<Progress> progress;
    com.OnSendFileComplete = [&](TWComThread*, int p, qint64 b) { progress.push_back({p, b}); };

    com.SendFile(dir.file("small.txt"));  // port closed
    EXPECT_EQ(com.LastError(), "Can't perform this operation on a closed port");
    open();
    com.SendFile(dir.file("missing.txt"));
    EXPECT_EQ(com.LastError(), "File does not exist or send file already in progress");
    EXPECT_TRUE(progress.empty());

    com.SendFile(dir.file("big.bin"));
    ASSERT_TRUE(com.SendFileInProgress());
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_EQ(progress[1], (Progress{0, 65534}));  // BufSize is the smaller chunk
    com.SendFile(dir.file("small.txt"));
    EXPECT_EQ(com.LastError(), "File does not exist or send file already in progress");
    EXPECT_TRUE(com.SendFileInProgress());

    com.AbortSendFile();
    EXPECT_FALSE(com.SendFileInProgress());
    EXPECT_EQ(progress.back(), (Progress{100, 10'000'000}));
    pty.readAvailable();

    // A file shorter than 100 bytes still goes out, a byte per step.
    progress.clear();
    com.SendFile(dir.file("small.txt"));
    QByteArray far;
    ASSERT_TRUE(waitFor([&] {
        far += pty.readAvailable();
        return !com.SendFileInProgress();
    }));
    far += pty.readAvailable();
    EXPECT_TRUE(far.endsWith("abc"));
    EXPECT_EQ(progress.back(), (Progress{100, 3}));
}

TEST_F(Decoders, TransmitEmptyAndModemStatusWithoutFileTransfer) {
    int txEmpty = 0, status = 0;
    com.OnTxEmpty = [&](TWComThread* s) {
        EXPECT_EQ(s, &com);
        ++txEmpty;
    };
    com.OnStatusChanged = [&](TWComThread*, bool, bool, bool, bool) { ++status; };
    open();
    ASSERT_TRUE(com.WriteByte('x'));
    ASSERT_TRUE(waitFor([&] { return txEmpty > 0; }));
    spin(50);
    EXPECT_EQ(txEmpty, 1);
    EXPECT_EQ(pty.readAvailable(), "x");
    // A pseudo-terminal has no modem lines: the read fails silently.
    com.WAComOnStatusChanged(&com);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(com.LastError().isEmpty());
    EXPECT_TRUE(com.ok());
}

TEST_F(Decoders, RandomBytesKeepEveryDecoderWithinItsBounds) {
    int plaxLines = 0, korvoLines = 0, stringLines = 0;
    com.OnPlaxReceived = [&](TWComThread*, char, int, char, int, int place, const QByteArray& text) {
        ++plaxLines;
        EXPECT_GE(text.size(), 21);
        EXPECT_LE(text.size(), 24);
        EXPECT_TRUE(text.endsWith('\r'));
        EXPECT_GE(place, -1);
        EXPECT_LE(place, 99);
    };
    com.OnKorvoBackupReceived = [&](TWComThread*, char, int, int, char, int, const QByteArray& text) {
        ++korvoLines;
        EXPECT_GE(text.size(), 27);
        EXPECT_LE(text.size(), 30);
        EXPECT_TRUE(text.endsWith('\r'));
    };
    com.OnStringReceived = [&](TWComThread*, const QByteArray& text) {
        ++stringLines;
        EXPECT_GE(text.size(), 3);
        EXPECT_LE(text.size(), 34);
        EXPECT_TRUE(text.endsWith('\r'));
    };
    open();
    // Mostly printable bytes with frequent CRs, so every decoder completes lines.
    std::mt19937 rng(11);
    QByteArray bytes;
    for (int i = 0; i < 200000; ++i) {
        const unsigned r = rng() % 100;
        bytes.append(r < 4 ? '\r' : r < 6 ? char(rng() & 0xFF) : char(' ' + rng() % 91));
    }
    ASSERT_TRUE(pty.write(bytes));
    spin(300);
    EXPECT_GT(plaxLines, 0);
    EXPECT_GT(korvoLines, 0);
    EXPECT_GT(stringLines, 0);
    EXPECT_TRUE(com.ok());
}
