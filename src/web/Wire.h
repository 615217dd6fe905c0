#pragma once
// What the web board reads from a client, judged byte by byte before anything
// else reads it: HTTP request heads (sizes, bodies, WebSocket upgrades) and
// the frames a WebSocket client sends. Pure: no sockets, no Qt event loop.
#include <QByteArray>
#include <QByteArrayView>

namespace wire {

// Sizes a request may have; what is larger is refused at once.
struct Limits {
    qsizetype requestLine = 4096;   // method, URL and version
    qsizetype head = 16 * 1024;     // request line and headers
    qsizetype body = 16 * 1024;     // as announced by Content-Length
};

// The parts of a request head the guard acts on.
struct Head {
    QByteArray method, target;
    QByteArray upgrade;      // the Upgrade header, lower case
    bool connectionUpgrade = false;  // "upgrade" among the Connection tokens
    QByteArray key;          // Sec-WebSocket-Key
    QByteArray version;      // Sec-WebSocket-Version
};

// Follows the requests on one connection (pipelined ones included) and says
// when one breaks a limit. It keeps one line at most, never a whole request.
class RequestScanner {
public:
    enum class Result {
        More,     // everything taken, nothing decided
        Upgrade,  // a head asking for a WebSocket ended; head() has it
        Refuse,   // refused with status(); read nothing more
    };
    explicit RequestScanner(Limits limits = {}) : limits_(limits) {}

    // Takes bytes up to the point something was decided (`taken` of them).
    Result feed(QByteArrayView bytes, qsizetype& taken);
    int status() const { return status_; }
    const Head& head() const { return head_; }
    // Some bytes of a request that is not complete yet have come.
    bool inRequest() const { return status_ != 0 || state_ != State::Start || !line_.isEmpty(); }

private:
    enum class State { Start, Headers, Body, Done };
    Result refuse(int status);
    Result endOfLine();
    void header(QByteArrayView name, QByteArrayView value);

    Limits limits_;
    State state_ = State::Start;
    QByteArray line_;        // the line being read, without its end
    qsizetype headBytes_ = 0;
    qint64 bodyLeft_ = 0;
    qint64 contentLength_ = -1;
    bool bad_ = false;       // a header the server must not guess at
    bool chunked_ = false;   // Transfer-Encoding: the length is not known up front
    int status_ = 0;
    Head head_;
};

// The server's answer key for a client's Sec-WebSocket-Key; empty when the
// key is no base64 of 16 bytes.
QByteArray acceptKey(const QByteArray& key);

// Reads the frames a WebSocket client sends. Client frames must be masked;
// control frames are short and whole; a data frame may be at most
// `maxFrame` bytes. Data payloads are skipped, never kept.
class FrameReader {
public:
    enum Opcode { Continuation = 0, Text = 1, Binary = 2, Close = 8, Ping = 9, Pong = 10 };
    struct Frame {
        int opcode = 0;
        QByteArray payload;  // control frames only, unmasked
    };
    enum class Result { More, Frame, Error };
    explicit FrameReader(qint64 maxFrame = 4096) : maxFrame_(maxFrame) {}

    // Consumes from the front of `bytes` up to the end of one frame.
    Result feed(QByteArrayView& bytes, Frame& frame);
    // Why the last Error: a close code (1002 protocol error, 1009 too big).
    int closeCode() const { return closeCode_; }

private:
    Result fail(int code) {
        closeCode_ = code;
        failed_ = true;
        return Result::Error;
    }
    Result headerComplete();

    qint64 maxFrame_;
    unsigned char header_[14] = {};
    int headerSize_ = 0;      // bytes of header_ filled
    int headerNeeded_ = 2;
    qint64 payloadLeft_ = -1; // -1: reading a header
    qint64 payloadAt_ = 0;
    int opcode_ = 0;
    bool final_ = false;
    bool inMessage_ = false;  // a fragmented data message is open
    qint64 messageSize_ = 0;
    QByteArray control_;
    int closeCode_ = 0;
    bool failed_ = false;
};

// A frame as the server sends it: final, unmasked.
QByteArray serverFrame(int opcode, QByteArrayView payload);

} // namespace wire
