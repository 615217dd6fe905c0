#include "protocol/Journal.h"

#include "common/SafeFile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace journal {

namespace {
constexpr char kHex[] = "0123456789abcdef";

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendOffset(QByteArray& out, int offset) {
    const int mins = std::abs(offset) / 60;
    out += offset < 0 ? '-' : '+';
    out += char('0' + mins / 60 / 10);
    out += char('0' + mins / 60 % 10);
    out += ':';
    out += char('0' + mins % 60 / 10);
    out += char('0' + mins % 60 % 10);
}

void appendLine(QByteArray& out, const QByteArray& line) {
    out += '\t';
    for (char ch : line) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == '\\') {
            out += "\\\\";
        } else if (b >= 0x20 && b <= 0x7E) {
            out += ch;
        } else {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    out += '\n';
}
} // namespace

QByteArray encode(const QByteArray& line, const QDateTime& at) {
    QByteArray out = at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1();
    appendOffset(out, at.offsetFromUtc());
    appendLine(out, line);
    return out;
}

QByteArray encodeLocal(const QByteArray& line, qint64 msecsSinceEpoch, QDate* day) {
    // Local time and its offset change only at whole minutes (offsets of
    // whole minutes), so one minute's date, hour and minute serve all its
    // lines. Old offsets with seconds go the long way.
    struct Minute {
        qint64 start = -1;  // ms since the epoch, UTC minute; -1: none yet
        bool wholeMinutes = false;
        QDate day;
        QByteArray head;  // "yyyy-MM-ddTHH:mm:"
        QByteArray offset;  // "+hh:mm"
    };
    thread_local Minute m;
    const qint64 start = msecsSinceEpoch - ((msecsSinceEpoch % 60000) + 60000) % 60000;
    if (start != m.start) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(start);
        m.start = start;
        m.wholeMinutes = at.offsetFromUtc() % 60 == 0;
        m.day = at.date();
        m.head = at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:")).toLatin1();
        m.offset.clear();
        appendOffset(m.offset, at.offsetFromUtc());
    }
    if (!m.wholeMinutes) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch);
        if (day)
            *day = at.date();
        return encode(line, at);
    }
    if (day)
        *day = m.day;
    const int ms = int(msecsSinceEpoch - start);
    QByteArray out;
    out.reserve(m.head.size() + 6 + m.offset.size() + 2 + line.size());
    out += m.head;
    out += char('0' + ms / 10000);
    out += char('0' + ms / 1000 % 10);
    out += '.';
    out += char('0' + ms / 100 % 10);
    out += char('0' + ms / 10 % 10);
    out += char('0' + ms % 10);
    out += m.offset;
    appendLine(out, line);
    return out;
}

std::optional<Entry> decode(QByteArrayView text) {
    const qsizetype tab = text.indexOf('\t');
    if (tab < 0)
        return std::nullopt;
    Entry e;
    e.at = QDateTime::fromString(QString::fromLatin1(text.first(tab)), Qt::ISODateWithMs);
    if (!e.at.isValid())
        return std::nullopt;
    for (qsizetype i = tab + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\') {
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
                return std::nullopt;
            e.line += c;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            e.line += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && hexDigit(text[i + 2]) >= 0 &&
                   hexDigit(text[i + 3]) >= 0) {
            e.line += char(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    return e;
}

QString fileName(const QDate& day) {
    return QStringLiteral("journal-%1.txt").arg(day.toString(QStringLiteral("yyyy-MM-dd")));
}

} // namespace journal

LineJournal::LineJournal(const QString& folder, std::function<void(const QString&)> trouble)
    : folder_(folder), trouble_(std::move(trouble)) {
    thread_ = std::thread([this] { run(); });
}

LineJournal::~LineJournal() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    closeFile();
}

void LineJournal::append(const QByteArray& line, qint64 msecsSinceEpoch) {
    // Encoded on the writer thread, which looks for lines ten times a
    // second: the caller only queues, with no wake-up call per line.
    std::lock_guard lock(mutex_);
    queue_.push_back({QDate(), line, 0, msecsSinceEpoch});
    ++appended_;
}

void LineJournal::append(const QByteArray& line, const QDateTime& at) {
    append(line, at.toMSecsSinceEpoch());
}

bool LineJournal::sync(int timeoutMs) {
    std::unique_lock lock(mutex_);
    const qint64 target = appended_;
    syncWanted_ = true;
    wake_.notify_one();
    const bool reached = done_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return finished_ >= target; });
    return reached && lastOk_;
}

void LineJournal::fail(const QString& reason) {
    closeFile();  // the next try opens the file anew
    if (!failing_ && trouble_) {
        failing_ = true;
        trouble_(QStringLiteral("%1: %2").arg(QDir(folder_).absolutePath(), reason));
    }
    failing_ = true;
}

