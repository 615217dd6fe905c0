#pragma once
#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// The journal of received lines: every complete line, with the date and
// time it arrived, appended to "journal-YYYY-MM-DD.txt" in the working
// folder (one file per day). One text line per received line:
//
//   2026-12-10T14:22:33.123+01:00<TAB>line<LF>
//
// The time is local, with its offset from UTC. The line's bytes 0x20 to
// 0x7E stand as they are, a backslash as "\\", every other byte as "\xHH"
// (two hex digits), so every byte of the 8-bit line comes back exactly.
namespace journal {

struct Entry {
    QDateTime at;
    QByteArray line;
};

QByteArray encode(const QByteArray& line, const QDateTime& at);
// The same in local time for an instant in ms since the epoch, as the
// journal's writer and the MQTT line topic take it. The date and minute are
// worked out once a minute (per thread), not for every line; *day gets the
// local date.
QByteArray encodeLocal(const QByteArray& line, qint64 msecsSinceEpoch, QDate* day = nullptr);
// One journal line without its LF; nullopt when it is not one.
std::optional<Entry> decode(QByteArrayView text);
QString fileName(const QDate& day);

} // namespace journal

// Appends lines to the journal on a thread of its own: append() never
// touches the disk, so the board never waits for it. The writer writes what
// arrives within a tenth of a second and flushes it to the disk
// (fdatasync) within a second. When writing fails (disk full, folder gone)
// the lines wait in memory, up to kMaxPending bytes, and the writer tries
// again every second. Lines still waiting when the journal is closed are
// written to "journal-YYYY-MM-DD.txt.unsaved-YYYYMMDD-HHMMSS" in the first
// place that takes them (the folder, home, runtime, temporary folder), or
// else to standard error.
class LineJournal {
public:
    // trouble runs on the writer thread: with the reason when writing
    // starts failing, with an empty text when it works again.
    LineJournal(const QString& folder, std::function<void(const QString& reason)> trouble);
    ~LineJournal();  // writes what is queued, then stops
    LineJournal(const LineJournal&) = delete;
    LineJournal& operator=(const LineJournal&) = delete;

    // Never waits for the disk; the time is that of the line's arrival.
    void append(const QByteArray& line, qint64 msecsSinceEpoch);
    void append(const QByteArray& line, const QDateTime& at);
    // Waits until everything appended so far is written and flushed, or
    // has failed; false when it is not on disk.
    bool sync(int timeoutMs);

    static constexpr qsizetype kMaxPending = 8 * 1024 * 1024;

private:
    struct Record {
        QDate day;
        QByteArray bytes;    // the line, then its journal text
        qsizetype done = 0;  // bytes of it written
        qint64 at = 0;       // arrival, ms since the epoch
    };
    void run();
    bool writePending();        // false on failure
    bool flushFile();           // fdatasync of what was written
    void fail(const QString& reason);
    void closeFile();
    // At the end, lines the journal's disk never took go to a copy elsewhere.
    void rescuePending();

    const QString folder_;
    const std::function<void(const QString&)> trouble_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::deque<Record> queue_;  // under mutex_
    qint64 appended_ = 0;       // records handed over, under mutex_
    qint64 finished_ = 0;       // records written and flushed or failed, under mutex_
    bool lastOk_ = true;        // under mutex_
    bool stop_ = false;         // under mutex_
    bool syncWanted_ = false;   // under mutex_
    // writer thread only
    std::deque<Record> pending_;
    qsizetype pendingBytes_ = 0;
    int fd_ = -1;
    QDate fdDay_;
    bool dirty_ = false;
    bool failing_ = false;
    std::thread thread_;
};
