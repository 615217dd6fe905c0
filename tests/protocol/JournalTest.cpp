#include "protocol/Journal.h"

#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <ctime>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>
#include <thread>
#include <vector>

namespace {

QByteArray everyByte() {
    QByteArray b;
    for (int i = 0; i < 256; ++i)
        b += char(i);
    return b;
}

QDateTime at(int y, int mo, int d, int h, int mi, int s, int ms, int offsetSeconds) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone(offsetSeconds));
}

} // namespace

TEST(Journal, EncodesTimeAndEveryByteReadably) {
    const struct {
        QByteArray line;
        QDateTime when;
        const char* text;
    } cases[] = {
        {"123C        1:02.345 1", at(2026, 12, 10, 14, 22, 33, 7, 3600),
         "2026-12-10T14:22:33.007+01:00\t123C        1:02.345 1\n"},
        {QByteArray("a\\b\tc\rd\0e\x80\xff", 11), at(2026, 1, 2, 3, 4, 5, 600, -(5 * 3600 + 30 * 60)),
         "2026-01-02T03:04:05.600-05:30\ta\\\\b\\x09c\\x0dd\\x00e\\x80\\xff\n"},
        {"\\x41", at(2026, 7, 1, 0, 0, 0, 0, 0), "2026-07-01T00:00:00.000+00:00\t\\\\x41\n"},
    };
    for (const auto& c : cases) {
        const QByteArray text = journal::encode(c.line, c.when);
        EXPECT_EQ(text, QByteArray(c.text));
        const auto back = journal::decode(QByteArrayView(text).chopped(1));
        ASSERT_TRUE(back.has_value()) << text.toStdString();
        EXPECT_EQ(back->line, c.line);
        EXPECT_EQ(back->at.toMSecsSinceEpoch(), c.when.toMSecsSinceEpoch());
    }
    // every byte value comes back
    const QDateTime now = QDateTime::currentDateTime();
    const auto all = journal::decode(QByteArrayView(journal::encode(everyByte(), now)).chopped(1));
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ(all->line, everyByte());
    EXPECT_EQ(all->at.toMSecsSinceEpoch(), now.toMSecsSinceEpoch());
    EXPECT_EQ(journal::fileName(QDate(2026, 3, 9)), "journal-2026-03-09.txt");
}

// The writer's stamps are made once a minute: they must read as the
// calendar's local time line by line, across minutes, midnight, clock
// changes, offsets of half and three quarters of an hour, and an old offset
// with seconds.
TEST(Journal, LocalStampsAgreeWithTheCalendarAcrossMinutesDaysAndClockChanges) {
    const QByteArray oldTz = qgetenv("TZ");
    const struct {
        const char* zone;
        QDateTime around;  // UTC
    } cases[] = {
        {"Europe/Berlin", QDateTime(QDate(2026, 3, 29), QTime(1, 0), QTimeZone::utc())},
        {"Europe/Berlin", QDateTime(QDate(2026, 10, 25), QTime(1, 0), QTimeZone::utc())},
        {"America/St_Johns", QDateTime(QDate(2026, 3, 8), QTime(5, 30), QTimeZone::utc())},
        {"Asia/Kathmandu", QDateTime(QDate(2026, 12, 31), QTime(18, 15), QTimeZone::utc())},
        {"Africa/Monrovia", QDateTime(QDate(1971, 6, 1), QTime(0, 44, 30), QTimeZone::utc())},
        {"UTC", QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999), QTimeZone::utc())},
    };
    for (const auto& c : cases) {
        qputenv("TZ", c.zone);
        tzset();
        const qint64 t = c.around.toMSecsSinceEpoch();
        std::vector<qint64> instants = {t - 60001, t - 60000, t - 1, t, t + 1, t + 59999, t + 60000};
        for (qint64 ms = t - 150000; ms < t + 150000; ms += 7919)
            instants.push_back(ms);
        for (qint64 ms : instants) {
            QDate day;
            const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
            EXPECT_EQ(journal::encodeLocal("012.", ms, &day), journal::encode("012.", local)) << c.zone << " " << ms;
            EXPECT_EQ(day, local.date()) << c.zone << " " << ms;
        }
    }
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
}

TEST(Journal, DecodeRefusesWhatIsNotAJournalLine) {
    for (const char* bad : {"", "123C        1:02.345 1", "yesterday\tline", "2026-12-10T14:22:33.007+01:00\ta\\q",
                            "2026-12-10T14:22:33.007+01:00\ta\\x4", "2026-12-10T14:22:33.007+01:00\ta\x01"})
        EXPECT_FALSE(journal::decode(QByteArray(bad)).has_value()) << bad;
}

