// The real program on a real pseudo-terminal with its web board: a WebSocket
// client and a headless Chromium see the lines sent, a taken port leaves the
// board running, and the board listens only where it is told.
#include "RunningProgram.h"
#include "WebClient.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>

namespace {

QString shownTime(const QJsonObject& message) {
    return message["time"].toString();
}

} // namespace

TEST(WebProgram, LiveClientGetsTheWholeStateFirstThenTheChangesOfALine) {
    Program p({"--web-port", "any"});
    const quint16 port = p.webPort();
    ASSERT_NE(port, 0) << p.errors().toStdString();
    EXPECT_EQ(p.url(), QString("http://127.0.0.1:%1/").arg(port));
    ASSERT_TRUE(p.portOpened());
    LiveClient live(port);
    ASSERT_TRUE(waitFor([&] { return !live.messages.isEmpty(); }, 5000));
    const QJsonObject first = live.messages[0].json;
    EXPECT_EQ(first["type"].toString(), "state");
    QStringList names;
    for (const QJsonValue& e : first["elements"].toArray())
        names << e.toObject()["name"].toString();
    for (const char* n : {"Rang", "Nummer", "Vorgabezeit", "Zeit_Hz", "Zeit_t", "Textfeld1_V", "TextA4", "Logo3"})
        EXPECT_TRUE(names.contains(n)) << n;
    EXPECT_NE(shownTime(first), "1:23.45");

    p.send("012.    00:01:23.456  ");
    ASSERT_TRUE(waitFor([&] { return shownTime(live.messages.last().json) == "1:23.45"; }, 5000))
        << shownTime(live.messages.last().json).toStdString();
    const QJsonObject change = live.messages.last().json;
    EXPECT_EQ(change["type"].toString(), "change");
    EXPECT_EQ(change["number"].toString(), "12");
    QStringList changed;
    for (const QJsonValue& e : change["elements"].toArray())
        changed << e.toObject()["name"].toString();
    EXPECT_TRUE(changed.contains("Zeit_Se")) << changed.join(',').toStdString();
    EXPECT_FALSE(changed.contains("Logo1"));
}

TEST(WebProgram, BrowserShowsTheNewTimeAfterALine) {
    Program p({"--web-port", "any"});
    const quint16 port = p.webPort();
    ASSERT_NE(port, 0) << p.errors().toStdString();
    ASSERT_TRUE(p.portOpened());
    p.send("012.    00:02:34.567  ");
    LiveClient live(port);  // the line has reached the board
    ASSERT_TRUE(waitFor([&] { return !live.messages.isEmpty() && shownTime(live.messages.last().json) == "2:34.56"; },
                        5000));

    // The twelve digit elements as drawn, in order, hidden ones left out.
    const QRegularExpression digit("<div id=\"(Zeit_\\w+)\" class=\"([^\"]*)\"[^>]*>([^<]*)</div>");
    QString dom, time;
    int digits = 0;
    // The page is dumped after a budget of virtual time; with both cores busy
    // its socket may not have brought the board by then, so it is loaded again.
    for (int attempt = 0; attempt < 3 && digits == 0; ++attempt) {
        QTemporaryDir profile;
        QProcess chromium;
        chromium.start("chromium", {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                                    "--disable-background-networking", "--disable-component-update", "--disable-sync",
                                    "--user-data-dir=" + profile.path(), "--virtual-time-budget=3000", "--dump-dom",
                                    QString("http://127.0.0.1:%1/?fit=1").arg(port)});
        ASSERT_TRUE(chromium.waitForFinished(60000));
        dom = QString::fromUtf8(chromium.readAllStandardOutput());
        time.clear();
        for (auto it = digit.globalMatch(dom); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            ++digits;
            if (!m.captured(2).contains("hidden"))
                time += m.captured(3);
        }
    }
    EXPECT_EQ(digits, 12) << dom.left(2000).toStdString();
    EXPECT_EQ(time, "2:34.56");
    EXPECT_TRUE(dom.contains("<title>2:34.56</title>"));
    EXPECT_TRUE(dom.contains("id=\"Nummer\""));
}

