// The installed program, as a venue gets it: installed into a fresh prefix
// (cmake --install), started from an empty folder.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

namespace {

struct Result {
    int code = -1;
    bool crashed = true;
    QString out, err;
};

Result run(const QString& program, const QStringList& args, const QString& workdir,
           const QProcessEnvironment& env, int timeoutMs = 60000) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workdir);
    p.start(program, args);
    Result r;
    if (!p.waitForStarted(10000))
        return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitCode();
    r.crashed = p.exitStatus() != QProcess::NormalExit;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// Without any display: what the command line does must not need one.
QProcessEnvironment noDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LD_PRELOAD"})
        env.remove(v);
    return env;
}

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = std::make_unique<QTemporaryDir>();  // outside the build tree
        ASSERT_TRUE(prefix_->isValid());
        const Result r = run(TD_CMAKE, {"--install", TD_BINARY_DIR, "--prefix", prefix_->path()}, TD_BINARY_DIR,
                             QProcessEnvironment::systemEnvironment());
        ASSERT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
    }
    static void TearDownTestSuite() { prefix_.reset(); }
    static QString installed(const QString& relative) { return prefix_->filePath(relative); }

    // The installed program with the probe, offscreen; the probe ends it with
    // SIGINT and leaves its report.
    Result startProgram(const QString& cwd, const QStringList& args = {}) {
        QProcessEnvironment env = noDisplay();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("LD_PRELOAD", TD_START_PROBE);
        env.insert("TD_PROBE_OUT", reportFile());
        env.insert("TD_PROBE_NAMES", "Start,End,Time,Language,TimeControlCancel");
        // A free port for the web board: the default one may be another test's.
        return run(installed("bin/timedisplay"), QStringList(args) << "--web-port" << "any", cwd, env);
    }
    QString reportFile() const { return scratch_.filePath("probe.txt"); }
    QList<QStringList> report() const {
        QFile f(reportFile());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << "no report from the probe";
        QList<QStringList> lines;
        for (const QByteArray& l : f.readAll().split('\n'))
            if (!l.isEmpty())
                lines << QString::fromUtf8(l).split(u'\t');
        return lines;
    }
    static QStringList entries(const QString& dir) {
        return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // What a first start must show: no error of any kind, English captions,
    // the empty event table.
    void expectCleanEnglishStart() {
        std::map<std::string, std::string> captions;
        std::map<std::pair<int, int>, std::string> cells;
        bool mainWindow = false;
        for (const QStringList& l : report()) {
            const std::string all = l.join(' ').toStdString();
            EXPECT_NE(l[0].toStdString(), "box") << all;
            if (l[0] == "window") {
                EXPECT_NE(l.value(3).toStdString(), "Error") << all;
                mainWindow |= l.value(2) == "display";
            }
            if (l[0] == "caption")
                captions[l.value(1).toStdString()] = l.value(2).toStdString();
            if (l[0] == "cell")
                cells[{l.value(1).toInt(), l.value(2).toInt()}] = l.value(3).toStdString();
        }
        EXPECT_TRUE(mainWindow);
        const std::map<std::string, std::string> english{{"Start", "Start"},
                                                         {"End", "Quit"},
                                                         {"Time", "Check times"},
                                                         {"Language", "Language"},
                                                         {"TimeControlCancel", "Clear preset times"}};
        EXPECT_EQ(captions, english);
        EXPECT_EQ(cells[std::pair(2, 2)], "Stadtlauf Fendral 2026");
        EXPECT_EQ(cells[std::pair(9, 2)], "Nr");
        EXPECT_EQ(cells[std::pair(9, 6)], "Ziel C");
        for (const auto& [at, text] : cells)
            EXPECT_LT(at.first, 10) << "a runner row: " << text;
    }

    static std::unique_ptr<QTemporaryDir> prefix_;
    QTemporaryDir scratch_;
};

std::unique_ptr<QTemporaryDir> Installed::prefix_;

} // namespace

