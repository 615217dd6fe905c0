// What the web board reads from clients, judged byte by byte: request heads
// at their limits, pipelined requests, WebSocket upgrades and client frames,
// each fed whole and one byte at a time.
#include "web/Wire.h"

#include <gtest/gtest.h>

namespace {

using Result = wire::RequestScanner::Result;

struct Outcome {
    Result result = Result::More;
    int status = 0;
    qsizetype taken = 0;  // bytes taken in all
    bool inRequest = false;
    bool operator==(const Outcome&) const = default;
};

// Feeds `bytes` in pieces of `piece` bytes until something is decided.
Outcome scan(const QByteArray& bytes, qsizetype piece) {
    wire::RequestScanner scanner;
    Outcome o;
    for (qsizetype at = 0; at < bytes.size() && o.result == Result::More; at += piece) {
        qsizetype taken = 0;
        o.result = scanner.feed(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)), taken);
        o.taken += taken;
    }
    o.status = scanner.status();
    o.inRequest = scanner.inRequest();
    return o;
}

QByteArray frame(int first, int opcode, const QByteArray& payload, bool masked = true) {
    QByteArray f;
    f.append(char(first | opcode));
    const qsizetype n = payload.size();
    const char maskBit = masked ? char(0x80) : char(0);
    if (n < 126) {
        f.append(char(maskBit | n));
    } else {
        f.append(char(maskBit | 126));
        f.append(char(n >> 8));
        f.append(char(n & 0xFF));
    }
    const char mask[4] = {0x0a, 0x0b, 0x0c, 0x0d};
    if (masked)
        f.append(mask, 4);
    for (qsizetype i = 0; i < n; ++i)
        f.append(masked ? char(payload[i] ^ mask[i % 4]) : payload[i]);
    return f;
}

struct Read {
    std::vector<std::pair<int, QByteArray>> frames;  // opcode, payload
    int error = 0;                                   // close code
};

Read read(const QByteArray& bytes, qsizetype piece) {
    wire::FrameReader reader;
    Read r;
    for (qsizetype at = 0; at < bytes.size() && !r.error; at += piece) {
        QByteArrayView in = QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at));
        wire::FrameReader::Frame f;
        while (!in.isEmpty() && !r.error) {
            switch (reader.feed(in, f)) {
            case wire::FrameReader::Result::Frame:
                r.frames.emplace_back(f.opcode, f.payload);
                break;
            case wire::FrameReader::Result::Error:
                r.error = reader.closeCode();
                break;
            case wire::FrameReader::Result::More:
                break;
            }
        }
    }
    return r;
}

} // namespace