// Headless Chromium driven through its DevTools protocol: the page is open
// first, then a line is sent, and the page's own digits follow.
class Browser {
public:
    bool start() {
        chromium.start("chromium", {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                                    "--disable-background-networking", "--disable-component-update", "--disable-sync",
                                    "--user-data-dir=" + profile.path(), "--remote-debugging-port=0", "about:blank"});
        QString endpoint;
        waitFor([&] {
            err += chromium.readAllStandardError();
            const auto m = QRegularExpression("DevTools listening on (ws://\\S+)").match(QString::fromUtf8(err));
            endpoint = m.hasMatch() ? m.captured(1) : QString();
            return !endpoint.isEmpty() || chromium.state() == QProcess::NotRunning;
        }, 30000);
        if (endpoint.isEmpty())
            return false;
        QObject::connect(&devtools, &QWebSocket::textMessageReceived, [this](const QString& t) {
            const QJsonObject o = QJsonDocument::fromJson(t.toUtf8()).object();
            if (o.contains("id"))
                replies[o["id"].toInt()] = o;
        });
        devtools.open(QUrl(endpoint));
        return waitFor([&] { return devtools.state() == QAbstractSocket::ConnectedState; }, 10000);
    }
    ~Browser() {
        devtools.close();
        chromium.kill();
        chromium.waitForFinished(5000);
    }
    QJsonObject call(const QString& method, const QJsonObject& params, const QString& session = {}) {
        const int id = ++lastId;
        QJsonObject m{{"id", id}, {"method", method}, {"params", params}};
        if (!session.isEmpty())
            m["sessionId"] = session;
        devtools.sendTextMessage(QString::fromUtf8(QJsonDocument(m).toJson(QJsonDocument::Compact)));
        waitFor([&] { return replies.contains(id); }, 15000);
        return replies.value(id)["result"].toObject();
    }
    // Opens url in a new page (of width x height, 0: the default); the session to talk to it.
    QString open(const QString& url, int width = 0, int height = 0) {
        const QString target = call("Target.createTarget", {{"url", "about:blank"}})["targetId"].toString();
        const QString session =
            call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}})["sessionId"].toString();
        if (width > 0)
            call("Emulation.setDeviceMetricsOverride",
                 {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", true}}, session);
        call("Page.navigate", {{"url", url}}, session);
        return session;
    }
    QString evaluate(const QString& session, const QString& expression) {
        return call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}}, session)["result"]
            .toObject()["value"]
            .toString();
    }

    QTemporaryDir profile;
    QProcess chromium;
    QByteArray err;
    QWebSocket devtools;
    QHash<int, QJsonObject> replies;
    int lastId = 0;
};

TEST(WebProgram, BrowserPageFollowsTheBoardLive) {
    Program p({"--web-port", "any"});
    const quint16 port = p.webPort();
    ASSERT_NE(port, 0) << p.errors().toStdString();
    ASSERT_TRUE(p.portOpened());
    Browser b;
    ASSERT_TRUE(b.start()) << b.err.toStdString();
    const QString page = b.open(QString("http://127.0.0.1:%1/?transparent=1&fit=1").arg(port));
    ASSERT_FALSE(page.isEmpty());
    // The digits as the page draws them: the time group's visible elements in order.
    const QString digits = "Array.from(document.querySelectorAll('[data-group=time]'))"
                           ".filter(e => getComputedStyle(e).display != 'none').map(e => e.textContent).join('')";
    ASSERT_TRUE(waitFor([&] { return !b.evaluate(page, digits).isEmpty(); }, 15000));
    EXPECT_NE(b.evaluate(page, digits), "3:45.67");

    p.send("012.    00:03:45.678  ");
    EXPECT_TRUE(waitFor([&] { return b.evaluate(page, digits) == "3:45.67"; }, 5000)) << b.evaluate(page, digits).toStdString();
    EXPECT_EQ(b.evaluate(page, "document.getElementById('Nummer').textContent"), "12");
    // Drawn in the served font, on a transparent page.
    EXPECT_EQ(b.evaluate(page, "getComputedStyle(document.body).backgroundColor"), "rgba(0, 0, 0, 0)");
    // The served font arrives on its own request, possibly after the first digits.
    EXPECT_TRUE(waitFor([&] { return b.evaluate(page, "String(document.fonts.check('700 35px \"board-font-0\"'))") == "true"; }, 5000));
    EXPECT_TRUE(waitFor(
        [&] {
            return b.evaluate(page, "Array.from(document.fonts).filter(f => f.status == 'loaded').length > 0 ? 'yes' : 'no'") ==
                   "yes";
        },
        5000));
}

