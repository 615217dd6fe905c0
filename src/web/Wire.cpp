#include "web/Wire.h"

#include <QCryptographicHash>
#include <QList>
#include <algorithm>
#include <cstring>

namespace wire {

namespace {

bool named(QByteArrayView name, const char* wanted) {
    const qsizetype n = qsizetype(std::strlen(wanted));
    return name.size() == n && qstrnicmp(name.data(), wanted, size_t(n)) == 0;
}

QByteArrayView trimmed(QByteArrayView v) {
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t'))
        v = v.sliced(1);
    while (!v.isEmpty() && (v.back() == ' ' || v.back() == '\t'))
        v.chop(1);
    return v;
}

} // namespace

RequestScanner::Result RequestScanner::refuse(int status) {
    status_ = status;
    return Result::Refuse;
}

RequestScanner::Result RequestScanner::feed(QByteArrayView bytes, qsizetype& taken) {
    taken = 0;
    if (status_)
        return Result::Refuse;
    if (state_ == State::Done)
        return Result::Upgrade;
    const char* p = bytes.data();
    const qsizetype n = bytes.size();
    while (taken < n) {
        if (state_ == State::Body) {
            const qint64 k = std::min<qint64>(bodyLeft_, n - taken);
            bodyLeft_ -= k;
            taken += qsizetype(k);
            if (bodyLeft_ == 0)
                state_ = State::Start;
            continue;
        }
        // Blank lines before a request are allowed and cost nothing.
        if (state_ == State::Start && line_.isEmpty() && (p[taken] == '\r' || p[taken] == '\n')) {
            ++taken;
            continue;
        }
        const void* nl = std::memchr(p + taken, '\n', size_t(n - taken));
        const qsizetype end = nl ? static_cast<const char*>(nl) - p : n;
        // The request line is counted without its line end, the head with all of them.
        const qsizetype length = line_.size() + (end - taken);
        const char last = end > taken ? p[end - 1] : line_.isEmpty() ? '\0' : line_.back();
        if (state_ == State::Start && length - (last == '\r' ? 1 : 0) > limits_.requestLine)
            return refuse(414);
        if (headBytes_ + length + (nl ? 1 : 0) > limits_.head)
            return refuse(431);
        line_.append(p + taken, end - taken);
        taken = end;
        if (!nl)
            break;
        ++taken;
        if (const Result r = endOfLine(); r != Result::More)
            return r;
    }
    return Result::More;
}

RequestScanner::Result RequestScanner::endOfLine() {
    QByteArrayView line(line_);
    if (line.endsWith('\r'))
        line.chop(1);
    headBytes_ += line_.size() + 1;
    if (state_ == State::Start) {
        head_ = Head();
        const qsizetype a = line.indexOf(' ');
        const qsizetype b = a < 0 ? -1 : line.indexOf(' ', a + 1);
        if (a > 0 && b > a) {
            head_.method = line.first(a).toByteArray();
            head_.target = line.sliced(a + 1, b - a - 1).toByteArray();
        }
        contentLength_ = -1;
        bad_ = chunked_ = false;
        state_ = State::Headers;
    } else if (line.isEmpty()) {
        line_.clear();
        if (bad_)
            return refuse(400);
        if (chunked_)
            return refuse(411);
        if (contentLength_ > limits_.body)
            return refuse(413);
        if (head_.upgrade == "websocket") {
            state_ = State::Done;
            return Result::Upgrade;
        }
        headBytes_ = 0;
        bodyLeft_ = std::max<qint64>(contentLength_, 0);
        state_ = bodyLeft_ > 0 ? State::Body : State::Start;
        return Result::More;
    } else if (const qsizetype colon = line.indexOf(':'); colon > 0) {
        header(line.first(colon), trimmed(line.sliced(colon + 1)));
    }
    line_.clear();
    return Result::More;
}

void RequestScanner::header(QByteArrayView name, QByteArrayView value) {
    if (named(name, "content-length")) {
        // Digits only, and one length: anything else could be read two ways.
        const bool digits = !value.isEmpty() && value.size() <= 15 &&
                            std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
        const qint64 length = digits ? value.toLongLong() : -1;
        if (!digits || (contentLength_ >= 0 && contentLength_ != length))
            bad_ = true;
        else
            contentLength_ = length;
    } else if (named(name, "transfer-encoding")) {
        chunked_ = true;
    } else if (named(name, "upgrade")) {
        head_.upgrade = value.toByteArray().toLower();
    } else if (named(name, "connection")) {
        for (const QByteArray& token : value.toByteArray().split(','))
            if (token.trimmed().compare("upgrade", Qt::CaseInsensitive) == 0)
                head_.connectionUpgrade = true;
    } else if (named(name, "sec-websocket-key")) {
        head_.key = value.toByteArray();
    } else if (named(name, "sec-websocket-version")) {
        head_.version = value.toByteArray();
    }
}

QByteArray acceptKey(const QByteArray& key) {
    // 16 bytes in base64 are 24 characters, padding included.
    const auto decoded = QByteArray::fromBase64Encoding(key, QByteArray::AbortOnBase64DecodingErrors);
    if (key.size() != 24 || !decoded || decoded.decoded.size() != 16)
        return {};
    return QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11", QCryptographicHash::Sha1)
        .toBase64();
}

FrameReader::Result FrameReader::feed(QByteArrayView& bytes, Frame& frame) {
    if (failed_)
        return Result::Error;
    for (;;) {
        if (payloadLeft_ < 0) {
            while (headerSize_ < headerNeeded_ && !bytes.isEmpty()) {
                header_[headerSize_++] = static_cast<unsigned char>(bytes.front());
                bytes = bytes.sliced(1);
            }
            if (headerSize_ < headerNeeded_)
                return Result::More;
            if (headerNeeded_ == 2) {
                if (!(header_[1] & 0x80))
                    return fail(1002);  // a client must mask
                const int length = header_[1] & 0x7F;
                headerNeeded_ = 2 + (length == 126 ? 2 : length == 127 ? 8 : 0) + 4;
                continue;
            }
            if (headerComplete() == Result::Error)
                return Result::Error;
        } else if (payloadLeft_ > 0) {
            if (bytes.isEmpty())
                return Result::More;
            const qsizetype k = qsizetype(std::min<qint64>(payloadLeft_, bytes.size()));
            if (opcode_ >= Close) {
                const unsigned char* mask = header_ + headerNeeded_ - 4;
                for (qsizetype i = 0; i < k; ++i)
                    control_.append(char(bytes[i] ^ char(mask[(payloadAt_ + i) % 4])));
            }
            payloadAt_ += k;
            payloadLeft_ -= k;
            bytes = bytes.sliced(k);
        }
        if (payloadLeft_ == 0) {
            frame.opcode = opcode_;
            frame.payload = opcode_ >= Close ? control_ : QByteArray();
            headerSize_ = 0;
            headerNeeded_ = 2;
            payloadLeft_ = -1;
            return Result::Frame;
        }
    }
}

FrameReader::Result FrameReader::headerComplete() {
    const unsigned char* h = header_;
    if (h[0] & 0x70)
        return fail(1002);  // no extension was agreed on
    opcode_ = h[0] & 0x0F;
    final_ = h[0] & 0x80;
    qint64 length = h[1] & 0x7F;
    if (length == 126) {
        length = (qint64(h[2]) << 8) | h[3];
    } else if (length == 127) {
        if (h[2] & 0x80)
            return fail(1002);
        length = 0;
        for (int i = 2; i < 10; ++i)
            length = (length << 8) | h[i];
    }
    if (opcode_ >= Close) {
        if (opcode_ > Pong || !final_ || length > 125 || (opcode_ == Close && length == 1))
            return fail(1002);
        control_.clear();
    } else {
        if (opcode_ > Binary || (opcode_ == Continuation) != inMessage_)
            return fail(1002);
        if (opcode_ != Continuation)
            messageSize_ = 0;
        messageSize_ += length;
        if (length > maxFrame_ || messageSize_ > maxFrame_)
            return fail(1009);
        inMessage_ = !final_;
    }
    payloadLeft_ = length;
    payloadAt_ = 0;
    return Result::More;
}

QByteArray serverFrame(int opcode, QByteArrayView payload) {
    QByteArray f;
    const quint64 n = quint64(payload.size());
    f.reserve(payload.size() + 10);
    f.append(char(0x80 | opcode));
    if (n < 126) {
        f.append(char(n));
    } else if (n <= 0xFFFF) {
        f.append(char(126));
        f.append(char(n >> 8));
        f.append(char(n & 0xFF));
    } else {
        f.append(char(127));
        for (int shift = 56; shift >= 0; shift -= 8)
            f.append(char((n >> shift) & 0xFF));
    }
    f.append(payload);
    return f;
}

} // namespace wire