TEST(Wire, RequestsAreRefusedAtTheirLimitsWhicheverWayTheyArrive) {
    const QByteArray get = "GET /state HTTP/1.1\r\nHost: x\r\n\r\n";
    const QByteArray upgrade = "GET /live HTTP/1.1\r\nUpgrade: WebSocket\r\nConnection: keep-alive, Upgrade\r\n"
                               "Sec-WebSocket-Key: k\r\nSec-WebSocket-Version: 13\r\n\r\n";
    auto line = [](qsizetype length) { return "GET /" + QByteArray(length - 14, 'u') + " HTTP/1.1"; };
    auto head = [](qsizetype length) {  // request line, one header, blank line: `length` bytes
        const QByteArray start = "GET / HTTP/1.1\r\nX: ";
        return start + QByteArray(length - start.size() - 4, 'h') + "\r\n\r\n";
    };
    auto post = [](const QByteArray& headers) { return "POST /state HTTP/1.1\r\n" + headers + "\r\n"; };
    struct Case {
        const char* what;
        QByteArray bytes;
        Outcome expected;
    } cases[] = {
        {"a plain request", get, {Result::More, 0, get.size(), false}},
        {"blank lines first", "\r\n\r\n" + get, {Result::More, 0, get.size() + 4, false}},
        {"two with bodies, pipelined", post("Content-Length: 5\r\n") + "hello" + post("Content-Length: 2\r\n") + "ab",
         {Result::More, 0, 2 * post("Content-Length: 5\r\n").size() + 7, false}},
        {"in the middle of a body", post("Content-Length: 5\r\n") + "hel", {Result::More, 0, 0, true}},
        {"in the middle of a head", "GET / HTTP/1.1\r\nHo", {Result::More, 0, 0, true}},
        {"the longest request line", line(4096) + "\r\n\r\n", {Result::More, 0, 4100, false}},
        {"a longer one", line(4097) + "\r\n\r\n", {Result::Refuse, 414, 0, true}},
        {"a long one without end", line(5000), {Result::Refuse, 414, 0, true}},
        {"the largest head", head(16 * 1024), {Result::More, 0, 16 * 1024, false}},
        {"a larger one", head(16 * 1024 + 1), {Result::Refuse, 431, 0, true}},
        {"the largest body", post("Content-Length: 16384\r\n"), {Result::More, 0, 0, true}},
        {"a larger one announced", post("Content-Length: 16385\r\n"), {Result::Refuse, 413, 0, true}},
        {"a body of unknown length", post("Transfer-Encoding: chunked\r\n"), {Result::Refuse, 411, 0, true}},
        {"a length that is no number", post("Content-Length: 5x\r\n"), {Result::Refuse, 400, 0, true}},
        {"two lengths", post("Content-Length: 5\r\nContent-Length: 6\r\n"), {Result::Refuse, 400, 0, true}},
        {"one length twice", post("Content-Length: 0\r\ncontent-length: 0\r\n"), {Result::More, 0, 0, false}},
        {"an upgrade with frames after it", upgrade + "\x81\x80", {Result::Upgrade, 0, upgrade.size(), true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const qsizetype piece : {c.bytes.size(), qsizetype(1), qsizetype(7)}) {
            SCOPED_TRACE(piece);
            Outcome o = scan(c.bytes, piece);
            Outcome expected = c.expected;
            // What is taken before a refusal depends on the pieces; the decision does not.
            if (expected.result != Result::More || expected.taken == 0) {
                o.taken = 0;
                expected.taken = 0;
            }
            EXPECT_EQ(int(o.result), int(expected.result));
            EXPECT_EQ(o.status, expected.status);
            EXPECT_EQ(o.taken, expected.taken);
            EXPECT_EQ(o.inRequest, expected.inRequest);
        }
    }
    // The upgrade's head as the listener needs it.
    wire::RequestScanner s;
    qsizetype taken = 0;
    ASSERT_EQ(int(s.feed(upgrade, taken)), int(Result::Upgrade));
    EXPECT_EQ(s.head().method, "GET");
    EXPECT_EQ(s.head().target, "/live");
    EXPECT_EQ(s.head().upgrade, "websocket");
    EXPECT_TRUE(s.head().connectionUpgrade);
    EXPECT_EQ(s.head().key, "k");
    EXPECT_EQ(s.head().version, "13");
}

TEST(Wire, AcceptKeyAsTheWebSocketProtocolGivesIt) {
    EXPECT_EQ(wire::acceptKey("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
    for (const char* bad : {"", "short", "dGhlIHNhbXBsZSBub25jZQ", "dGhlIHNhbXBsZSBub25jZQ==x", "!!!!"})
        EXPECT_TRUE(wire::acceptKey(bad).isEmpty()) << bad;
}

TEST(Wire, ClientFramesAreReadWhicheverWayTheyArriveAndBadOnesStopTheReader) {
    const int fin = 0x80;
    struct Case {
        const char* what;
        QByteArray bytes;
        std::vector<std::pair<int, QByteArray>> frames;
        int error;
    } cases[] = {
        {"ping, message in two parts, pong, close",
         frame(fin, 9, "ping") + frame(0, 1, "hello ") + frame(fin, 0, "world") + frame(fin, 10, "") +
             frame(fin, 8, "\x03\xe8"),
         {{9, "ping"}, {1, ""}, {0, ""}, {10, ""}, {8, "\x03\xe8"}}, 0},
        {"a ping within a message", frame(0, 2, "a") + frame(fin, 9, "p") + frame(fin, 0, "b"),
         {{2, ""}, {9, "p"}, {0, ""}}, 0},
        {"the longest ping and frame", frame(fin, 9, QByteArray(125, 'p')) + frame(fin, 2, QByteArray(4096, 'd')),
         {{9, QByteArray(125, 'p')}, {2, ""}}, 0},
        {"unmasked", frame(fin, 1, "x", false), {}, 1002},
        {"a reserved bit", frame(fin | 0x40, 1, "x"), {}, 1002},
        {"an unknown opcode", frame(fin, 3, "x"), {}, 1002},
        {"a long ping", frame(fin, 9, QByteArray(126, 'p')), {}, 1002},
        {"a ping in parts", frame(0, 9, "p"), {}, 1002},
        {"a close of one byte", frame(fin, 8, "x"), {}, 1002},
        {"a continuation of nothing", frame(fin, 0, "x"), {}, 1002},
        {"a message within a message", frame(0, 1, "a") + frame(fin, 1, "b"), {{1, ""}}, 1002},
        {"a frame too long", frame(fin, 2, QByteArray(4097, 'd')), {}, 1009},
        {"a message too long", frame(0, 2, QByteArray(4000, 'd')) + frame(fin, 0, QByteArray(97, 'd')), {{2, ""}},
         1009},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const qsizetype piece : {c.bytes.size(), qsizetype(1), qsizetype(3)}) {
            SCOPED_TRACE(piece);
            const Read r = read(c.bytes, piece);
            EXPECT_EQ(r.frames, c.frames);
            EXPECT_EQ(r.error, c.error);
        }
    }
    // The server's own frames: final, unmasked, with the length as the protocol wants it.
    EXPECT_EQ(wire::serverFrame(10, "ab"), QByteArray("\x8a\x02" "ab", 4));
    EXPECT_EQ(wire::serverFrame(1, QByteArray(300, 'x')).left(4), QByteArray("\x81\x7e\x01\x2c", 4));
}