namespace {

struct Trouble {
    std::mutex m;
    QStringList reports;  // "" for recovered
    void operator()(const QString& why) {
        std::lock_guard l(m);
        reports << why;
    }
    QStringList get() {
        std::lock_guard l(m);
        return reports;
    }
};

std::vector<journal::Entry> readJournal(const QString& path) {
    QFile f(path);
    std::vector<journal::Entry> out;
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& l : f.readAll().split('\n')) {
        if (l.isEmpty())
            continue;
        const auto e = journal::decode(l);
        EXPECT_TRUE(e.has_value()) << l.toStdString();
        if (e)
            out.push_back(*e);
    }
    return out;
}

bool waitUntil(const std::function<bool()>& done, int ms) {
    for (int i = 0; i < ms / 10; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

} // namespace

TEST(Journal, WritesEachDayToItsFileInArrivalOrder) {
    TempWorkDir dir;
    Trouble trouble;
    // the file of a line is that of its local date
    const QDateTime day1(QDate(2026, 12, 10), QTime(23, 59, 59, 900));
    const QDateTime day2(QDate(2026, 12, 11), QTime(0, 0, 0, 100));
    {
        LineJournal j(dir.path(), std::ref(trouble));
        j.append("  1C        0:59.100 1", day1);
        j.append(everyByte(), day1.addMSecs(50));
        j.append("  2C        1:00.000 2", day2);
        ASSERT_TRUE(j.sync(5000));
        // written without waiting for the end, before the journal closes
        const auto first = readJournal(dir.file("journal-2026-12-10.txt"));
        ASSERT_EQ(first.size(), 2u);
        EXPECT_EQ(first[0].line, "  1C        0:59.100 1");
        EXPECT_EQ(first[0].at.toMSecsSinceEpoch(), day1.toMSecsSinceEpoch());
        EXPECT_EQ(first[1].line, everyByte());
        j.append("  3C        1:01.000 3", day2.addSecs(1));
    }  // closing writes what is queued
    const auto second = readJournal(dir.file("journal-2026-12-11.txt"));
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0].line, "  2C        1:00.000 2");
    EXPECT_EQ(second[1].line, "  3C        1:01.000 3");
    EXPECT_TRUE(trouble.get().isEmpty());
    // a second run appends, it never truncates
    {
        LineJournal j(dir.path(), std::ref(trouble));
        j.append("  4C        1:02.000 4", day2.addSecs(2));
    }
    EXPECT_EQ(readJournal(dir.file("journal-2026-12-11.txt")).size(), 3u);
}

TEST(Journal, LinesAreWrittenWithinASecondWithoutBeingAsked) {
    TempWorkDir dir;
    Trouble trouble;
    LineJournal j(dir.path(), std::ref(trouble));
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < 5; ++i)
        j.append(QByteArray("  7C        0:0") + char('0' + i) + ".000 1", now.addMSecs(i));
    const QString file = dir.file(journal::fileName(now.date()));
    EXPECT_TRUE(waitUntil([&] { return readJournal(file).size() == 5; }, 1500));
}

// A disk that fills up: a small tmpfs this test mounts and removes.
class FullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=64k"), 0)
            << "mounting a tmpfs needs root, as CI runs";
        mounted = true;
    }
    void TearDown() override {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
    // Fills the disk with a file; returns its path.
    QString fill() {
        const QString path = dir.path() + "/filler";
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (f.write(block) == block.size() && f.flush()) {
        }
        f.close();
        return path;
    }
    TempWorkDir dir;
    bool mounted = false;
};

TEST_F(FullDisk, AFullDiskIsReportedOnceAndTheLinesFollowWhenThereIsRoomAgain) {
    Trouble trouble;
    LineJournal j(dir.path(), std::ref(trouble));
    const QDateTime now = QDateTime::currentDateTime();
    const QString file = dir.path() + "/" + journal::fileName(now.date());
    j.append("  1C        0:10.000 1", now);
    ASSERT_TRUE(j.sync(5000));
    const QString filler = fill();
    std::vector<QByteArray> sent = {"  1C        0:10.000 1"};
    for (int i = 0; i < 200; ++i) {
        sent.push_back(QByteArray("  2C        0:") + QByteArray::number(10 + i % 50) + ".000 2");
        j.append(sent.back(), now.addMSecs(i));
    }
    EXPECT_FALSE(j.sync(5000));
    ASSERT_TRUE(waitUntil([&] { return !trouble.get().isEmpty(); }, 3000));
    // once, however many lines failed
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const QStringList reports = trouble.get();
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].contains("No space left on device")) << reports[0].toStdString();
    EXPECT_TRUE(reports[0].contains(journal::fileName(now.date())));
    // room again: every line is there, in order, with no help
    ASSERT_TRUE(QFile::remove(filler));
    ASSERT_TRUE(waitUntil([&] { return trouble.get().size() == 2; }, 3000));
    EXPECT_EQ(trouble.get()[1], "");
    EXPECT_TRUE(j.sync(5000));
    const auto lines = readJournal(file);
    ASSERT_EQ(lines.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(lines[i].line, sent[i]) << i;
}

