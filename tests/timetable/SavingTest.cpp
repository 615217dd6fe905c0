// The time table and the settings under faults met for real: unreadable
// files, read-only folders and files (as an unprivileged user), a full
// disk (a small tmpfs mounted here), a file size limit.
#include "../serial/Pty.h"
#include "FakeDialogs.h"
#include "TempDir.h"
#include "XServer.h"

#include "RaceModel.h"
#include "common/SaveWorker.h"
#include "console/Disp.h"
#include "display/DisplayLabel.h"
#include "protocol/Journal.h"
#include "serial/WComThread.h"
#include "timetable/Control.h"
#include "timetable/Spreadsheet.h"
#include "timetable/Xls.h"

#include <QDir>
#include <QElapsedTimer>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <csignal>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray table(const std::function<void(Sheet&)>& fill) {
    Sheet s;
    s.setName("Times");
    fill(s);
    QByteArray file;
    EXPECT_TRUE(xls::write(s, file));
    return file;
}

Sheet readTable(const QString& path) {
    Sheet s;
    QString why;
    EXPECT_TRUE(xls::readFile(path, s, &why)) << why.toStdString();
    return s;
}

int countStarting(const QStringList& texts, const QString& start) {
    int n = 0;
    for (const QString& t : texts)
        n += t.startsWith(start);
    return n;
}

// A tmpfs of `kib` KiB mounted over a fresh folder while the object lives.
class SmallDisk {
public:
    explicit SmallDisk(int kib) {
        const QByteArray opts = "size=" + QByteArray::number(kib) + "k,mode=0777";
        mounted_ = ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0, opts.constData()) == 0;
        error_ = errno;
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    int error() const { return error_; }
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    // Fills every free block with one file.
    void fill() const {
        QFile f(file("filler"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (f.write(block) == block.size() && f.flush()) {
        }
        f.close();
    }
    void free() const { QFile::remove(file("filler")); }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    int error_ = 0;
};

// The working folder on a small disk of its own.
class OnSmallDisk : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(disk.mounted()) << "mount tmpfs: " << std::strerror(disk.error());
        previous = QDir::currentPath();
        QDir::setCurrent(disk.path());
    }
    void TearDown() override {
        start.reset();
        tc.reset();
        win.reset();
        QDir::setCurrent(previous);
    }
    SmallDisk disk{384};
    QString previous;
    ScopedFakeDialogs dialogs;
    std::unique_ptr<Tdisplay> win;
    std::unique_ptr<TTimeControl> tc;
    std::unique_ptr<QObject> start;
};

} // namespace

