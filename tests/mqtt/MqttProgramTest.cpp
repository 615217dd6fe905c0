// The real program on a pseudo-terminal, publishing on a real mosquitto: a
// line reaches the retained topics, a result the result topic, a killed
// program its will; a broker that goes away mid-race loses no result and
// never holds the board up.
#include "../web/WebClient.h"
#include "Broker.h"
#include "RaceModel.h"
#include "RunningProgram.h"
#include "protocol/Journal.h"
#include "timetable/Sheet.h"
#include "timetable/Xls.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <set>
#include <signal.h>

namespace {

QByteArray brokerIni(const Broker& b, const QByteArray& topic) {
    return "COM 1\r\nBAUD 115200\r\nMqttHost 127.0.0.1\r\nMqttPort " + QByteArray::number(b.port()) +
           "\r\nMqttTopic " + topic + "\r\n";
}

// The newest payload of each topic.
std::map<std::string, QByteArray> newest(const Subscriber& s) {
    std::map<std::string, QByteArray> v;
    for (const auto& m : s.messages())
        v[m.topic] = m.payload;
    return v;
}

QJsonObject json(const QByteArray& payload) { return QJsonDocument::fromJson(payload).object(); }

QString stateTime(quint16 webPort) {
    return json(httpGet(webPort, "/state").body)["time"].toString();
}

// The runner's name as the demo time table holds it.
QString tableName(int number) {
    Sheet t;
    if (!xls::readFile(TD_SOURCE_DIR "/data/liste.xls", t))
        return {};
    return (t.entry(number + 9, 3) + ' ' + t.entry(number + 9, 4)).trimmed();
}

} // namespace

// What a line shows arrives on the retained single topics and in the state;
// a result comes on `result`, the line itself on `line`.
TEST(MqttProgram, ALineReachesTheRetainedTopicsAndAResultTheResultTopic) {
    Broker b;
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    Subscriber live(b.port(), "venue/hall1/#");
    ASSERT_TRUE(pollUntilTrue([&] { return live.subscribed(); }, 5000));
    Program p({"--web-port", "any", "--mqtt", QString("mqtt://127.0.0.1:%1/venue/hall1").arg(b.port())},
              "COM 1\r\nBAUD 115200\r\n");
    const quint16 web = p.webPort();
    ASSERT_NE(web, 0) << p.errors().toStdString();
    ASSERT_TRUE(p.portOpened());
    ASSERT_TRUE(pollUntilTrue([&] { return newest(live)["venue/hall1/status"] == "online"; }, 10000))
        << p.errors().toStdString();

    p.send("012.    00:01:23.456  ");
    ASSERT_TRUE(pollUntilTrue([&] { return newest(live)["venue/hall1/time"] == "1:23.45"; }, 5000))
        << newest(live)["venue/hall1/time"].toStdString();
    const QByteArray result = sim::normalLine(12, 'C', 85678, 1);
    p.send(result);
    ASSERT_TRUE(pollUntilTrue([&] { return !live.on("venue/hall1/result").empty(); }, 5000));

    // The result as recorded, with the runner's name from the time table.
    const QJsonObject r = json(live.on("venue/hall1/result").at(0));
    EXPECT_EQ(r["number"].toInt(), 12);
    EXPECT_EQ(r["name"].toString(), tableName(12));
    EXPECT_FALSE(r["name"].toString().isEmpty());
    EXPECT_EQ(r["channel"].toString(), "C");
    EXPECT_EQ(r["time"].toString(), QString::fromLatin1(sim::timeText(85678)).trimmed());
    EXPECT_EQ(r["rank"].toInt(), 1);
    const QDateTime when = QDateTime::fromString(r["when"].toString(), Qt::ISODateWithMs);
    EXPECT_TRUE(when.isValid()) << r["when"].toString().toStdString();
    EXPECT_LT(std::abs(when.msecsTo(QDateTime::currentDateTime())), 10000);
    EXPECT_EQ(live.on("venue/hall1/result").size(), 1u);  // the running time is no result

    // Every line as the journal has it.
    ASSERT_TRUE(pollUntilTrue([&] { return live.on("venue/hall1/line").size() >= 2; }, 5000));
    std::vector<QByteArray> lines;
    for (const QByteArray& l : live.on("venue/hall1/line")) {
        const auto e = journal::decode(l);
        ASSERT_TRUE(e.has_value()) << l.toStdString();
        lines.push_back(e->line);
    }
    EXPECT_EQ(lines, (std::vector<QByteArray>{"012.    00:01:23.456  ", result}));

    // A screen switched on now finds the board as the web board shows it,
    // each value retained on its own topic.
    spin(300);
    Subscriber late(b.port(), "venue/hall1/#");
    // An empty value is no retained message: the topics that show something.
    ASSERT_TRUE(late.waitFor([](auto m) { return m.size() >= 5; }));
    spin(500);
    const QJsonObject state = json(httpGet(web, "/state").body);
    std::map<std::string, QByteArray> seen;
    for (const auto& m : late.messages()) {
        EXPECT_TRUE(m.retained) << m.topic;
        seen[m.topic] = m.payload;
    }
    EXPECT_EQ(seen.count("venue/hall1/line"), 0u);
    EXPECT_EQ(seen.count("venue/hall1/result"), 0u);
    EXPECT_EQ(seen["venue/hall1/status"], "online");
    EXPECT_EQ(seen["venue/hall1/time"], state["time"].toString().toUtf8());
    EXPECT_EQ(seen["venue/hall1/time"], QString::fromLatin1(sim::timeText(85678)).trimmed().chopped(1).toUtf8());
    EXPECT_EQ(seen["venue/hall1/rank"], state["rank"].toString().toUtf8());
    EXPECT_EQ(seen["venue/hall1/rank"].trimmed(), "1");
    EXPECT_EQ(seen["venue/hall1/number"], "12");
    EXPECT_EQ(seen["venue/hall1/preset"], state["preset"].toString().toUtf8());
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(seen["venue/hall1/text/" + std::to_string(i)], state["texts"][i - 1].toString().toUtf8()) << i;
    EXPECT_TRUE(seen["venue/hall1/text/1"].startsWith(tableName(12).section(' ', 0, 0).toUtf8()));
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(seen["venue/hall1/board/" + std::to_string(i)], state["boards"][i - 1].toString().toUtf8()) << i;
    // The whole board, as /state has it, but for its own revision count.
    QJsonObject mqttState = json(seen["venue/hall1/state"]);
    QJsonObject webState = state;
    mqttState.remove("revision");
    webState.remove("revision");
    EXPECT_EQ(mqttState, webState);

    // The broker was named for this run only: disp.ini names none.
    p.stop(SIGTERM);
    const QByteArray ini = p.read("disp.ini");
    EXPECT_TRUE(ini.contains("\r\nMqttHost \r\nMqttPort 1883\r\nMqttTopic timedisplay\r\n")) << ini.toStdString();
}

