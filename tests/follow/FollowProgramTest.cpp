// The real program twice: a primary on a pseudo-terminal and a follower fed
// by it over a real mosquitto or over the primary's web board. The follower
// shows what the primary shows (both web boards' /state compared), keeps its
// last board while the way between them is down, shows the whole board again
// when it is back, and opens no port and records nothing meanwhile.
#include "Broker.h"
#include "RaceModel.h"
#include "RunningProgram.h"
#include "WebClient.h"
#include "XServer.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QWebSocket>
#include <QWebSocketServer>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <signal.h>

namespace {

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QJsonObject state(quint16 web) { return QJsonDocument::fromJson(httpGet(web, "/state").body).object(); }

// What a board shows: per element its text and visibility, and the plain
// fields an overlay or an LED board reads (as "/time", "/texts/0" ...).
using Shown = std::map<std::string, std::string>;
Shown shown(const QJsonObject& s) {
    Shown m;
    for (const QJsonValue& v : s["elements"].toArray()) {
        const QJsonObject e = v.toObject();
        m[e["name"].toString().toStdString()] =
            ((e["visible"].toBool() ? "shown: " : "hidden: ") + e["text"].toString()).toStdString();
    }
    for (const char* key : {"time", "rank", "number", "preset"})
        m[std::string("/") + key] = s[key].toString("(none)").toStdString();
    for (const char* key : {"texts", "boards"}) {
        const QJsonArray a = s[key].toArray();
        if (a.isEmpty())
            m[std::string("/") + key] = "(none)";
        for (qsizetype i = 0; i < a.size(); ++i)
            m["/" + std::string(key) + "/" + std::to_string(i)] = a[i].toString().toStdString();
    }
    return m;
}

std::string describe(const Shown& a, const Shown& b) {
    std::string out;
    for (const auto& [name, v] : a)
        if (b.count(name) == 0 || b.at(name) != v)
            out += name + ": '" + v + "' vs '" + (b.count(name) ? b.at(name) : "(none)") + "'\n";
    return out;
}

// Both boards show the same, and the primary's board is not the one it had before the lines.
bool same(quint16 primary, quint16 follower, int ms = 5000) {
    return waitFor([&] { return shown(state(primary)) == shown(state(follower)); }, ms);
}

QImage picture(quint16 web, int n) {
    return QImage::fromData(httpGet(web, "/picture/" + QByteArray::number(n)).body);
}

// Pictures of the follower's own, unlike the shipped ones.
void ownPictures(const QTemporaryDir& dir) {
    for (int n = 1; n <= 3; ++n) {
        QImage img(40 + n, 20, QImage::Format_RGB32);
        img.fill(QColor(200, 30 * n, 10));
        img.save(dir.filePath(QString("logo%1.bmp").arg(n)), "BMP");
    }
}

// A follower's folder: its own layout (another time format, another place
// for the rank), its own pictures, a port it must not open, no time table.
QByteArray followerIni() { return "COM 1\r\nBAUD 115200\r\nTimeMode 1\r\nRankX 300\r\nRankY 400\r\nRankFontSize 60\r\n"; }

// Lines a race sends: running times, results with ranks (names from the
// table in the text fields), copies on the addressed boards.
void race(Program& p, int runners, uint32_t seed) {
    sim::RaceOptions o;
    o.runners = runners;
    o.seed = seed;
    int sent = 0;
    for (const sim::TimedLine& l : sim::raceLines(o)) {
        if (l.line.size() > 4 && l.line[0] == 'A' && l.line[3] == 'F')
            continue;  // the start number prompt is another story
        p.send(l.line);
        if (++sent % 10 == 0)
            spin(20);
    }
}

// The follower's checks after a session: no port opened, nothing recorded.
void recordedNothing(Program& follower) {
    EXPECT_FALSE(slaveOpened(follower.pty.masterFd())) << "the follower opened its port";
    EXPECT_FALSE(QFile::exists(follower.dir.filePath("liste.xls"))) << "the follower wrote a time table";
    EXPECT_TRUE(QDir(follower.dir.path()).entryList({"journal*"}).isEmpty()) << "the follower kept a journal";
}

} // namespace