// An .xls that cannot be read stays as it is until the first save, which
// moves it aside under a name that says what it is; the operator learns the
// file, the reason and where it went.
TEST(TableSaving, UnreadableFileIsMovedAsideBeforeTheFirstSave) {
    const QByteArray good = table([](Sheet& s) {
        for (int r = 10; r < 400; ++r)
            s.setEntry(r, 3, QStringLiteral("Läufer %1").arg(r), u'.');
    });
    Sheet sheet;
    sheet.setEntry(10, 3, "x", u'.');
    QByteArray stream = xls::workbookStream(sheet);
    // FILEPASS right after the BOF: the workbook is password-protected
    stream.insert(20, QByteArray::fromHex("2f0006000100aabbccdd"));
    QByteArray encrypted;
    ASSERT_TRUE(xls::container(stream, encrypted));
    QFile xlsx(TD_SOURCE_DIR "/tests/timetable/fixtures/kinds/liste.xlsx");
    ASSERT_TRUE(xlsx.open(QIODevice::ReadOnly));
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* said;  // part of what the operator is told the file is
    } cases[] = {
        {"truncated", good.left(good.size() / 2), "liste.xls is "},
        {"an .xlsx renamed", xlsx.readAll(),
         "liste.xls is an Excel 2007+ workbook (.xlsx); save it as Excel 97-2003 (.xls)\n"},
        {"encrypted", encrypted,
         "liste.xls is protected by a password; remove the password and save it as Excel 97-2003 (.xls)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempWorkDir dir;
        ScopedFakeDialogs dialogs;
        dir.write("liste.xls", c.bytes);
        auto w = std::make_unique<TTimeControl>();
        const QString path = QDir::current().absoluteFilePath("liste.xls");
        EXPECT_TRUE(dialogs->errors.isEmpty());
        ASSERT_EQ(dialogs->notices.size(), 1);
        const QString told = dialogs->notices[0];
        EXPECT_TRUE(told.startsWith(QString("Could not read Data File\n") + c.said)) << told.toStdString();
        EXPECT_TRUE(told.contains("\nFile: " + path + "\n")) << told.toStdString();
        EXPECT_EQ(w->saveStatus().state, SaveStatus::NotLoaded);
        EXPECT_EQ(w->saveStatus().reason, told.section('\n', 1, 1));
        const QString aside = told.section(QStringLiteral("moved to "), 1);
        EXPECT_TRUE(aside.startsWith(path + ".unreadable-")) << told.toStdString();
        spin(100);
        EXPECT_EQ(dir.read("liste.xls"), c.bytes);  // nothing written before a change

        w->TimeTable->setEntryRC(10, 3, "Neu");
        w->waitForSaves();
        EXPECT_EQ(dir.read(QFileInfo(aside).fileName()), c.bytes);
        EXPECT_EQ(readTable("liste.xls").entry(10, 3), "Neu");
        EXPECT_EQ(w->saveStatus().state, SaveStatus::Saved);
        EXPECT_TRUE(dialogs->openNotices.values().contains("Could not read Data File\n" + told.section('\n', 1, 2) +
                                                           "\nThe file was moved to " + aside))
            << dialogs->openNotices.values().join(" / ").toStdString();
        // a second save replaces the new file only; the copy stays
        w->TimeTable->setEntryRC(11, 3, "Zwei");
        w->waitForSaves();
        EXPECT_EQ(QDir().entryList({"liste.xls*"}, QDir::Files).size(), 2);
        EXPECT_EQ(dir.read(QFileInfo(aside).fileName()), c.bytes);
        EXPECT_EQ(readTable("liste.xls").entry(10, 3), "Neu");
    }
}