// Running times at 200 lines a second: the single topics follow the board,
// the whole board goes out at most 60 times a second and ends as the board does.
TEST(MqttProgram, TheWholeBoardGoesOutAtMostSixtyTimesASecond) {
    Broker b;
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    Subscriber live(b.port(), "td/#");
    ASSERT_TRUE(pollUntilTrue([&] { return live.subscribed(); }, 5000));
    Program p({"--web-port", "0"}, brokerIni(b, "td"));
    ASSERT_TRUE(p.portOpened());
    ASSERT_TRUE(pollUntilTrue([&] { return newest(live)["td/status"] == "online"; }, 10000)) << p.errors().toStdString();
    spin(300);
    const size_t before = live.on("td/state").size(), timesBefore = live.on("td/time").size();
    QElapsedTimer clock;
    clock.start();
    constexpr int kLines = 400;
    for (int i = 1; i <= kLines; ++i) {
        p.send(sim::normalLine(7, '.', 60000 + i * 10, 0));
        while (clock.elapsed() < i * 5)
            QThread::usleep(500);
    }
    const QString last = QString::fromLatin1(sim::timeText(60000 + kLines * 10)).trimmed().chopped(1);
    ASSERT_TRUE(pollUntilTrue([&] { return newest(live)["td/time"] == last.toUtf8(); }, 5000));
    ASSERT_TRUE(pollUntilTrue([&] { return json(newest(live)["td/state"])["time"].toString() == last; }, 5000));
    const double seconds = clock.elapsed() / 1000.0;
    const size_t states = live.on("td/state").size() - before, times = live.on("td/time").size() - timesBefore;
    EXPECT_LE(double(states), 60 * seconds + 2) << states << " in " << seconds << " s";
    EXPECT_GE(states, 10u);  // and not just once at the end
    EXPECT_GT(times, states) << "the single topics follow the board more closely";
}