// Closed while the disk still refuses: the waiting lines go to the first
// other place that takes them, or to standard error when none does.
TEST_F(FullDisk, LinesTheDiskNeverTookAreKeptElsewhereAtTheEnd) {
    TempWorkDir home;
    struct KeepEnvironment {
        const QByteArray vars[3] = {qgetenv("HOME"), qgetenv("XDG_RUNTIME_DIR"), qgetenv("TMPDIR")};
        ~KeepEnvironment() {
            const char* names[3] = {"HOME", "XDG_RUNTIME_DIR", "TMPDIR"};
            for (int i = 0; i < 3; ++i)
                vars[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], vars[i]);
        }
    } keep;
    const struct {
        const char* name;
        bool homeTakesThem;
    } cases[] = {{"home takes them", true}, {"no place takes them", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString elsewhere = c.homeTakesThem ? home.path() : dir.path();
        qputenv("HOME", QFile::encodeName(elsewhere));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(elsewhere));
        qputenv("TMPDIR", QFile::encodeName(elsewhere));
        // What the program says on standard error, caught in a file.
        const QString errFile = home.path() + "/stderr.txt";
        std::fflush(stderr);
        const int savedErr = ::dup(2);
        const int errFd = ::open(QFile::encodeName(errFile).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(errFd, 0);
        ::dup2(errFd, 2);
        ::close(errFd);

        const QDateTime now = QDateTime::currentDateTime();
        std::vector<QByteArray> waiting;
        QString filler;
        {
            Trouble trouble;
            LineJournal j(dir.path(), std::ref(trouble));
            j.append("  1C        0:10.000 1", now);  // this one reaches the journal
            ASSERT_TRUE(j.sync(5000));
            filler = fill();
            for (int i = 0; i < 300; ++i) {
                waiting.push_back(QByteArray("  2C        0:") + QByteArray::number(10 + i % 50) + ".000 " +
                                  QByteArray::number(i));
                j.append(waiting.back(), now.addMSecs(i));
            }
            EXPECT_FALSE(j.sync(3000));
        }  // closed with the disk still full
        std::fflush(stderr);
        ::dup2(savedErr, 2);
        ::close(savedErr);
        QFile errors(errFile);
        ASSERT_TRUE(errors.open(QIODevice::ReadOnly));
        const QByteArray said = errors.readAll();

        std::vector<journal::Entry> kept;
        if (c.homeTakesThem) {
            const QStringList copies =
                QDir(home.path()).entryList({journal::fileName(now.date()) + ".unsaved-*"}, QDir::Files);
            ASSERT_EQ(copies.size(), 1);
            EXPECT_TRUE(said.contains(QFile::encodeName(home.path() + "/" + copies[0]))) << said.toStdString();
            kept = readJournal(home.path() + "/" + copies[0]);
        } else {
            EXPECT_TRUE(said.contains("no place took")) << said.left(500).toStdString();
            for (const QByteArray& l : said.split('\n'))
                if (const auto e = journal::decode(l))
                    kept.push_back(*e);
        }
        // What the journal took before the disk was full to the last byte,
        // then what was kept elsewhere: every line once, in order, with its
        // time. A line the journal holds only in part comes whole from the copy.
        QFile journalFile(dir.path() + "/" + journal::fileName(now.date()));
        ASSERT_TRUE(journalFile.open(QIODevice::ReadOnly));
        QByteArray journalBytes = journalFile.readAll();
        journalBytes.truncate(journalBytes.lastIndexOf('\n') + 1);
        std::vector<journal::Entry> all;
        for (const QByteArray& l : journalBytes.split('\n'))
            if (const auto e = journal::decode(l))
                all.push_back(*e);
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all.front().line, "  1C        0:10.000 1");
        all.erase(all.begin());
        EXPECT_GT(kept.size(), 0u);
        all.insert(all.end(), kept.begin(), kept.end());
        ASSERT_EQ(all.size(), waiting.size());
        for (size_t i = 0; i < waiting.size(); ++i) {
            EXPECT_EQ(all[i].line, waiting[i]) << i;
            EXPECT_EQ(all[i].at.toMSecsSinceEpoch(), now.addMSecs(qint64(i)).toMSecsSinceEpoch()) << i;
        }
        ASSERT_TRUE(QFile::remove(filler));
        QFile::remove(dir.path() + "/" + journal::fileName(now.date()));
    }
}