// Read-only folder and read-only file, as an operator without root meets
// them: the probe runs as nobody in a folder that root owns.
TEST(TableSaving, ReadOnlyFolderOrFileAsAnotherUser) {
    struct Case {
        const char* name;
        int folderMode, fileMode;
        const char* status;     // what the probe reports after the edits
        bool tableReplaced;
        const char* iniLine;    // disp.ini holds it after "ini" (empty: unchanged)
        const char* copyIn;     // where the end puts the unsaved table: "race", "home" or nowhere
    } cases[] = {
        {"folder read-only, files writable", 0755, 0666, "status failed create temporary file: Permission denied",
         false, "RankX 123", "home"},
        {"liste.xls read-only", 0777, 0444, "status failed the file is read-only; it is left as it is", false,
         "RankX 123", "race"},
        {"liste.xls writable keeps its permissions", 0777, 0646, "status saved ", true, "RankX 123", nullptr},
    };
    const QByteArray old = table([](Sheet& s) { s.setEntry(10, 3, "Alt", u'.'); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        ::chmod(QFile::encodeName(root.path()).constData(), 0755);
        const QString folder = root.filePath("race");
        ASSERT_TRUE(QDir().mkdir(folder));
        QFile t(folder + "/liste.xls");
        ASSERT_TRUE(t.open(QIODevice::WriteOnly));
        t.write(old);
        t.close();
        QFile ini(folder + "/disp.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("RankX 5\r\n");
        ini.close();
        ::chmod(QFile::encodeName(folder + "/liste.xls").constData(), mode_t(c.fileMode));
        ::chmod(QFile::encodeName(folder + "/disp.ini").constData(), 0666);
        ::chmod(QFile::encodeName(folder).constData(), mode_t(c.folderMode));

        const QString home = root.filePath("home");
        ASSERT_TRUE(QDir().mkdir(home));
        ::chmod(QFile::encodeName(home).constData(), 0777);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.insert("TMPDIR", home);
        env.remove("XDG_RUNTIME_DIR");

        QProcess probe;
        probe.setProcessEnvironment(env);
        probe.setWorkingDirectory(folder);
        probe.start("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                TD_BINARY_DIR "/tests/timetable/save_probe", "edit:10:3:Neu", "wait",
                                "edit:11:3:Zwei", "wait", "status", "rank:123:7", "ini"});
        ASSERT_TRUE(probe.waitForFinished(30000));
        const QString out = QString::fromLocal8Bit(probe.readAllStandardOutput());
        ASSERT_EQ(probe.exitCode(), 0) << out.toStdString() << probe.readAllStandardError().toStdString();
        const QStringList lines = out.split('\n');
        EXPECT_TRUE(lines.contains(QString::fromLatin1(c.status))) << out.toStdString();
        const int told = countStarting(lines, "notice Could not write Data File|" + folder + "/liste.xls: ");
        EXPECT_EQ(told, c.tableReplaced ? 0 : 1) << out.toStdString();  // once, not per change
        QFile after(folder + "/liste.xls");
        ASSERT_TRUE(after.open(QIODevice::ReadOnly));
        const QByteArray now = after.readAll();
        if (c.tableReplaced) {
            EXPECT_EQ(readTable(folder + "/liste.xls").entry(11, 3), "Zwei");
            struct stat st {};
            ASSERT_EQ(::stat(QFile::encodeName(folder + "/liste.xls").constData(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0646u);
        } else {
            EXPECT_EQ(now, old);
        }
        QFile iniAfter(folder + "/disp.ini");
        ASSERT_TRUE(iniAfter.open(QIODevice::ReadOnly));
        EXPECT_TRUE(iniAfter.readAll().contains(QByteArray("\r\n") + c.iniLine + "\r\n")) << out.toStdString();
        EXPECT_FALSE(out.contains("notice Error writing INI-File")) << out.toStdString();
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        // The table that could not be saved is kept as a copy, where the user may write.
        const QStringList copies[] = {QDir(folder).entryList({"liste.xls.unsaved-*"}, QDir::Files),
                                      QDir(home).entryList({"liste.xls.unsaved-*"}, QDir::Files)};
        EXPECT_EQ(copies[0].size(), c.copyIn && QByteArray(c.copyIn) == "race" ? 1 : 0);
        EXPECT_EQ(copies[1].size(), c.copyIn && QByteArray(c.copyIn) == "home" ? 1 : 0);
        for (int i = 0; i < 2; ++i)
            for (const QString& copy : copies[i])
                EXPECT_EQ(readTable((i == 0 ? folder : home) + "/" + copy).entry(11, 3), "Zwei");
    }
}

// A full disk: the failure is told once, the table stays in memory, and
// once space is back the table is saved with no input at all.
TEST_F(OnSmallDisk, FullDiskIsToldOnceAndTheTableIsSavedWhenSpaceIsBack) {
    const QByteArray old = table([](Sheet& s) { s.setEntry(10, 3, "Alt", u'.'); });
    QFile f("liste.xls");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(old);
    f.close();
    tc = std::make_unique<TTimeControl>();
    QList<SaveStatus> seen;
    bool offThread = false;  // the status reaches its readers on the user-interface thread
    QObject::connect(tc.get(), &TTimeControl::saveStatusChanged, [&](const SaveStatus& s) {
        seen << s;
        offThread = offThread || QThread::currentThread() != qApp->thread();
    });
    disk.fill();

    tc->TimeTable->setEntryRC(10, 4, "Eins");
    tc->waitForSaves();
    tc->TimeTable->setEntryRC(11, 4, "Zwei");
    tc->waitForSaves();
    ASSERT_EQ(tc->saveStatus().state, SaveStatus::Failed);
    EXPECT_TRUE(tc->saveStatus().reason.contains("No space left on device")) << tc->saveStatus().reason.toStdString();
    EXPECT_EQ(countStarting(dialogs->notices, "Could not write Data File\n" + disk.file("liste.xls") + ": "), 1);
    auto* shown = tc->findChild<QLabel*>("TimeControlSaveStatus");
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->text(), "Not saved: " + disk.file("liste.xls") + ": " + tc->saveStatus().reason);
    EXPECT_TRUE(dialogs->errors.isEmpty());
    QFile now("liste.xls");
    ASSERT_TRUE(now.open(QIODevice::ReadOnly));
    EXPECT_EQ(now.readAll(), old);
    now.close();
    EXPECT_EQ(QDir().entryList(QDir::Files | QDir::Hidden), (QStringList{"filler", "liste.xls"}));

    disk.free();  // no click, no key, no line: the retry finds the room
    ASSERT_TRUE(waitFor([&] { return tc->saveStatus().state == SaveStatus::Saved; },
                        2 * TTimeControl::kRetryMs + 2000));
    EXPECT_EQ(countStarting(dialogs->openNotices.values(), "Could not write Data File"), 0);
    EXPECT_TRUE(shown->text().startsWith("Saved ")) << shown->text().toStdString();
    EXPECT_TRUE(shown->text().endsWith(": " + disk.file("liste.xls"))) << shown->text().toStdString();
    const Sheet s = readTable("liste.xls");
    EXPECT_EQ(s.entry(10, 3), "Alt");
    EXPECT_EQ(s.entry(10, 4), "Eins");
    EXPECT_EQ(s.entry(11, 4), "Zwei");
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.last().state, SaveStatus::Saved);
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](const SaveStatus& x) { return x.state == SaveStatus::Failed; }));
    EXPECT_FALSE(offThread);
}