// The will says a killed program is gone; a program that is stopped says it itself.
TEST(MqttProgram, StatusIsOfflineWhenTheProgramIsKilledOrStopped) {
    Broker b;
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    Subscriber status(b.port(), "td/status");
    ASSERT_TRUE(pollUntilTrue([&] { return status.subscribed(); }, 5000));
    Program p({"--web-port", "0"}, brokerIni(b, "td"));
    for (int signal : {SIGKILL, SIGTERM}) {
        SCOPED_TRACE(signal);
        ASSERT_TRUE(pollUntilTrue([&] { return !status.on("td/status").empty() && status.on("td/status").back() == "online"; },
                                  15000))
            << p.errors().toStdString();
        p.stop(signal);
        EXPECT_TRUE(pollUntilTrue([&] { return status.on("td/status").back() == "offline"; }, 5000));
        if (signal == SIGKILL)
            p.start({"--web-port", "0"});
    }
}

// Settings name the broker; after a run disp.ini still does, in the same words.
TEST(MqttProgram, TheSettingsNameTheBrokerAndSurviveTheRun) {
    Broker b("scoreboard", "s3 cret");
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    Subscriber status(b.port(), "arena/+/status", {}, "scoreboard", "s3 cret");
    ASSERT_TRUE(pollUntilTrue([&] { return status.subscribed(); }, 5000));
    const QByteArray ini = brokerIni(b, "arena/north") + "MqttUser scoreboard\r\nMqttPassword s3 cret\r\n";
    Program p({"--web-port", "0"}, ini);
    EXPECT_TRUE(pollUntilTrue([&] { return newest(status)["arena/north/status"] == "online"; }, 15000))
        << p.errors().toStdString();
    p.stop(SIGTERM);
    QByteArray keys;
    for (const QByteArray& l : p.read("disp.ini").split('\n'))
        if (l.startsWith("Mqtt"))
            keys += l + '\n';
    EXPECT_EQ(keys, "MqttHost 127.0.0.1\r\nMqttPort " + QByteArray::number(b.port()) +
                        "\r\nMqttTopic arena/north\r\nMqttUser scoreboard\r\nMqttPassword s3 cret\r\n");
}

// The broker is stopped mid-race and started again: the board goes on from
// the line (the web board's time follows every line while the broker is
// away), and every result recorded meanwhile arrives once it is back, in order.
TEST(MqttProgram, ABrokerThatGoesAwayMidRaceLosesNoResultAndNeverHoldsTheBoardUp) {
    Broker b;
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    Subscriber results(b.port(), "race/result", "results-service");  // a lasting session
    ASSERT_TRUE(pollUntilTrue([&] { return results.subscribed(); }, 5000));
    Program p({"--web-port", "any"}, brokerIni(b, "race"));
    const quint16 web = p.webPort();
    ASSERT_NE(web, 0) << p.errors().toStdString();
    ASSERT_TRUE(p.portOpened());

    int number = 0;
    // A runner on course, then its finish; the board must show the running time at once.
    auto runner = [&](int step) {
        ++number;
        const int ms = 60000 + number * 1000 + step;
        const QByteArray running = sim::normalLine(number, '.', ms, 0);
        p.send(running);
        const QString shown = QString::fromLatin1(sim::timeText(ms)).trimmed().chopped(1);
        const bool followed = waitFor([&] { return stateTime(web) == shown; }, 3000);
        p.send(sim::normalLine(number, 'C', ms + 500, number));
        return followed;
    };
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(runner(i));
    ASSERT_TRUE(pollUntilTrue([&] { return results.on("race/result").size() >= 5; }, 10000));

    b.stop();
    for (int i = 0; i < 15; ++i)
        EXPECT_TRUE(runner(i)) << "the board stalled at runner " << number;
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(runner(i)) << "the board stalled at runner " << number;

    // At least once, in order: each result first comes where it belongs.
    ASSERT_TRUE(pollUntilTrue(
        [&] {
            std::set<int> seen;
            for (const QByteArray& r : results.on("race/result"))
                seen.insert(json(r)["number"].toInt());
            return int(seen.size()) >= number;
        },
        20000))
        << results.on("race/result").size();
    std::vector<int> first;
    for (const QByteArray& r : results.on("race/result")) {
        const int n = json(r)["number"].toInt();
        if (std::find(first.begin(), first.end(), n) == first.end())
            first.push_back(n);
    }
    std::vector<int> all(static_cast<size_t>(number));
    std::iota(all.begin(), all.end(), 1);
    EXPECT_EQ(first, all);
}