void LineJournal::closeFile() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool LineJournal::writePending() {
    while (!pending_.empty()) {
        Record& r = pending_.front();
        if (fd_ < 0 || fdDay_ != r.day) {
            closeFile();
            const QString path = QDir(folder_).filePath(journal::fileName(r.day));
            fd_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (fd_ < 0) {
                fail(QStringLiteral("%1: %2").arg(journal::fileName(r.day), QString::fromLocal8Bit(std::strerror(errno))));
                return false;
            }
            fdDay_ = r.day;
        }
        const ssize_t n = ::write(fd_, r.bytes.constData() + r.done, size_t(r.bytes.size() - r.done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(QStringLiteral("%1: %2").arg(journal::fileName(r.day), QString::fromLocal8Bit(std::strerror(errno))));
            return false;
        }
        dirty_ = true;
        r.done += n;
        if (r.done == r.bytes.size()) {
            pendingBytes_ -= r.bytes.size();
            pending_.pop_front();
        }
    }
    return true;
}

bool LineJournal::flushFile() {
    if (!dirty_ || fd_ < 0)
        return true;
    if (::fdatasync(fd_) != 0) {
        fail(QStringLiteral("%1: %2").arg(journal::fileName(fdDay_), QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    dirty_ = false;
    return true;
}

void LineJournal::run() {
    using clock = std::chrono::steady_clock;
    // A line is in the file within kPoll and on the disk within
    // kPoll + kFlushEvery (under a second) of its arrival.
    constexpr auto kPoll = std::chrono::milliseconds(100);
    constexpr auto kFlushEvery = std::chrono::milliseconds(800);
    auto lastFlush = clock::now() - std::chrono::seconds(1);
    std::unique_lock lock(mutex_);
    for (;;) {
        // Wake for new lines; while failing, retry each second; while
        // written data waits for its flush, wake when the flush is due.
        if (!stop_ && !syncWanted_)
            wake_.wait_for(lock, failing_ ? std::chrono::milliseconds(1000) : kPoll, [&] { return stop_ || syncWanted_; });
        const bool stopping = stop_;
        const bool syncing = std::exchange(syncWanted_, false);
        const qint64 taken = appended_;
        std::deque<Record> fresh;
        fresh.swap(queue_);
        lock.unlock();

        for (Record& r : fresh) {
            r.bytes = journal::encodeLocal(r.bytes, r.at, &r.day);
            pendingBytes_ += r.bytes.size();
            // lines of one day go out in one write
            Record* last = pending_.empty() ? nullptr : &pending_.back();
            if (last && last->day == r.day && last->done == 0 && last->bytes.size() < 65536)
                last->bytes += r.bytes;
            else
                pending_.push_back(std::move(r));
        }
        // Memory stays bounded while the disk refuses: the oldest lines go.
        while (pendingBytes_ > kMaxPending && pending_.size() > 1) {
            // (a line half written stays, so the file holds no broken line)
            const auto oldest = pending_.front().done > 0 ? pending_.begin() + 1 : pending_.begin();
            pendingBytes_ -= oldest->bytes.size();
            pending_.erase(oldest);
        }
        bool ok = writePending();
        // Each line reaches the disk within a second of its arrival; a
        // burst of lines costs one flush.
        if (ok && dirty_ && (stopping || syncing || clock::now() - lastFlush >= kFlushEvery)) {
            ok = flushFile();
            lastFlush = clock::now();
        }
        if (ok && failing_ && pending_.empty()) {
            failing_ = false;
            if (trouble_)
                trouble_(QString());
        }

        lock.lock();
        if (!ok || (pending_.empty() && !dirty_)) {
            finished_ = taken;  // a waiting sync learns how it went
            lastOk_ = ok;
            done_.notify_all();
        }
        if (stopping && queue_.empty()) {
            lock.unlock();
            if (!pending_.empty())
                rescuePending();
            return;
        }
    }
}

void LineJournal::rescuePending() {
    QByteArray bytes;
    for (const Record& r : pending_) {
        // A record begun in the journal comes whole from the line it broke off in.
        const qsizetype from = r.done > 0 ? r.bytes.lastIndexOf('\n', r.done - 1) + 1 : 0;
        bytes += r.bytes.mid(from);
    }
    const qsizetype lines = bytes.count('\n');
    const QString name = journal::fileName(pending_.front().day) + QStringLiteral(".unsaved-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QStringList tried;
    const QString path = safefile::rescue(folder_, name, bytes, &tried);
    if (!path.isEmpty()) {
        std::fprintf(stderr, "timedisplay: %lld received lines the journal could not take were written to %s\n",
                     static_cast<long long>(lines), qPrintable(path));
    } else {
        // The last place left: whoever keeps the program's output keeps them.
        std::fprintf(stderr, "timedisplay: no place took %lld received lines of the journal:\n  %s\n",
                     static_cast<long long>(lines), qPrintable(tried.join(QStringLiteral("\n  "))));
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    }
    pending_.clear();
    pendingBytes_ = 0;
}