TEST(WebProgram, OnAPhoneFitContentFillsTheScreenWithTheElementsShown) {
    Program p({"--web-port", "any"});
    const quint16 port = p.webPort();
    ASSERT_NE(port, 0) << p.errors().toStdString();
    ASSERT_TRUE(p.portOpened());
    p.send("012.    00:03:45.678  ");
    Browser b;
    ASSERT_TRUE(b.start()) << b.err.toStdString();
    // The box around the drawn time digits, on the screen: left, top, width, height.
    const QString timeBox =
        "(() => { const r = Array.from(document.querySelectorAll('[data-group=time]'))"
        ".filter(e => getComputedStyle(e).display != 'none').map(e => e.getBoundingClientRect());"
        "if (!r.length) return '';"
        "const l = Math.min(...r.map(x => x.left)), t = Math.min(...r.map(x => x.top));"
        "return [l, t, Math.max(...r.map(x => x.right)) - l, Math.max(...r.map(x => x.bottom)) - t]"
        ".map(Math.round).join(','); })()";
    auto box = [&](const QString& session) {
        QList<int> v;
        waitFor([&] {
            v.clear();
            for (const QString& n : b.evaluate(session, timeBox).split(',', Qt::SkipEmptyParts))
                v << n.toInt();
            return v.size() == 4 && b.evaluate(session, "document.title") == "3:45.67";
        }, 15000);

        return v;
    };
    const int phoneWidth = 390, phoneHeight = 844;
    // The time alone fills the phone's width, centred.
    const QList<int> content =
        box(b.open(QString("http://127.0.0.1:%1/?fit=content&show=time").arg(port), phoneWidth, phoneHeight));
    ASSERT_EQ(content.size(), 4);
    EXPECT_GE(content[0], -1);
    EXPECT_GE(content[2], phoneWidth - 4);
    EXPECT_LE(content[0] + content[2], phoneWidth + 1);
    EXPECT_NEAR(content[1] + content[3] / 2, phoneHeight / 2, 4);
    // fit=1 stays the overlay's: the whole board in the window, the time small on it.
    const QList<int> whole = box(b.open(QString("http://127.0.0.1:%1/?fit=1&show=time").arg(port), phoneWidth, phoneHeight));
    ASSERT_EQ(whole.size(), 4);
    EXPECT_LT(whole[2], content[2] / 3);
    const QString page = b.open(QString("http://127.0.0.1:%1/?fit=1").arg(port), phoneWidth, phoneHeight);
    box(page);
    const QStringList board = b.evaluate(page, "(() => { const r = document.getElementById('board')"
                                               ".getBoundingClientRect(); return [r.width, r.height].map(Math.round)"
                                               ".join(','); })()").split(',');
    ASSERT_EQ(board.size(), 2);
    EXPECT_EQ(board[0].toInt(), phoneWidth);
    EXPECT_LT(board[1].toInt(), phoneHeight);
}

TEST(WebProgram, APortInUseLeavesTheBoardRunningWithoutWeb) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    const QString port = QString::number(taken.serverPort());
    struct Case {
        QStringList args;
        QByteArray ini;
    } cases[] = {
        {{"--web-port", port}, "COM 1\r\nBAUD 115200\r\n"},
        {{}, "COM 1\r\nBAUD 115200\r\nWebPort " + port.toLatin1() + "\r\n"},  // as the settings say
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini.toStdString());
        Program p(c.args, c.ini);
        ASSERT_TRUE(waitFor([&] { return p.errors().contains("Web board not started"); }, 15000))
            << p.errors().toStdString();
        EXPECT_TRUE(p.errors().contains(port));
        // The board runs on: it opens its line and takes lines.
        ASSERT_TRUE(p.portOpened());
        p.send("012.    00:01:23.456  ");
        spin(500);
        EXPECT_EQ(p.app.state(), QProcess::Running);
        EXPECT_TRUE(p.url().isEmpty());
    }
}

