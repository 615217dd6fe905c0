// Race days with the real program: the device's repeated results, the
// event's titles at start-up, and a second run of the same field, with the
// board read from the web board's /state and liste.xls read back by xlrd
// and LibreOffice.
#include "../serial/Pty.h"
#include "../web/WebClient.h"

#include "RaceModel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <poll.h>
#include <set>
#include <signal.h>

namespace {

bool slaveOpened(int master) {
    pollfd p{master, POLLIN, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

// Board 4 listens to address J: the tests' markers go there, nothing else does.
const QByteArray kIni = "COM 1\r\nBAUD 115200\r\nTextA4Address 10\r\n";

// timedisplay in a folder of its own, COM1 on a pseudo-terminal that
// outlives restarts, the web board on a free port.
class Program {
public:
    explicit Program(const QString& table = QString(TD_SOURCE_DIR "/data/liste.xls")) {
        if (!table.isEmpty())
            QFile::copy(table, file("liste.xls"));
        for (const char* f : {"logo1.bmp", "logo2.bmp", "logo3.bmp"})
            QFile::copy(QString(TD_SOURCE_DIR "/data/") + f, file(f));
        QFile ini(file("disp.ini"));
        if (ini.open(QIODevice::WriteOnly))
            ini.write(kIni);
        ini.close();
        pty.link(file("COM1"));
    }
    ~Program() { stop(); }

    QString file(const QString& name) const { return dir.filePath(name); }

    // Started, its first paint done and COM1 open.
    bool start() {
        out.clear();
        app.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        app.setProcessEnvironment(env);
        app.start(TD_BINARY_DIR "/src/console/timedisplay", {"--web-port", "any"});
        if (!app.waitForStarted())
            return false;
        if (!waitFor([&] { return webPort() != 0 || app.state() == QProcess::NotRunning; }, 20000) || !webPort())
            return false;
        // The first paint empties the runner name; until then it is "Text1".
        if (!waitFor([&] { return element("Textfeld1_V")["text"].toString().isEmpty(); }, 20000))
            return false;
        if (!waitFor([&] { return slaveOpened(pty.masterFd()); }, 20000))
            return false;
        spin(300);  // the port is set up and purged right after opening
        return true;
    }
    // SIGTERM: ends like "Quit", the table saved.
    bool stop() {
        if (app.state() == QProcess::NotRunning)
            return true;
        ::kill(pid_t(app.processId()), SIGTERM);
        if (!app.waitForFinished(20000)) {
            app.kill();
            app.waitForFinished(5000);
            return false;
        }
        return app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0;
    }

    quint16 webPort() {
        out += app.readAllStandardOutput();
        const QRegularExpressionMatch m =
            QRegularExpression("^web board: http://[^:]+:(\\d+)/\\n", QRegularExpression::MultilineOption).match(out);
        return m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
    }
    QJsonObject state() {
        const HttpReply r = httpGet(webPort(), "/state");
        return QJsonDocument::fromJson(r.body).object();
    }
    QJsonObject element(const QString& name) {
        for (const QJsonValue& e : state()["elements"].toArray())
            if (e.toObject()["name"].toString() == name)
                return e.toObject();
        return {};
    }
    // Every element as the audience sees it, but the marker's board.
    QJsonArray board() {
        QJsonArray shown;
        for (const QJsonValue& e : state()["elements"].toArray())
            if (e.toObject()["name"].toString() != "TextA4")
                shown.append(e);
        return shown;
    }
    // Sends the lines, then a marker for board 4, and waits until the board
    // shows the marker: every line before it has been dispatched.
    bool send(const QList<QByteArray>& lines) {
        QByteArray bytes;
        for (const QByteArray& l : lines)
            bytes += l + '\r';
        const QByteArray marker = QByteArray::number(++markers_).rightJustified(6, '0');
        bytes += "J   marker " + marker + "   \r";  // 20 bytes
        if (!pty.write(bytes))
            return false;
        return waitFor([&] { return element("TextA4")["text"].toString().contains(marker); }, 20000);
    }
    std::string shown(const QString& name) { return element(name)["text"].toString().toStdString(); }

    QTemporaryDir dir;
    Pty pty;
    QProcess app;
    QString out;
    int markers_ = 0;
};

// The elements that differ, as "name: text/visible -> text/visible".
std::string changes(const QJsonArray& before, const QJsonArray& after) {
    std::string out;
    for (qsizetype i = 0; i < std::min(before.size(), after.size()); ++i)
        if (before[i] != after[i]) {
            const QJsonObject b = before[i].toObject(), a = after[i].toObject();
            out += QString("%1: '%2'/%3 -> '%4'/%5; ")
                       .arg(b["name"].toString(), b["text"].toString())
                       .arg(b["visible"].toBool())
                       .arg(a["text"].toString())
                       .arg(a["visible"].toBool())
                       .toStdString();
        }
    return out;
}

// A sheet as xlrd reads it: (row, column) -> value; times in days.
struct XlrdSheet {
    bool present = false;
    std::map<std::pair<int, int>, QJsonValue> cells;
    double seconds(int row, int col) const {
        const auto it = cells.find({row, col});
        return it == cells.end() ? -1 : it->second.toDouble() * 86400.0;
    }
    QString text(int row, int col) const {
        const auto it = cells.find({row, col});
        return it == cells.end() ? QString() : it->second.toVariant().toString();
    }
};
XlrdSheet readSheet(const QString& file, const QString& sheet = QString()) {
    XlrdSheet out;
    QProcess xlrd;
    QStringList args{TD_SOURCE_DIR "/tests/timetable/interop/xlrd_dump.py", file};
    if (!sheet.isEmpty())
        args << sheet;
    xlrd.start("/usr/bin/python3", args);
    if (!xlrd.waitForFinished(30000)) {
        ADD_FAILURE() << "xlrd did not finish";
        return out;
    }
    if (xlrd.exitCode() == 3)
        return out;  // no such sheet
    if (xlrd.exitCode() != 0) {
        ADD_FAILURE() << "xlrd: " << xlrd.readAllStandardError().toStdString();
        return out;
    }
    out.present = true;
    const QList<QByteArray> lines = xlrd.readAllStandardOutput().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QJsonArray a = QJsonDocument::fromJson(lines[i]).array();
        if (a.size() >= 4)
            out.cells[{a[0].toInt(), a[1].toInt()}] = a[3];
    }
    return out;
}

// The earlier results as rows: start number, channel, seconds.
std::multiset<std::tuple<int, QString, long>> earlierRows(const XlrdSheet& s) {
    std::multiset<std::tuple<int, QString, long>> rows;
    for (int r = 2; s.cells.count({r, 1}); ++r)
        rows.insert({int(s.cells.at({r, 1}).toDouble()), s.text(r, 3), std::lround(s.seconds(r, 4) * 1000)});
    return rows;
}

} // namespace

// ---- a repeated result changes nothing ---------------------------------------

TEST(RaceDay, RepeatedResultsOfWinnerSecondAndThirdChangeNothing) {
    Program p;  // the demo table: preset C 0:36.000, A 0:12.500, B 0:24.000
    ASSERT_TRUE(p.start()) << p.out.toStdString();
    // Each step: lines, then the repeat, which must leave the board as it was.
    struct Step {
        QList<QByteArray> lines;
        QByteArray repeat;
        const char* preset;  // what the preset label shows before and after the repeat
    };
    const Step steps[] = {
        // The winner; the next runner on course; the winner's repeat.
        {{"  5.    00:00:20.000  ", "  5C    00:00:35.000 1", "  7.    00:00:05.000  "}, "  5C    00:00:35.000 1",
         "-1.00"},
        // The next runner near the preset finish (look-ahead), the second's result and repeat.
        {{"  7.    00:00:31.500  ", "  9C    00:00:36.250 2", "  7.    00:00:32.000  "}, "  9C    00:00:36.250 2",
         "35.00"},
        // A new winner; the old winner's repeat must not bring back his row as the preset.
        {{"  7C    00:00:34.000 1"}, "  5C    00:00:35.000 1", "-1.00"},
        {{}, "  7C    00:00:34.000 1", "-1.00"},
        // The third, with the next runner's running time between result and repeat.
        {{" 11C    00:00:36.500 3", " 12.    00:00:10.000  "}, " 11C    00:00:36.500 3", "+2.50"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.repeat.toStdString());
        ASSERT_TRUE(p.send(s.lines));
        const QJsonArray before = p.board();
        EXPECT_EQ(p.shown("Vorgabezeit"), s.preset);
        ASSERT_TRUE(p.send({s.repeat}));
        const QJsonArray after = p.board();
        EXPECT_TRUE(after == before) << changes(before, after);
        EXPECT_EQ(p.shown("Vorgabezeit"), s.preset);
    }
    // A different time for a runner who has one is a new result.
    ASSERT_TRUE(p.send({"  9C    00:00:36.200 2"}));
    EXPECT_EQ(p.shown("Nummer"), "9");
    EXPECT_EQ(p.shown("Rang"), " 2");
    EXPECT_EQ(p.shown("Vorgabezeit"), "+2.20");
    ASSERT_TRUE(p.stop());

    const XlrdSheet times = readSheet(p.file("liste.xls"));
    EXPECT_NEAR(times.seconds(6, 6), 34.0, 0.0005);  // the new winner's row, not the repeated one's
    EXPECT_NEAR(times.seconds(14, 6), 35.0, 0.0005);
    EXPECT_NEAR(times.seconds(16, 6), 34.0, 0.0005);
    EXPECT_NEAR(times.seconds(18, 6), 36.2, 0.0005);
    EXPECT_NEAR(times.seconds(20, 6), 36.5, 0.0005);
    // The replaced time is kept; repeats left nothing there.
    const XlrdSheet earlier = readSheet(p.file("liste.xls"), "Earlier results");
    ASSERT_TRUE(earlier.present);
    EXPECT_EQ(earlierRows(earlier), (std::multiset<std::tuple<int, QString, long>>{{9, "C", 36250}}));
}

TEST(RaceDay, TheSimulatorsRepeatsChangeNothing) {
    Program p;
    ASSERT_TRUE(p.start()) << p.out.toStdString();
    int repeats = 0, anonymous = 0;
    for (uint32_t seed : {1u, 4u}) {
        const auto lines = sim::raceLines({4, seed});
        // A result line sent again. (A finish sent without start number is
        // filed on channel F; the same time on C with the number is new.)
        std::set<QByteArray> results;
        QList<QByteArray> pending;
        for (const sim::TimedLine& t : lines) {
            const QByteArray& l = t.line;
            const bool normal = l[0] < 'A' || l[0] > 'J';
            const bool ranked = l.size() >= 22 && l.mid(20, 2) != "  ";
            anonymous += l[0] == 'A' && l[3] == 'F';
            if (!normal || !ranked || !results.count(l)) {
                if (normal && ranked)
                    results.insert(l);
                pending << l;
                continue;
            }
            SCOPED_TRACE(l.toStdString());
            ++repeats;
            ASSERT_TRUE(p.send(pending));
            pending.clear();
            const QJsonArray before = p.board();
            ASSERT_TRUE(p.send({l}));
            const QJsonArray after = p.board();
            EXPECT_TRUE(after == before) << changes(before, after);
        }
        ASSERT_TRUE(p.send(pending));
    }
    EXPECT_EQ(repeats, 2 * 4 * 2 - anonymous);  // every finish twice, two races
}

// ---- the event's titles ------------------------------------------------------

TEST(RaceDay, TheTablesTitlesWinOverTheLanguageFilesPlaceholder) {
    const struct {
        const char* what;
        QString table;
        std::string field3;
    } cases[] = {
        {"shipped template", TD_SOURCE_DIR "/data/template/liste.xls", "Stadtlauf Fendral 2026 Ergebnisliste 10 km"},
        {"made by LibreOffice", TD_SOURCE_DIR "/tests/timetable/fixtures/libreoffice-event.xls",
         "Bergsprint Ålesund 2026 2. Lauf Damen"},
        {"no titles", TD_SOURCE_DIR "/tests/timetable/fixtures/libreoffice-untitled.xls", "Text3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Program p(c.table);
        ASSERT_TRUE(p.start()) << p.out.toStdString();
        EXPECT_EQ(p.shown("Textfeld3_V"), c.field3);
        EXPECT_EQ(p.shown("Textfeld3_HLO"), c.field3);  // the shadow says the same
        EXPECT_EQ(p.shown("Textfeld2_V"), "Text2");     // english.lng was read
        ASSERT_TRUE(p.stop());
    }
}

// ---- a second run keeps the first in the workbook ----------------------------

namespace {
// One run of runners 3, 5 and 8: running times, split A, finish C.
QList<QByteArray> run(int run) {
    QList<QByteArray> lines;
    int rank = 0;
    for (int n : {3, 5, 8}) {
        ++rank;
        const QByteArray nr = QByteArray::number(n).rightJustified(3, ' ');
        const QByteArray s = QByteArray::number(run);  // run 2: times with 2 s more
        lines << nr + ".    00:00:05.000  " << nr + "A    00:00:1" + s + "." + QByteArray::number(100 * n) + " " +
                                                  QByteArray::number(rank)
              << nr + ".    00:00:20.000  " << nr + "C    00:00:4" + s + "." + QByteArray::number(100 * n) + " " +
                                                  QByteArray::number(rank);
    }
    return lines;
}
} // namespace

TEST(RaceDay, ASecondRunKeepsTheFirstOnEarlierResultsAcrossRestarts) {
    Program p;  // the demo table
    ASSERT_TRUE(p.start()) << p.out.toStdString();
    ASSERT_TRUE(p.send(run(1)));
    ASSERT_TRUE(p.stop());
    // Run 1 on the first sheet, nothing earlier yet.
    XlrdSheet times = readSheet(p.file("liste.xls"));
    EXPECT_NEAR(times.seconds(12, 6), 41.3, 0.0005);
    EXPECT_NEAR(times.seconds(12, 10), 11.3, 0.0005);
    EXPECT_FALSE(readSheet(p.file("liste.xls"), "Earlier results").present);

    // A restart, then run 2 of the same field.
    ASSERT_TRUE(p.start()) << p.out.toStdString();
    // The first running time of the new run clears the finish and the
    // split: the split's preset (runner 3's run 1, the winner) shows again.
    ASSERT_TRUE(p.send({"  5.    00:00:09.000  "}));
    EXPECT_EQ(p.shown("Vorgabezeit"), "11.30");
    ASSERT_TRUE(p.send(run(2)));
    ASSERT_TRUE(p.stop());

    times = readSheet(p.file("liste.xls"));
    for (int n : {3, 5, 8}) {
        EXPECT_NEAR(times.seconds(n + 9, 10), 12.0 + 0.1 * n, 0.0005) << n;
        EXPECT_NEAR(times.seconds(n + 9, 6), 42.0 + 0.1 * n, 0.0005) << n;
    }
    XlrdSheet earlier = readSheet(p.file("liste.xls"), "Earlier results");
    ASSERT_TRUE(earlier.present);
    EXPECT_EQ(earlier.text(1, 1), "Start number");
    using Rows = std::multiset<std::tuple<int, QString, long>>;
    const Rows run1{{3, "A", 11300}, {3, "C", 41300}, {5, "A", 11500},
                    {5, "C", 41500}, {8, "A", 11800}, {8, "C", 41800}};
    EXPECT_EQ(earlierRows(earlier), run1);
    // name and when, beside each
    for (int r = 2; r <= 7; ++r) {
        if (earlier.text(r, 1) == "3") {
            EXPECT_EQ(earlier.text(r, 2), "Øre Ola");
        }
        EXPECT_FALSE(earlier.text(r, 2).trimmed().isEmpty()) << r;
        EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$").match(earlier.text(r, 5)).hasMatch())
            << earlier.text(r, 5).toStdString();
    }

    // Restarted again: run 3 of runner 5 appends to what the file holds.
    ASSERT_TRUE(p.start()) << p.out.toStdString();
    ASSERT_TRUE(p.send({"  5.    00:00:02.000  ", "  5C    00:00:40.000 1"}));
    ASSERT_TRUE(p.stop());
    earlier = readSheet(p.file("liste.xls"), "Earlier results");
    Rows all = run1;
    all.insert({5, "A", 12500});
    all.insert({5, "C", 42500});
    EXPECT_EQ(earlierRows(earlier), all);
    EXPECT_NEAR(readSheet(p.file("liste.xls")).seconds(14, 6), 40.0, 0.0005);

    // LibreOffice opens it as it is: both sheets come back, in order.
    QTemporaryDir converted;
    QProcess lo;
    lo.start("libreoffice", {"--headless", "-env:UserInstallation=file://" + converted.filePath("profile"),
                             "--convert-to", "xlsx", "--outdir", converted.path(), p.file("liste.xls")});
    ASSERT_TRUE(lo.waitForFinished(180000));
    ASSERT_EQ(lo.exitCode(), 0) << lo.readAllStandardError().toStdString();
    QProcess zip;
    zip.start("/usr/bin/python3", {"-c",
                                   "import sys, zipfile, re\n"
                                   "z = zipfile.ZipFile(sys.argv[1])\n"
                                   "print('|'.join(re.findall(r'<sheet name=\"([^\"]*)\"', "
                                   "z.read('xl/workbook.xml').decode())))\n",
                                   converted.filePath("liste.xlsx")});
    ASSERT_TRUE(zip.waitForFinished(30000));
    EXPECT_EQ(zip.readAllStandardOutput().trimmed(), "Times|Earlier results") << zip.readAllStandardError().toStdString();
}
