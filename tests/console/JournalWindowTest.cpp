#include "MainWindowFixture.h"

#include "protocol/Journal.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <sys/mount.h>

namespace {
bool waitUntil(const std::function<bool()>& done, int ms) {
    for (int i = 0; i < ms / 10 && !done(); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    QCoreApplication::processEvents();
    return done();
}
} // namespace

// The working folder on a small tmpfs that the test fills: the journal fails.
TEST_F(MainWindowTest, AFullDiskForTheJournalIsANoticeAndTheBoardGoesOn) {
    const QString full = dir.file("full");
    ASSERT_TRUE(QDir().mkdir(full));
    ASSERT_EQ(::mount("tmpfs", QFile::encodeName(full).constData(), "tmpfs", 0, "size=16k"), 0)
        << "mounting a tmpfs needs root, as CI runs";
    struct Unmount {
        QString path;
        ~Unmount() { ::umount2(QFile::encodeName(path).constData(), MNT_DETACH); }
    } unmount{full};
    // The table does not fit on this disk: its copy at the end goes to a
    // home folder of the test's own, not the real one.
    struct Home {
        QByteArray before = qgetenv("HOME");
        ~Home() { before.isNull() ? qunsetenv("HOME") : qputenv("HOME", before); }
    } home;
    qputenv("HOME", QFile::encodeName(dir.path()));
    QFile filler(full + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(1024, 'x')) == 1024 && filler.flush()) {
    }
    filler.close();
    ASSERT_TRUE(QDir::setCurrent(full));
    createWindows();  // the journal belongs to the working folder

    for (int s = 1; s <= 5; ++s) {
        line(timingLine("  7", 'C', (std::string("    0:0") + char('0' + s) + ".000").c_str(), " 1"));
        // the board shows each line at once, whatever the disk does
        EXPECT_EQ(text("Zeit_Se"), QString::number(s));
    }
    ASSERT_TRUE(waitUntil([&] { return dialogs->openNotices.contains("journal"); }, 3000));
    const QString notice = dialogs->openNotices.value("journal");
    EXPECT_TRUE(notice.contains("journal")) << notice.toStdString();
    EXPECT_TRUE(notice.contains("No space left on device")) << notice.toStdString();
    line(timingLine("  8", 'C', "    0:09.000", " 2"));
    EXPECT_EQ(text("Zeit_Se"), "9");
    QThread::msleep(1200);
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs->notices.filter("journal").size(), 1);  // once, not per line or retry

    // room again: the notice goes and every line is in the journal
    ASSERT_TRUE(QFile::remove(full + "/filler"));
    ASSERT_TRUE(waitUntil([&] { return !dialogs->openNotices.contains("journal"); }, 3000));
    QFile j(full + "/" + journal::fileName(QDate::currentDate()));
    ASSERT_TRUE(j.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = j.readAll().split('\n');
    ASSERT_EQ(lines.size(), 7);  // six lines and the end
    EXPECT_EQ(journal::decode(lines[5])->line.toStdString(), timingLine("  8", 'C', "    0:09.000", " 2"));
    destroyWindows();
    QDir::setCurrent(dir.path());
}