TEST(WebProgram, ListensWhereTold) {
    struct Case {
        QStringList args;
        QByteArray ini;
        const char* host;       // printed and reachable
        const char* notThere;   // not reachable
    } cases[] = {
        {{"--web-port", "any"}, "", "127.0.0.1", "127.0.0.2"},  // loopback only by default
        {{"--web-port", "any"}, "WebListen 127.0.0.2\r\n", "127.0.0.2", "127.0.0.1"},
        {{"--web-port", "any", "--web-listen", "127.0.0.3"}, "WebListen 127.0.0.2\r\n", "127.0.0.3", "127.0.0.2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        Program p(c.args, c.ini);
        const quint16 port = p.webPort();
        ASSERT_NE(port, 0) << p.errors().toStdString();
        EXPECT_EQ(p.url(), QString("http://%1:%2/").arg(c.host).arg(port));
        auto reachable = [&](const char* host) {
            QTcpSocket s;
            s.connectToHost(QHostAddress(host), port);
            return s.waitForConnected(2000);
        };
        EXPECT_TRUE(reachable(c.host));
        EXPECT_FALSE(reachable(c.notThere));
    }
    // No address: one notice, the board runs without web output.
    Program wrong({"--web-port", "any", "--web-listen", "the.moon"});
    EXPECT_TRUE(waitFor([&] { return wrong.errors().contains("\"the.moon\" is no IP address"); }, 15000))
        << wrong.errors().toStdString();
    EXPECT_TRUE(wrong.portOpened());
    EXPECT_TRUE(wrong.url().isEmpty());
    // Off: no line, the board runs.
    Program off({}, "COM 1\r\nBAUD 115200\r\nWebPort 0\r\n");
    EXPECT_TRUE(off.portOpened());
    spin(500);
    EXPECT_TRUE(off.url().isEmpty());
    EXPECT_FALSE(off.errors().contains("Web board"));
}

// The running time across a minute and an hour, as the board shows it, in
// each combination of automatic or fixed format and seconds mode. Seconds
// mode lays the places out without room for the colons, so a colon that
// shows there lies on a digit.
TEST(WebProgram, RunningTimeAcrossMinuteAndHourPutsNoColonOnADigit) {
    static const char* const places[] = {"Zeit_Hz", "Zeit_He", "Zeit_Dp1", "Zeit_Mz", "Zeit_Me", "Zeit_Dp2",
                                         "Zeit_Sz", "Zeit_Se", "Zeit_Pt",  "Zeit_z",  "Zeit_h",  "Zeit_t"};
    // The device blanks leading zeros; '.' at 4 marks a running time.
    static const char* const fields[] = {"      59.990", "    1:00.000", "   59:59.990", " 1:00:00.000"};
    struct Case {
        const char* settings;  // format (0 "Automatisch", 4 "H:MM:SS"), seconds mode; precision 1/100
        const char* shows[4];  // the twelve places left to right, '_' for a hidden one
    } cases[] = {
        {"TimeMode 0\r\nSecMode 0\r\n", {"______59.9__", "____1:00.0__", "___59:59.9__", "_1:00:00.0__"}},
        {"TimeMode 0\r\nSecMode 1\r\n", {"______59.9__", "____1_00.0__", "___59_59.9__", "_1_00_00.0__"}},
        {"TimeMode 4\r\nSecMode 0\r\n", {"_ :   59.99_", "_ : 1:00.00_", "_ :59:59.99_", "_1:00:00.00_"}},
        {"TimeMode 4\r\nSecMode 1\r\n", {"_ _  _59.99_", "_ _ 1_00.00_", "_ _59_59.99_", "_1_00_00.00_"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        Program p({"--web-port", "any"}, QByteArray("COM 1\r\nBAUD 115200\r\nPrecisionTime 2\r\n") + c.settings);
        const quint16 port = p.webPort();
        ASSERT_NE(port, 0) << p.errors().toStdString();
        ASSERT_TRUE(p.portOpened());
        struct Place {
            bool visible;
            QString text;
            int left, right;
        };
        QHash<QString, Place> board;
        auto read = [&] {
            board.clear();
            const QJsonObject state = QJsonDocument::fromJson(httpGet(port, "/state").body).object();
            for (const QJsonValue& v : state["elements"].toArray()) {
                const QJsonObject e = v.toObject();
                board[e["name"].toString()] = {e["visible"].toBool(), e["text"].toString(), e["x"].toInt(),
                                               e["x"].toInt() + e["width"].toInt()};
            }
            QString s;
            for (const char* n : places)
                s += board.value(n).visible ? board.value(n).text : QStringLiteral("_");
            return s;
        };
        for (int i = 0; i < 4; ++i) {
            p.send(QByteArray("  7.    ") + fields[i] + "  ");
            QString shown;
            EXPECT_TRUE(waitFor([&] { return (shown = read()) == c.shows[i]; }, 5000))
                << fields[i] << " shows \"" << shown.toStdString() << "\"";
            // No two shown places cover each other.
            for (int a = 0; a < 12; ++a)
                for (int b = a + 1; b < 12; ++b) {
                    const Place &pa = board.value(places[a]), &pb = board.value(places[b]);
                    if (pa.visible && pb.visible) {
                        EXPECT_LE(pa.right, pb.left) << fields[i] << ": " << places[a] << " lies on " << places[b];
                    }
                }
        }
    }
}