// While saves fail the board goes on: every line from the real serial line
// reaches the time labels.
TEST_F(OnSmallDisk, TimeLabelsKeepChangingWhileTheDiskIsFull) {
    Pty pty;
    ASSERT_TRUE(pty.valid());
    ASSERT_TRUE(pty.link(disk.file("COM1")));
    QFile ini("disp.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("COM 1\r\nBAUD 115200\r\n");
    ini.close();
    win = std::make_unique<Tdisplay>();
    tc = std::make_unique<TTimeControl>(win.get());
    ASSERT_TRUE(win->ComThread1->ok());
    spin(200);
    disk.fill();
    auto labels = [&] {
        QString t;
        for (DisplayLabel* l : {win->Zeit_Mz, win->Zeit_Me, win->Zeit_Sz, win->Zeit_Se, win->Zeit_z, win->Zeit_h})
            t += l->text();
        return t;
    };
    int failedWhileShown = 0;
    for (int i = 0; i < 12; ++i) {
        const QString before = labels();
        const int64_t ms = 61000 + i * 1111;
        ASSERT_TRUE(pty.write(sim::normalLine(i + 1, 'C', ms, i + 1) + '\r'));
        EXPECT_TRUE(waitFor([&] { return labels() != before; }, 2000)) << "line " << i << ": " << before.toStdString();
        EXPECT_TRUE(labels().contains(QString::number(ms / 1000 % 60 % 10))) << labels().toStdString();
        failedWhileShown += tc->saveStatus().state == SaveStatus::Failed;
    }
    EXPECT_GE(failedWhileShown, 10);  // the labels moved on while saving failed
    EXPECT_EQ(countStarting(dialogs->errors, "Could not write"), 0) << dialogs->errors.join('/').toStdString();
    disk.free();
    ASSERT_TRUE(waitFor([&] { return tc->saveStatus().state == SaveStatus::Saved; },
                        2 * TTimeControl::kRetryMs + 2000));
    const Sheet s = readTable("liste.xls");
    for (int i = 0; i < 12; ++i)
        EXPECT_FALSE(s.entry(i + 10, 6).isEmpty()) << i;
}

// A write of disp.ini that fails never replaces the good file.
TEST_F(OnSmallDisk, FailedSettingsWriteKeepsTheGoodFile) {
    win = std::make_unique<Tdisplay>();
    win->Einstellungen_speichern();
    QFile f("disp.ini");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();
    ASSERT_TRUE(good.contains("\r\nStrNrSelf 0\r\n"));
    win->Rang->move(321, 5);
    struct Case {
        const char* name;
        std::function<void()> cause, cure;
        const char* reason;
    } cases[] = {
        {"full disk", [&] { disk.fill(); }, [&] { disk.free(); }, "No space left on device"},
        {"file size limit",
         [] {
             rlimit l{};
             getrlimit(RLIMIT_FSIZE, &l);
             l.rlim_cur = 1000;
             setrlimit(RLIMIT_FSIZE, &l);
         },
         [] {
             rlimit l{};
             getrlimit(RLIMIT_FSIZE, &l);
             l.rlim_cur = l.rlim_max;
             setrlimit(RLIMIT_FSIZE, &l);
         },
         "File too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs->openNotices.clear();
        c.cause();
        win->Einstellungen_speichern();
        c.cure();
        QFile now("disp.ini");
        ASSERT_TRUE(now.open(QIODevice::ReadOnly));
        EXPECT_EQ(now.readAll(), good);
        ASSERT_EQ(dialogs->openNotices.size(), 1);
        const QString told = dialogs->openNotices.begin().value();
        EXPECT_TRUE(told.startsWith("Error writing INI-File\n" + disk.file("disp.ini") + ": ")) << told.toStdString();
        EXPECT_TRUE(told.contains(c.reason)) << told.toStdString();
        EXPECT_EQ(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{"disp.ini"});  // no temporary left
    }
    win->Einstellungen_speichern();
    QFile now("disp.ini");
    ASSERT_TRUE(now.open(QIODevice::ReadOnly));
    EXPECT_TRUE(now.readAll().contains("\r\nRankX 321\r\n"));
    EXPECT_TRUE(dialogs->openNotices.isEmpty());
}

namespace {
// Counts the times disp.ini was put in place (created or renamed over).
class IniWrites {
public:
    IniWrites() : fd_(inotify_init1(IN_NONBLOCK)) {
        inotify_add_watch(fd_, ".", IN_MOVED_TO | IN_CLOSE_WRITE);
    }
    ~IniWrites() { ::close(fd_); }
    int count() {
        alignas(inotify_event) char buf[8192];
        ssize_t n;
        while ((n = ::read(fd_, buf, sizeof buf)) > 0)
            for (char* p = buf; p < buf + n;) {
                auto* e = reinterpret_cast<inotify_event*>(p);
                if (e->len && QByteArray(e->name) == "disp.ini")
                    ++count_;
                p += sizeof(inotify_event) + e->len;
            }
        return count_;
    }

private:
    int fd_;
    int count_ = 0;
};
} // namespace

// A change reaches disp.ini within two seconds; no change, no write; the
// close writes it once.
TEST(SettingsAutosave, AChangeIsOnDiskWithinTwoSecondsAndCloseWritesOnce) {
    TempWorkDir dir;
    ScopedFakeDialogs dialogs;
    auto win = std::make_unique<Tdisplay>();
    win->FormPaint();  // the first paint loads the settings again
    ASSERT_FALSE(win->Neuladen);
    win->Einstellungen_speichern();
    IniWrites writes;
    spin(2500);
    EXPECT_EQ(writes.count(), 0);  // nothing changed, nothing written

    win->Rang->move(222, 11);
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(waitFor([&] { return dir.read("disp.ini").contains("\r\nRankX 222\r\nRankY 11\r\n"); }, 5000));
    EXPECT_LE(t.elapsed(), 2000);
    spin(1500);
    EXPECT_EQ(writes.count(), 1);

    win->Rang->move(7, 8);
    win->EndClick();  // "Beenden": saves, then the quit closes the window too
    win->close();
    EXPECT_EQ(writes.count(), 2);
    EXPECT_TRUE(dir.read("disp.ini").contains("\r\nRankX 7\r\nRankY 8\r\n"));
}

// The writer's copy, kept up to date by the changes alone, writes the same
// file as the table itself after any mix of edits, format changes, undone
// cells and whole-table replacements.
TEST(WriterCopy, ChangesAloneKeepTheWritersCopyEqualToTheTable) {
    Sheet table, writer;
    std::mt19937 random(8);
    for (int step = 0; step < 2000; ++step) {
        const int row = int(random() % 3000) + 1, col = int(random() % 20) + 1;
        switch (random() % 10) {
        case 0: table.setFormat(row, 6, row + int(random() % 50), 17, random() % 2 ? "m:ss.000" : "###.##"); break;
        case 1: table.restore(row, col, Cell{}); break;
        case 2: table.setEntry(row, col, QString(), u'.'); break;
        case 3:
            if (random() % 20 == 0) {  // the table replaced as a load or an undo might
                Sheet other = table;
                other.setEntry(row, col, "replaced", u'.');
                table = other;
            }
            break;
        default: table.setEntry(row, col, QStringLiteral("%1:%2.%3").arg(step % 9).arg(step % 60, 2, 10, QChar(u'0')).arg(step % 1000, 3, 10, QChar(u'0')), u'.');
        }
        if (random() % 7 == 0 || step == 1999) {
            writer.apply(table.takeChanges());
            ASSERT_EQ(xls::workbookStream(writer), xls::workbookStream(table)) << "step " << step;
        }
    }
}

namespace {

int button(const QStringList& buttons, const QString& name) {
    const int i = int(buttons.indexOf(name));
    EXPECT_GE(i, 0) << name.toStdString() << " not among " << buttons.join('/').toStdString();
    return i;
}

// Closing the program while the table cannot be saved.
class SavingAtClose : public OnSmallDisk {
protected:
    // The real program in the small disk's folder, its line on pty, its home folder `home`.
    void startProgram(QProcess& app, Pty& pty, QProcessEnvironment env, const QString& home) {
        for (const char* f : {"english.lng", "logo1.bmp", "logo2.bmp", "logo3.bmp"})
            ASSERT_TRUE(QFile::copy(QString(TD_SOURCE_DIR "/data/") + f, disk.file(f))) << f;
        ASSERT_TRUE(pty.valid());
        ASSERT_TRUE(pty.link(disk.file("COM1")));
        QFile ini("disp.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("COM 1\r\nBAUD 115200\r\n");
        ini.close();
        env.insert("HOME", home);
        app.setWorkingDirectory(disk.path());
        app.setProcessEnvironment(env);
        app.start(TD_BINARY_DIR "/src/console/timedisplay", {"--web-port", "0"});
        ASSERT_TRUE(app.waitForStarted());
    }
};

QStringList unsavedCopies(const QString& folder) {
    return QDir(folder).entryList({"liste.xls.unsaved-*"}, QDir::Files | QDir::Hidden);
}

} // namespace

// Closing while the table cannot be saved: the operator is asked, Cancel
// keeps the program and the results, Retry that fails asks again, Retry
// that works closes with the table on disk.
TEST_F(SavingAtClose, CloseWithAnUnsavedTableAsksAndCancelKeepsEverything) {
    win = std::make_unique<Tdisplay>();
    tc = std::make_unique<TTimeControl>(win.get());
    win->show();
    spin(100);
    disk.fill();
    tc->TimeTable->setEntryRC(10, 4, "Eins");
    tc->waitForSaves();
    ASSERT_EQ(tc->saveStatus().state, SaveStatus::Failed);

    const std::vector<std::function<bool()>> ways{[&] { return win->close(); },
                                                  [&] { win->End->click(); return !win->isVisible(); }};
    int asked = 0;
    for (size_t way = 0; way < ways.size(); ++way) {
        SCOPED_TRACE(way);
        // still full: Retry fails and asks again; then Cancel
        dialogs->askAnswers.push_back([](const QStringList& b) { return button(b, "Retry"); });
        dialogs->askAnswers.push_back([](const QStringList& b) { return button(b, "Cancel"); });
        tc->TimeTable->setEntryRC(11 + int(way), 4, "Zwei");
        EXPECT_FALSE(ways[way]());
        asked += 2;
        ASSERT_EQ(dialogs->questions.size(), asked);
        EXPECT_TRUE(win->isVisible());
        const FakeDialogs::Question& q = dialogs->questions.last();
        EXPECT_EQ(q.buttons, (QStringList{"Retry", "Quit anyway", "Cancel"}));
        EXPECT_TRUE(q.text.contains(disk.file("liste.xls") + ": " + tc->saveStatus().reason)) << q.text.toStdString();
        EXPECT_TRUE(q.text.contains("No space left on device")) << q.text.toStdString();
        EXPECT_EQ(tc->TimeTable->EntryRC(10, 4), "Eins");
        EXPECT_EQ(tc->TimeTable->EntryRC(11 + int(way), 4), "Zwei");
        EXPECT_TRUE(unsavedCopies(disk.path()).isEmpty());
    }
    // The board still runs: a result recorded after Cancel is kept too.
    tc->TimeTable->setEntryRC(13, 4, "Drei");

    disk.free();
    dialogs->askAnswers.push_back([](const QStringList& b) { return button(b, "Retry"); });
    // the retry timer may save first; then nobody is asked
    const bool closed = win->close();
    EXPECT_TRUE(closed);
    EXPECT_LE(dialogs->questions.size(), asked + 1);
    EXPECT_EQ(tc->saveStatus().state, SaveStatus::Saved);
    const Sheet s = readTable("liste.xls");
    EXPECT_EQ(s.entry(10, 4), "Eins");
    EXPECT_EQ(s.entry(11, 4), "Zwei");
    EXPECT_EQ(s.entry(12, 4), "Zwei");
    EXPECT_EQ(s.entry(13, 4), "Drei");
    EXPECT_TRUE(unsavedCopies(disk.path()).isEmpty());
}

// "Quit anyway", and every close that cannot ask (a stop signal, no screen),
// writes the whole table to the first place that takes it, never over an
// earlier copy, and says on stderr where it went.
TEST_F(SavingAtClose, ACloseThatCannotSaveWritesACopyToTheFirstPlaceThatTakesIt) {
    QTemporaryDir home, runtime, temp;
    ASSERT_TRUE(QDir(disk.path()).mkdir("full"));
    const QString full = disk.file("full");
    struct Case {
        const char* name;
        QString home, runtime, temp;
        QString expectFolder;  // empty: nowhere
    };
    const Case cases[] = {
        {"home", home.path(), runtime.path(), temp.path(), home.path()},
        {"runtime dir when home is full", full, runtime.path(), temp.path(), runtime.path()},
        {"temp when home is missing and no runtime dir", home.path() + "/missing", QString(), temp.path(), temp.path()},
        {"nowhere", full, full, full, QString()},
    };
    const QByteArray saved[] = {qgetenv("HOME"), qgetenv("XDG_RUNTIME_DIR"), qgetenv("TMPDIR")};
    disk.fill();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (auto [var, value] : {std::pair{"HOME", c.home}, {"XDG_RUNTIME_DIR", c.runtime}, {"TMPDIR", c.temp}})
            value.isEmpty() ? qunsetenv(var) : qputenv(var, QFile::encodeName(value));
        tc = std::make_unique<TTimeControl>();
        for (int r = 10; r < 40; ++r)
            tc->TimeTable->setEntryRC(r, 6, QString("1:%1.000").arg(r));
        tc->waitForSaves();
        ASSERT_EQ(tc->saveStatus().state, SaveStatus::Failed);
        const QStringList before = unsavedCopies(c.expectFolder.isEmpty() ? full : c.expectFolder);
        tc->finishSaving();
        if (c.expectFolder.isEmpty()) {
            EXPECT_TRUE(tc->emergencyCopy().isEmpty()) << tc->emergencyCopy().toStdString();
            EXPECT_TRUE(unsavedCopies(full).isEmpty());
            EXPECT_TRUE(unsavedCopies(disk.path()).isEmpty());
        } else {
            EXPECT_EQ(QFileInfo(tc->emergencyCopy()).absolutePath(), c.expectFolder);
            const QStringList after = unsavedCopies(c.expectFolder);
            EXPECT_EQ(after.size(), before.size() + 1) << after.join(' ').toStdString();
            const Sheet s = readTable(tc->emergencyCopy());
            for (int r = 10; r < 40; ++r)
                EXPECT_FALSE(s.entry(r, 6).isEmpty()) << r;
            EXPECT_EQ(s.entry(2, 2), tc->TimeTable->EntryRC(2, 2));  // the whole table, titles too
        }
        tc->finishSaving();  // nothing new since: no second copy
        if (!c.expectFolder.isEmpty()) {
            EXPECT_EQ(unsavedCopies(c.expectFolder).size(), before.size() + 1);
        }
        tc.reset();
    }
    for (auto [var, value] : {std::pair{"HOME", saved[0]}, {"XDG_RUNTIME_DIR", saved[1]}, {"TMPDIR", saved[2]}})
        value.isNull() ? qunsetenv(var) : qputenv(var, value);
}

// SIGTERM of the real program while the disk is full: the results received
// meanwhile are in a copy outside the full disk.
TEST_F(SavingAtClose, StopSignalWithAFullDiskKeepsTheResultsInACopy) {
    QTemporaryDir home;
    Pty pty;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess app;
    startProgram(app, pty, env, home.path());
    if (HasFatalFailure())
        return;
    spin(2500);  // up, the port opened and purged, the settings written
    disk.fill();
    constexpr int kLines = 15;
    QByteArray lines;
    for (int k = 0; k < kLines; ++k)
        lines += sim::normalLine(k + 1, 'C', 60000 + k * 17, k + 1) + '\r';
    ASSERT_TRUE(pty.write(lines));
    spin(1500);
    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(15000));
    EXPECT_EQ(app.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(app.readAllStandardError());

    const QStringList copies = unsavedCopies(home.path());
    ASSERT_EQ(copies.size(), 1) << err.toStdString();
    const QString copy = QDir(home.path()).filePath(copies[0]);
    EXPECT_TRUE(err.contains(disk.file("liste.xls") + " not saved: ")) << err.toStdString();
    EXPECT_TRUE(err.contains("written to " + copy)) << err.toStdString();
    EXPECT_TRUE(unsavedCopies(disk.path()).isEmpty());
    const Sheet s = readTable(copy);
    for (int k = 0; k < kLines; ++k)
        EXPECT_FALSE(s.entry(k + 10, 6).isEmpty()) << "row " << k + 10;

    // The received lines too: those the journal took, then the rest in a
    // copy beside the table's.
    QByteArray journalled;
    for (const QString& f : QDir(disk.path()).entryList({"journal-*.txt"}, QDir::Files)) {
        QFile j(disk.file(f));
        ASSERT_TRUE(j.open(QIODevice::ReadOnly));
        journalled += j.readAll();
    }
    journalled.truncate(journalled.lastIndexOf('\n') + 1);  // a line the full disk broke off
    const QStringList journalCopies = QDir(home.path()).entryList({"journal-*.txt.unsaved-*"}, QDir::Files);
    ASSERT_EQ(journalCopies.size(), 1) << err.toStdString();
    QFile rescued(QDir(home.path()).filePath(journalCopies[0]));
    ASSERT_TRUE(rescued.open(QIODevice::ReadOnly));
    journalled += rescued.readAll();
    std::vector<QByteArray> received;
    for (const QByteArray& l : journalled.split('\n'))
        if (const auto e = journal::decode(l))
            received.push_back(e->line);
    ASSERT_EQ(received.size(), size_t(kLines)) << journalled.toStdString();
    for (int k = 0; k < kLines; ++k)
        EXPECT_EQ(received[size_t(k)], sim::normalLine(k + 1, 'C', 60000 + k * 17, k + 1)) << k;
}

// On a real desktop: "Quit" with a full disk opens the question over the
// board; Escape is Cancel and the program goes on recording; a stop signal
// while the question is open ends the program without an answer, and the
// copy holds every result, the one recorded after Cancel too.
TEST_F(SavingAtClose, QuestionOnScreenCancelThenStopSignalWhileItIsOpen) {
    XServer x;
    ASSERT_TRUE(x.error().isEmpty()) << x.error().toStdString();
    QTemporaryDir home;
    Pty pty;
    QProcess app;
    startProgram(app, pty, x.environment(), home.path());
    if (HasFatalFailure())
        return;
    const std::unique_ptr<QProcess, void (*)(QProcess*)> stop(&app, [](QProcess* p) {
        if (p->state() != QProcess::NotRunning) {  // a failed check: no program left behind
            p->kill();
            p->waitForFinished(5000);
        }
    });
    const auto board = x.findWindow("Fendral-Timing Time-display V" TD_VERSION, 15000);
    ASSERT_TRUE(board.has_value());
    spin(1500);  // the port opened and purged
    disk.fill();
    ASSERT_TRUE(pty.write(sim::normalLine(1, 'C', 61000, 1) + '\r' + sim::normalLine(2, 'C', 62500, 2) + '\r'));
    spin(1000);
    const QPoint quit(489 + 30, 698 + 10);  // "Quit" in the board's client area

    ASSERT_TRUE(x.click(*board, quit.x(), quit.y()));
    auto question = x.findWindow("Time table not saved", 5000);
    ASSERT_TRUE(question.has_value()) << "no question after Quit";
    ASSERT_TRUE(x.key(*question, "Escape"));
    ASSERT_TRUE(pollUntil([&] { return !x.findWindow("Time table not saved", 0); }, 5000));
    spin(300);
    EXPECT_EQ(app.state(), QProcess::Running);
    EXPECT_TRUE(x.findWindow("Fendral-Timing Time-display V" TD_VERSION, 0).has_value());
    ASSERT_TRUE(pty.write(sim::normalLine(3, 'C', 63000, 3) + '\r'));  // still recording
    spin(800);

    x.tool("xdotool", {"mousemove", "0", "0"});  // a move to where the pointer is would never end
    ASSERT_TRUE(x.click(*board, quit.x(), quit.y()));
    question = x.findWindow("Time table not saved", 5000);
    ASSERT_TRUE(question.has_value()) << "no question after the second Quit";
    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(15000));
    EXPECT_EQ(app.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(app.readAllStandardError());
    const QStringList copies = unsavedCopies(home.path());
    ASSERT_EQ(copies.size(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains("written to " + QDir(home.path()).filePath(copies[0]))) << err.toStdString();
    const Sheet s = readTable(QDir(home.path()).filePath(copies[0]));
    for (int row = 10; row <= 12; ++row)
        EXPECT_FALSE(s.entry(row, 6).isEmpty()) << "row " << row;
}