// Over the broker: the follower shows the primary's texts and visibility,
// keeps its own pictures, keeps its board while the broker is away and shows
// the whole board again as soon as the broker is back.
TEST(FollowProgram, AFollowerOnTheBrokerShowsThePrimarysBoardAndComesBackAfterTheBroker) {
    Broker b;
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    const QString url = QString("mqtt://127.0.0.1:%1/venue/hall1").arg(b.port());
    Program primary({"--web-port", "any", "--mqtt", url}, "COM 1\r\nBAUD 115200\r\n");
    const quint16 pw = primary.webPort();
    ASSERT_NE(pw, 0) << primary.errors().toStdString();
    ASSERT_TRUE(waitFor([&] { return slaveOpened(primary.pty.masterFd()); }, 15000));
    spin(300);
    primary.send(sim::normalLine(3, '.', 61230, 0));

    // Its disp.ini a copy of the primary's broker settings: it must not publish there.
    Program follower({"--web-port", "any", "--follow", url},
                     followerIni() + "MqttHost 127.0.0.1\r\nMqttPort " + QByteArray::number(b.port()) +
                         "\r\nMqttTopic venue/hall1\r\n",
                     ownPictures);
    const quint16 fw = follower.webPort();
    ASSERT_NE(fw, 0) << follower.errors().toStdString();
    // The board as it stands when the follower comes: from the retained state.
    ASSERT_TRUE(same(pw, fw, 10000)) << describe(shown(state(pw)), shown(state(fw)));
    EXPECT_TRUE(waitFor([&] { return follower.followStatus() == "following " + url + ": connected"; }, 5000))
        << follower.output().toStdString();

    race(primary, 3, 7);
    // Lines the operator sends to the follower's port go nowhere: it has none.
    follower.send(sim::normalLine(9, 'C', 99000, 1));
    ASSERT_TRUE(same(pw, fw)) << describe(shown(state(pw)), shown(state(fw)));
    const auto raced = shown(state(fw));
    EXPECT_NE(raced.at("Textfeld1_V"), "shown: ") << "the race named a runner";
    // Its own layout: the rank where the follower's disp.ini puts it.
    const auto rank = [](quint16 w) {
        for (const QJsonValue& v : state(w)["elements"].toArray())
            if (v["name"] == "Rang")
                return QPoint(v["x"].toInt(), v["y"].toInt());
        return QPoint();
    };
    EXPECT_NE(rank(fw), rank(pw));
    // Pictures do not travel over the broker: the follower keeps its own.
    EXPECT_EQ(picture(fw, 1).size(), QSize(41, 20));

    // Garbage, a huge message and unknown names on the state topic are
    // ignored: the follower runs on and takes the next good state.
    QTemporaryDir junk;
    QFile big(junk.filePath("big"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write("{\"type\":\"state\",\"elements\":[" + QByteArray(3 << 20, ' ') + "]}");
    big.close();
    const QString topic = "venue/hall1/state";
    for (const QStringList& pub :
         {QStringList{"-m", "{\"type\":\"state\",\"elements\":[{"}, QStringList{"-f", big.fileName()},
          QStringList{"-m", R"({"type":"state","elements":[{"name":"Nope","kind":"text","text":"x","visible":true},)"
                            R"({"name":"TextA4","kind":"text","text":"Hallo","visible":true}]})"}}) {
        QProcess p;
        p.start("mosquitto_pub", QStringList{"-h", "127.0.0.1", "-p", QString::number(b.port()), "-t", topic} + pub);
        ASSERT_TRUE(p.waitForFinished(10000));
    }
    EXPECT_TRUE(waitFor([&] { return shown(state(fw))["TextA4"] == "shown: Hallo"; }, 5000));
    EXPECT_EQ(follower.app.state(), QProcess::Running);
    primary.send(sim::normalLine(4, '.', 71230, 0));
    ASSERT_TRUE(same(pw, fw)) << describe(shown(state(pw)), shown(state(fw)));

    // The broker goes away: the follower says so and keeps its last board
    // while the primary's board goes on.
    const auto before = shown(state(fw));
    b.stop();
    EXPECT_TRUE(waitFor([&] { return follower.followStatus().startsWith("following " + url + ": not connected"); },
                        15000))
        << follower.output().toStdString();
    race(primary, 2, 11);
    spin(500);
    EXPECT_EQ(shown(state(fw)), before);
    EXPECT_NE(shown(state(pw)), before);
    // Back: the whole board at once, not only what changes next.
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    EXPECT_TRUE(same(pw, fw, 15000)) << describe(shown(state(pw)), shown(state(fw)));
    EXPECT_TRUE(waitFor([&] { return follower.followStatus() == "following " + url + ": connected"; }, 5000))
        << follower.output().toStdString();

    recordedNothing(follower);
    follower.stop();
    recordedNothing(follower);
    // The follower ended; the primary is still there and its board with it.
    Subscriber late(b.port(), "venue/hall1/status");
    EXPECT_TRUE(late.waitFor([](auto m) { return !m.empty(); }));
    spin(300);
    EXPECT_EQ(late.on("venue/hall1/status"), std::vector<QByteArray>{"online"});
}

// Over the primary's web board: texts, visibility and pictures; the primary
// stopped and started again (its web board away meanwhile).
TEST(FollowProgram, AFollowerOfTheWebBoardShowsThePrimarysBoardAndPicturesAndComesBackAfterIt) {
    const quint16 pw = freePort();
    Program primary({"--web-port", QString::number(pw)}, "COM 1\r\nBAUD 115200\r\n");
    ASSERT_EQ(primary.webPort(), pw) << primary.errors().toStdString();
    ASSERT_TRUE(waitFor([&] { return slaveOpened(primary.pty.masterFd()); }, 15000));
    spin(300);
    const QString url = QString("http://127.0.0.1:%1/").arg(pw);
    Program follower({"--web-port", "any", "--follow", url}, followerIni(), ownPictures);
    const quint16 fw = follower.webPort();
    ASSERT_NE(fw, 0) << follower.errors().toStdString();
    EXPECT_TRUE(waitFor([&] { return follower.followStatus() == "following " + url + ": connected"; }, 10000))
        << follower.output().toStdString();

    race(primary, 3, 5);
    follower.send(sim::normalLine(9, 'C', 99000, 1));
    ASSERT_TRUE(same(pw, fw)) << describe(shown(state(pw)), shown(state(fw)));
    EXPECT_NE(shown(state(fw)).at("Textfeld1_V"), "shown: ");
    // The primary's pictures, fetched from its web board.
    for (int n = 1; n <= 3; ++n) {
        const QImage mine = picture(pw, n);
        ASSERT_FALSE(mine.isNull()) << n;
        EXPECT_TRUE(waitFor([&] { return picture(fw, n) == mine; }, 5000)) << n;
    }

    // The primary goes away: the follower says so and keeps its last board.
    const auto before = shown(state(fw));
    primary.stop();
    EXPECT_TRUE(waitFor([&] { return follower.followStatus().startsWith("following " + url + ": not connected"); },
                        10000))
        << follower.output().toStdString();
    spin(1000);
    EXPECT_EQ(shown(state(fw)), before);
    // Back with another board: the follower shows all of it.
    primary.start();
    ASSERT_EQ(primary.webPort(), pw) << primary.errors().toStdString();
    ASSERT_TRUE(waitFor([&] { return slaveOpened(primary.pty.masterFd()); }, 15000));
    spin(300);
    primary.send(sim::normalLine(17, '.', 83450, 0));
    EXPECT_TRUE(waitFor([&] { return shown(state(pw)) != before; }, 5000));
    EXPECT_TRUE(same(pw, fw, 15000)) << describe(shown(state(pw)), shown(state(fw)));
    EXPECT_TRUE(waitFor([&] { return follower.followStatus() == "following " + url + ": connected"; }, 5000))
        << follower.output().toStdString();

    recordedNothing(follower);
    follower.stop();
    recordedNothing(follower);
}

// On a desktop: a hotkey of the follower's own (F1 hides or shows picture 1)
// changes its board, and the followed board wins back at once, without a new
// message from the primary; F9 makes it the scoreboard as on any board.
TEST(FollowProgram, OnTheDesktopTheFollowedBoardWinsOverTheFollowersOwnHotkeysAndF9ShowsTheScoreboard) {
    XServer x;
    ASSERT_TRUE(x.error().isEmpty()) << x.error().toStdString();
    const quint16 pw = freePort();
    Program primary({"--web-port", QString::number(pw)}, "COM 1\r\nBAUD 115200\r\n");
    ASSERT_EQ(primary.webPort(), pw) << primary.errors().toStdString();
    ASSERT_TRUE(waitFor([&] { return slaveOpened(primary.pty.masterFd()); }, 15000));
    spin(300);
    primary.send(sim::normalLine(12, 'C', 85678, 1));
    const QString url = QString("http://127.0.0.1:%1/").arg(pw);
    Program follower({"--web-port", "any", "--follow", url}, followerIni(), ownPictures, &x);
    const quint16 fw = follower.webPort();
    ASSERT_NE(fw, 0) << follower.errors().toStdString();
    const auto id = x.findWindow("Fendral-Timing Time-display V1.5.1.1");
    ASSERT_TRUE(id) << follower.errors().toStdString();
    ASSERT_TRUE(same(pw, fw, 10000)) << describe(shown(state(pw)), shown(state(fw)));
    spin(1000);  // the first paint's settings load is over
    const std::string logo = shown(state(pw))["Logo1"];

    ASSERT_TRUE(x.key(*id, "F1"));
    // The key reached the follower: its own box changed (and is saved) ...
    EXPECT_TRUE(waitFor([&] { return follower.read("disp.ini").contains("\r\nDisplayLogo1 0\r\n"); }, 5000));
    // ... but the board shows the primary's.
    spin(500);
    EXPECT_EQ(shown(state(fw))["Logo1"], logo);
    EXPECT_EQ(shown(state(fw)), shown(state(pw))) << describe(shown(state(pw)), shown(state(fw)));

    ASSERT_TRUE(x.key(*id, "F9"));
    EXPECT_TRUE(waitFor([&] { return x.clientGeometry(*id) == QRect(QPoint(0, 0), x.screen()); }, 5000));
    primary.send(sim::normalLine(13, 'C', 86789, 2));
    EXPECT_TRUE(same(pw, fw)) << describe(shown(state(pw)), shown(state(fw)));
    recordedNothing(follower);
}

// A board that sends what no board sends, over the web board's WebSocket:
// junk, binary frames, a message far too large, names the follower does not
// have; then it hangs without closing. The follower drops the junk, shows
// the good states, and notices the hang by itself.
TEST(FollowProgram, AFollowerTakesOnlyGoodStatesFromTheWebAndNoticesABoardThatHangs) {
    QWebSocketServer server("fake board", QWebSocketServer::NonSecureMode);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    std::vector<std::unique_ptr<QWebSocket>> clients;
    QObject::connect(&server, &QWebSocketServer::newConnection,
                     [&] { clients.emplace_back(server.nextPendingConnection()); });
    const QString url = QString("http://127.0.0.1:%1/").arg(server.serverPort());
    Program follower({"--web-port", "any", "--follow", url}, followerIni(), ownPictures);
    const quint16 fw = follower.webPort();
    ASSERT_NE(fw, 0) << follower.errors().toStdString();
    ASSERT_TRUE(waitFor([&] { return !clients.empty(); }, 10000));
    QWebSocket& live = *clients.back();
    auto text = [](const char* name, const QString& t) {
        return QString(R"({"name":"%1","kind":"text","text":"%2","visible":true})").arg(name, t);
    };
    auto stateOf = [](const QString& elements) { return QString(R"({"type":"state","revision":1,"elements":[%1]})").arg(elements); };

    live.sendTextMessage(stateOf(text("TextA1", "first") + "," + text("Nummer", "12")));
    ASSERT_TRUE(waitFor([&] { return shown(state(fw))["TextA1"] == "shown: first"; }, 5000));
    for (const QString& junk : {QString("{\"type\":\"state\",\"elements\":["), QString("null"), QString("[]"),
                                stateOf(text("TextA1", "<b>x</b>") + R"(,{"name":"Nummer","visible":1})"),
                                QString(R"({"type":"change","revision":2,"elements":[{"name":"TextA1"}]})")})
        live.sendTextMessage(junk);
    live.sendBinaryMessage(QByteArray(1000, '\xff'));
    live.sendTextMessage(R"({"type":"change","revision":3,"elements":[)" + text("Nope", "x") + "," +
                         text("TextA2", "second") + "]}");
    ASSERT_TRUE(waitFor([&] { return shown(state(fw))["TextA2"] == "shown: second"; }, 5000));
    EXPECT_EQ(shown(state(fw))["TextA1"], "shown: first");
    EXPECT_EQ(shown(state(fw))["Nummer"], "shown: 12");
    EXPECT_EQ(shown(state(fw)).count("Nope"), 0u);

    // Far too large: the follower closes this connection and comes again for the whole board.
    live.sendTextMessage(stateOf(text("TextA1", QString(3 << 20, 'x'))));
    ASSERT_TRUE(waitFor([&] { return clients.size() >= 2; }, 10000)) << follower.output().toStdString();
    clients.back()->sendTextMessage(stateOf(text("TextA1", "third")));
    ASSERT_TRUE(waitFor([&] { return shown(state(fw))["TextA1"] == "shown: third"; }, 5000));
    EXPECT_TRUE(waitFor([&] { return follower.followStatus() == "following " + url + ": connected"; }, 5000));
    EXPECT_EQ(follower.app.state(), QProcess::Running);

    // The board hangs: the connection stays open but nothing answers.
    const size_t connections = clients.size();
    const qsizetype lost = follower.output().count(": not connected (no answer)");
    QThread::sleep(18);  // a ping every 5 s, given up after 10 s without an answer
    EXPECT_TRUE(waitFor([&] { return follower.output().count(": not connected (no answer)") > lost; }, 3000))
        << follower.output().toStdString();
    EXPECT_EQ(shown(state(fw))["TextA1"], "shown: third");  // the last board stays
    // Back: it connects again by itself.
    EXPECT_TRUE(waitFor([&] { return clients.size() > connections; }, 15000));
    recordedNothing(follower);
}