TEST_F(Installed, FilesInTheirPlaces) {
    const char* files[] = {"bin/timedisplay",
                           "bin/timedisplay-sim",
                           "bin/xlsdump",
                           "share/timedisplay/english.lng",
                           "share/timedisplay/logo1.bmp",
                           "share/timedisplay/logo2.bmp",
                           "share/timedisplay/logo3.bmp",
                           "share/timedisplay/template/liste.xls",
                           "share/applications/timedisplay.desktop",
                           "share/icons/hicolor/scalable/apps/timedisplay.svg",
                           "share/icons/hicolor/16x16/apps/timedisplay.png",
                           "share/icons/hicolor/48x48/apps/timedisplay.png",
                           "share/icons/hicolor/256x256/apps/timedisplay.png",
                           "share/man/man1/timedisplay.1.gz",
                           "share/man/man1/timedisplay-sim.1.gz",
                           "share/man/man1/xlsdump.1.gz"};
    for (const char* f : files)
        EXPECT_TRUE(QFile::exists(installed(f))) << f;

    const Result desktop = run("desktop-file-validate", {installed("share/applications/timedisplay.desktop")},
                               scratch_.path(), noDisplay());
    EXPECT_EQ(desktop.code, 0);
    EXPECT_EQ(desktop.out + desktop.err, "");
    for (const char* page : {"timedisplay.1.gz", "timedisplay-sim.1.gz", "xlsdump.1.gz"}) {
        // man reads the compressed page; groff names every macro or escape it does not know.
        QProcessEnvironment env = noDisplay();
        env.insert("MANWIDTH", "80");
        const Result man = run("man", {"--warnings", "-l", installed(QString("share/man/man1/") + page)},
                               scratch_.path(), env);
        EXPECT_EQ(man.code, 0) << page;
        EXPECT_EQ(man.err, "") << page;
        EXPECT_TRUE(man.out.contains("EXIT STATUS")) << page;
    }
}

TEST_F(Installed, FirstStartFromAnEmptyFolder) {
    QTemporaryDir empty;
    const Result r = startProgram(empty.path());
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();  // Ctrl+C ends it like "Quit"
    expectCleanEnglishStart();
    // The settings were saved at the end; the time table waits for a change.
    EXPECT_EQ(entries(empty.path()), QStringList{"disp.ini"});
    QFile ini(empty.filePath("disp.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().contains("Language english.lng\r\n"));
}

TEST_F(Installed, WorkdirOptionRunsThere) {
    QTemporaryDir elsewhere, workdir;
    const Result r = startProgram(elsewhere.path(), {"--workdir", workdir.path()});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    expectCleanEnglishStart();
    EXPECT_EQ(entries(workdir.path()), QStringList{"disp.ini"});
    EXPECT_EQ(entries(elsewhere.path()), QStringList());
}

TEST_F(Installed, CommandLineOfEveryProgramWithoutADisplay) {
    const struct {
        const char* program;
        QStringList args;
        int code;
        const char* out;  // standard output starts with this
        const char* err;  // standard error contains this
    } cases[] = {
        {"timedisplay", {"--help"}, 0, "Usage: timedisplay [options]", ""},
        {"timedisplay", {"--version"}, 0, "timedisplay 1.5.1.1\n", ""},
        {"timedisplay", {"--bogus"}, 2, "", "Unknown option 'bogus'"},
        {"timedisplay", {"--workdir", "/nonexistent/folder"}, 2, "", "is not a folder"},
        {"timedisplay-sim", {"--help"}, 0, "Usage: timedisplay-sim [options]", ""},
        {"timedisplay-sim", {"--version"}, 0, "timedisplay-sim 1.5.1.1\n", ""},
        {"timedisplay-sim", {"--bogus"}, 2, "", "Unknown option 'bogus'"},
        {"timedisplay-sim", {"--link"}, 2, "", "Missing value after '--link'"},
        {"xlsdump", {"--help"}, 0, "Usage: xlsdump [options] FILE.xls", ""},
        {"xlsdump", {"-v"}, 0, "xlsdump 1.5.1.1\n", ""},
        {"xlsdump", {"--bogus", "x.xls"}, 2, "", "Unknown option 'bogus'"},
        {"xlsdump", {}, 2, "", "give exactly one file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.args.join(' ').toStdString());
        const Result r = run(installed(QString("bin/") + c.program), c.args, scratch_.path(), noDisplay());
        EXPECT_FALSE(r.crashed);
        EXPECT_EQ(r.code, c.code);
        if (*c.out) {
            EXPECT_TRUE(r.out.startsWith(c.out)) << r.out.toStdString();
        } else {
            EXPECT_EQ(r.out, "");
        }
        if (*c.err) {
            EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
            EXPECT_TRUE(r.err.contains(QString("Usage: ") + c.program)) << r.err.toStdString();
        } else {
            EXPECT_EQ(r.err, "");
        }
    }
}
