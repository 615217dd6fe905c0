// Every element stays where the operator put it, session after session: the
// real program under Xvfb with openbox, lines over a pseudo-terminal, ended as
// operators end it (Quit, SIGTERM, kill -9 after the autosave); the places are
// read from the web board's /state, disp.ini is read back after each session.
#include "../serial/Pty.h"
#include "../web/WebClient.h"
#include "RaceModel.h"
#include "TempDir.h"
#include "XServer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>

// Points read as points in the failures.
void PrintTo(const QPoint& p, std::ostream* os) { *os << p.x() << "," << p.y(); }

namespace {

const QString kTitle = QStringLiteral("Fendral-Timing Time-display V1.5.1.1");
// Buttons of the bottom row, in the window's client area.
const QPoint kQuit(489 + 30, 698 + 10);
const QPoint kLanguage(97 + 30, 698 + 10);

enum class Ending { Quit, Term, KillAfterAutosave };
const char* const kEndingNames[] = {"Quit", "SIGTERM", "kill -9 after the autosave"};

bool slaveOpened(int master) {
    pollfd p{master, POLLIN, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

// Where an element stands on the board and what it shows.
struct Place {
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = false;
    QString text;
    bool operator==(const Place&) const = default;
};
using Board = QMap<QString, Place>;

std::string describe(const Place& p) {
    return QString("%1,%2 %3x%4%5 \"%6\"")
        .arg(p.x).arg(p.y).arg(p.width).arg(p.height)
        .arg(p.visible ? "" : " hidden", p.text)
        .toStdString();
}

// The differences between two boards, one element a line.
std::string differences(const Board& want, const Board& got) {
    std::string out;
    for (auto it = want.begin(); it != want.end(); ++it)
        if (got.value(it.key()) != it.value())
            out += it.key().toStdString() + ": " + describe(it.value()) + " became " +
                   describe(got.value(it.key())) + "\n";
    return out;
}

// The program in one working folder, started again for every session, with
// COM1 on a pseudo-terminal.
class Program {
public:
    explicit Program(const XServer& x) : x_(x) {
        for (const char* f : {"liste.xls", "english.lng", "logo1.bmp", "logo2.bmp", "logo3.bmp"})
            QFile::copy(QString(TD_SOURCE_DIR "/data/") + f, dir.file(f));
        pty.link(dir.file("COM1"));
    }
    ~Program() {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(3000);
        }
    }

    // Starts a session; false when the window, the web board or the port did not come up.
    bool start() {
        out_.clear();
        port_ = 0;
        app.setWorkingDirectory(dir.path());
        app.setProcessEnvironment(x_.environment());
        app.setProcessChannelMode(QProcess::SeparateChannels);
        app.start(TD_BINARY_DIR "/src/console/timedisplay", {"--web-port", "any"});
        if (!app.waitForStarted(5000))
            return false;
        window = x_.findWindow(kTitle).value_or(QString());
        if (window.isEmpty())
            return false;
        const QRegularExpression url("web board: http://127\\.0\\.0\\.1:(\\d+)/");
        if (!pollUntil(
                [&] {
                    out_ += app.readAllStandardOutput();
                    const auto m = url.match(QString::fromLatin1(out_));
                    port_ = m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
                    return port_ != 0;
                },
                10000))
            return false;
        if (!waitFor([&] { return slaveOpened(pty.masterFd()); }, 10000))
            return false;
        spin(200);  // the port is purged right after opening
        return true;
    }

    bool send(const QList<QByteArray>& lines) {
        QByteArray bytes;
        for (const QByteArray& l : lines)
            bytes += l + '\r';
        return pty.write(bytes);
    }

    // The text elements and pictures as the web board sees them now.
    Board board() const {
        Board b;
        const HttpReply r = httpGet(port_, "/state");
        const QJsonObject state = QJsonDocument::fromJson(r.body).object();
        for (const QJsonValue& v : state["elements"].toArray()) {
            const QJsonObject e = v.toObject();
            b[e["name"].toString()] = {e["x"].toInt(), e["y"].toInt(), e["width"].toInt(), e["height"].toInt(),
                                       e["visible"].toBool(), e["text"].toString()};
        }
        return b;
    }
    // The board once `ready` holds for it, and it has stayed the same for a moment.
    Board settledBoard(const std::function<bool(const Board&)>& ready) const {
        Board last;
        int same = 0;
        pollUntil(
            [&] {
                const Board now = board();
                same = now == last && ready(now) ? same + 1 : 0;
                last = now;
                return same >= 5;
            },
            10000);
        return last;
    }

    // Ends the session as `how`; false when it did not end.
    bool end(Ending how) {
        switch (how) {
        case Ending::Quit:
            if (!click(kQuit))
                return false;
            break;
        case Ending::Term:
            ::kill(pid_t(app.processId()), SIGTERM);
            break;
        case Ending::KillAfterAutosave:
            spin(2600);  // a change reaches the disk within two seconds
            ::kill(pid_t(app.processId()), SIGKILL);
            break;
        }
        return app.waitForFinished(15000);
    }

    // A left click at p in the client area. The pointer leaves first: a move
    // to where it already is would never be reported.
    bool click(const QPoint& p) const {
        const bool atOrigin = x_.tool("xdotool", {"getmouselocation"}).value_or("").startsWith("x:0 y:0 ");
        x_.tool("xdotool", {"mousemove", "--sync", atOrigin ? "1" : "0", "0"});
        return x_.click(window, p.x(), p.y());
    }

    // disp.ini as key -> value.
    QMap<QString, QString> settings() const {
        QMap<QString, QString> m;
        for (QByteArray line : dir.read("disp.ini").split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            const int sp = line.indexOf(' ');
            if (sp > 0)
                m[QString::fromLatin1(line.left(sp))] = QString::fromLatin1(line.mid(sp + 1));
        }
        return m;
    }

    TempWorkDir dir;
    Pty pty;
    QProcess app;
    QString window;

private:
    const XServer& x_;
    QByteArray out_;
    quint16 port_ = 0;
};

QByteArray running(int number, int ms) { return sim::normalLine(number, '.', ms, 0); }
QByteArray finish(int number, int ms, int rank) { return sim::normalLine(number, 'C', ms, rank); }

struct DriftCase {
    const char* name;
    QByteArray ini;                           // besides the window's place and the port
    QList<QByteArray> lines;                  // sent in every session
    std::function<bool(const Board&)> shown;  // the board shows what the lines bring
    int sessions;
};

void PrintTo(const DriftCase& c, std::ostream* os) { *os << c.name; }

bool numberShows(const Board& b, const QString& text) { return b.value("Nummer").text == text; }
bool idle(const Board& b) { return numberShows(b, "   ") && b.value("Textfeld1_V").text.isEmpty(); }

const DriftCase kDriftCases[] = {
    {"NumbersAndRanksOfOneTwoAndThreeDigits", "",
     {finish(123, 61000, 3), finish(42, 62500, 12), running(9, 5000), finish(7, 63000, 1)},
     [](const Board& b) { return numberShows(b, "7") && b.value("Rang").text == " 1"; }, 10},
    {"NumberEnd1WithoutAnyLine", "NumberEnd 1\r\n", {}, idle, 3},
    {"NumberEnd3WithoutAnyLine", "NumberEnd 3\r\n", {}, idle, 3},
    {"RankEnd1AfterARank", "RankEnd 1\r\n", {finish(12, 64000, 3)},
     [](const Board& b) { return numberShows(b, "12") && b.value("Rang").text == " 3."; }, 3},
    {"RightAlignedTextField2AfterOneRunner", "AlignmentText2 2\r\n", {running(7, 3000)},
     [](const Board& b) { return numberShows(b, "7") && b.value("Textfeld2_V").text == "ITA"; }, 3},
    {"RightAlignedTextField1AfterOneRunner", "AlignmentText1 2\r\n", {running(7, 3000)},
     [](const Board& b) { return numberShows(b, "7") && b.value("Textfeld1_V").text == "Rossi G."; }, 3},
};

// Every element's place as designed (no place in the starting disp.ini).
const QMap<QString, QString> kDesignPlaces = {
    {"RankX", "510"},     {"RankY", "0"},       {"NumberX", "511"},   {"NumberY", "48"},   {"TimeX", "500"},
    {"TimeY", "96"},      {"GivenTimeX", "508"}, {"GivenTimeY", "152"}, {"Text1X", "508"},  {"Text1Y", "408"},
    {"Text2X", "508"},    {"Text2Y", "488"},    {"Text3X", "508"},    {"Text3Y", "568"},   {"TextA1X", "516"},
    {"TextA1Y", "208"},   {"TextA4X", "516"},   {"TextA4Y", "352"},   {"Logo1X", "120"},   {"Logo1Y", "648"},
    {"Logo2X", "121"},    {"Logo2Y", "671"},    {"Logo3X", "440"},    {"Logo3Y", "664"}};

class Drift : public ::testing::TestWithParam<DriftCase> {};

} // namespace

// The start number and the rank keep their places with numbers of every
// length and with suffixes; a right-aligned text field keeps its place after
// a runner arrived. Every session ends another way (Quit, SIGTERM, kill -9
// after the autosave); after each, disp.ini holds the same, key for key, and
// every element stands where it stood after the first.
TEST_P(Drift, NoElementCreepsWhateverItShowsAtASave) {
    const DriftCase& c = GetParam();
    XServer x({QSize(1600, 1200), true});
    ASSERT_EQ(x.error().toStdString(), "");
    Program p(x);
    p.dir.write("disp.ini", "DisplayLeft 60\r\nDisplayTop 40\r\nDisplayWidth 803\r\n"
                            "COM 1\r\nBAUD 115200\r\n" + c.ini);
    QMap<QString, QString> firstIni;
    Board firstBoard;
    for (int s = 0; s < c.sessions; ++s) {
        const Ending how = Ending(s % 3);
        SCOPED_TRACE(QString("session %1, ended with %2").arg(s + 1).arg(kEndingNames[int(how)]).toStdString());
        // The table as it came: the places are under test, not the results.
        QFile::remove(p.dir.file("liste.xls"));
        ASSERT_TRUE(QFile::copy(TD_SOURCE_DIR "/data/liste.xls", p.dir.file("liste.xls")));
        ASSERT_TRUE(p.start());
        ASSERT_TRUE(p.send(c.lines));
        const Board board = p.settledBoard(c.shown);
        ASSERT_TRUE(c.shown(board)) << "the board never showed what the lines bring";
        ASSERT_TRUE(p.end(how));
        const QMap<QString, QString> ini = p.settings();
        if (s == 0) {
            ASSERT_GT(ini.size(), 130);  // the program's own, complete
            for (auto it = kDesignPlaces.begin(); it != kDesignPlaces.end(); ++it)
                EXPECT_EQ(ini.value(it.key()).toStdString(), it.value().toStdString()) << it.key().toStdString();
            firstIni = ini;
            firstBoard = board;
            continue;
        }
        for (auto it = firstIni.begin(); it != firstIni.end(); ++it)
            EXPECT_EQ(ini.value(it.key()).toStdString(), it.value().toStdString()) << it.key().toStdString();
        EXPECT_EQ(ini.size(), firstIni.size());
        EXPECT_TRUE(board == firstBoard) << differences(firstBoard, board);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Drift, ::testing::ValuesIn(kDriftCases),
                         [](const ::testing::TestParamInfo<DriftCase>& i) { return std::string(i.param.name); });

namespace {

// The window ids of the program's dialogs, once there is one.
QStringList dialogsOf(const XServer& x, const Program& p) {
    QStringList others;
    pollUntil(
        [&] {
            others = x.windowsOf(p.app.processId());
            others.removeAll(p.window);
            return !others.isEmpty();
        },
        10000);
    return others;
}

// "Sprache", then the file typed into the dialog, as the operator does it.
::testing::AssertionResult chooseLanguage(const XServer& x, Program& p, const QString& file) {
    if (!p.click(kLanguage))
        return ::testing::AssertionFailure() << "no click on \"Sprache\"";
    const QStringList dialogs = dialogsOf(x, p);
    if (dialogs.size() != 1)
        return ::testing::AssertionFailure() << dialogs.size() << " dialogs opened";
    QThread::msleep(300);  // the dialog has taken the keyboard
    if (!x.tool("xdotool", {"type", "--delay", "20", file}) || !x.tool("xdotool", {"key", "Return"}))
        return ::testing::AssertionFailure() << "typing into the dialog failed";
    if (!pollUntil([&] { return x.windowsOf(p.app.processId()) == QStringList{p.window}; }, 10000))
        return ::testing::AssertionFailure() << "the dialog did not close";
    return ::testing::AssertionSuccess();
}

// english.lng with another idle text for text field 2 (line 87), longer than "Text2".
QString otherLanguage(const Program& p) {
    QList<QByteArray> lines = p.dir.read("english.lng").split('\n');
    lines[86] = "Nationality\r";
    const QString path = p.dir.file("other.lng");
    p.dir.write("other.lng", lines.join('\n'));
    return path;
}

} // namespace

// After a language change the shadows of a right-aligned text field lie
// where the border and shifts put them, as at start-up, and the field keeps
// its designed place.
TEST(Places, ShadowsLieUnderTheirFieldAfterALanguageChange) {
    XServer x({QSize(1600, 1200), true});
    ASSERT_EQ(x.error().toStdString(), "");
    Program p(x);
    // Border 2, shifts 3 to the right and 1 up.
    p.dir.write("disp.ini", "DisplayLeft 60\r\nDisplayTop 40\r\nDisplayWidth 803\r\n"
                            "COM 1\r\nAlignmentText2 2\r\nBorderText2 2\r\nPixelHText2 13\r\nPixelVText2 11\r\n");
    const QString language = otherLanguage(p);
    ASSERT_TRUE(p.start());
    const Board before = p.settledBoard(idle);
    ASSERT_EQ(before.value("Textfeld2_V").text, "Text2");
    ASSERT_TRUE(chooseLanguage(x, p, language));
    const Board after =
        p.settledBoard([](const Board& b) { return b.value("Textfeld2_V").text == "Nationality"; });
    const Place v = after.value("Textfeld2_V");
    ASSERT_EQ(v.text, "Nationality");
    const int b = 2, h = 3, up = 1;
    const std::pair<const char*, QPoint> shadows[] = {{"Textfeld2_HLO", {h - b, -up - b}},
                                                      {"Textfeld2_HLU", {h - b, -up + b}},
                                                      {"Textfeld2_HRO", {h + b, -up - b}},
                                                      {"Textfeld2_HRU", {h + b, -up + b}}};
    for (const auto& [name, offset] : shadows) {
        const Place s = after.value(name);
        EXPECT_EQ(QPoint(s.x, s.y), QPoint(v.x, v.y) + offset) << name << ": " << describe(s) << " under "
                                                              << describe(v);
        EXPECT_EQ(s.width, v.width) << name;
        EXPECT_EQ(s.text, v.text) << name;
    }
    // Right-aligned: the longer text grows to the left of the same right edge.
    const Place was = before.value("Textfeld2_V");
    EXPECT_EQ(v.x + v.width, was.x + was.width);
    ASSERT_TRUE(p.end(Ending::Term));
    EXPECT_EQ(p.settings().value("Text2X"), "508");
    EXPECT_EQ(p.settings().value("Language"), language);
}

// After the Language dialog closes, F9 starts the board without a click:
// the main window has taken the keyboard back.
TEST(Places, F9WorksRightAfterTheLanguageDialog) {
    XServer x({QSize(1600, 1200), true});
    ASSERT_EQ(x.error().toStdString(), "");
    Program p(x);
    p.dir.write("disp.ini", "DisplayLeft 60\r\nDisplayTop 40\r\nDisplayWidth 803\r\nCOM 1\r\n");
    const QString language = otherLanguage(p);
    ASSERT_TRUE(p.start());
    p.settledBoard(idle);
    ASSERT_TRUE(chooseLanguage(x, p, language));
    // To whatever has the keyboard, as a key the operator presses.
    ASSERT_TRUE(x.tool("xdotool", {"key", "F9"}));
    EXPECT_TRUE(pollUntil([&] { return x.netWmState(p.window).contains("_NET_WM_STATE_FULLSCREEN"); }, 5000))
        << x.netWmState(p.window).join(' ').toStdString();
    ASSERT_TRUE(p.end(Ending::Term));
}

// A click on a picture picks it up wherever on it the click lands, also on
// its left edge, which the "visible" check box beside it reaches into; the
// check boxes still work where they are. The places put down are saved.
TEST(Places, PicturesArePickedUpWhereverTheyAreClicked) {
    XServer x({QSize(1600, 1200), true});
    ASSERT_EQ(x.error().toStdString(), "");
    Program p(x);
    p.dir.write("disp.ini", "DisplayLeft 60\r\nDisplayTop 40\r\nDisplayWidth 803\r\nCOM 1\r\n");
    ASSERT_TRUE(p.start());
    p.settledBoard(idle);
    struct Move {
        const char* name;
        QPoint grip;  // the click that picks it up: 5 pixels from its left edge
        QPoint to;    // inside the picture, where its top left corner jumps
    };
    const Move moves[] = {{"Logo1", {120 + 5, 648 + 10}, {300, 660}}, {"Logo2", {121 + 5, 671 + 10}, {320, 690}}};
    for (const Move& m : moves) {
        SCOPED_TRACE(m.name);
        ASSERT_TRUE(p.click(m.grip));
        ASSERT_TRUE(x.tool("xdotool", {"mousemove", "--sync", "--window", p.window, QString::number(m.to.x()),
                                       QString::number(m.to.y())}));
        ASSERT_TRUE(pollUntil([&] { const Place l = p.board().value(m.name); return QPoint(l.x, l.y) == m.to; },
                              3000))
            << describe(p.board().value(m.name));
        ASSERT_TRUE(x.tool("xdotool", {"click", "1"}));  // put down where it now is, under the pointer
        ASSERT_TRUE(x.tool("xdotool", {"mousemove", "--sync", "--window", p.window, "700", "300"}));
        const Place put = p.settledBoard([](const Board&) { return true; }).value(m.name);
        EXPECT_EQ(QPoint(put.x, put.y), m.to) << describe(put);
        EXPECT_TRUE(put.visible);
    }
    // "Logo 1 visible" at its own place still switches the first picture.
    ASSERT_TRUE(p.click({16 + 5, 648 + 8}));
    EXPECT_TRUE(pollUntil([&] { return !p.board().value("Logo1").visible; }, 3000));
    ASSERT_TRUE(p.end(Ending::Quit));
    const auto ini = p.settings();
    EXPECT_EQ(ini.value("Logo1X"), "300");
    EXPECT_EQ(ini.value("Logo1Y"), "660");
    EXPECT_EQ(ini.value("Logo2X"), "320");
    EXPECT_EQ(ini.value("Logo2Y"), "690");
    EXPECT_EQ(ini.value("DisplayLogo1"), "0");
    EXPECT_EQ(ini.value("DisplayLogo2"), "1");
}
