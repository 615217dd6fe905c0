// The link to a real mosquitto on a loopback port: what must arrive arrives,
// in order, across a broker that goes away; the newest board is always there.
#include "Broker.h"
#include "mqtt/MqttLink.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

MqttLink::Options to(const Broker& b, const QString& prefix = "td") {
    MqttLink::Options o;
    o.host = "127.0.0.1";
    o.port = b.port();
    o.willTopic = prefix + "/status";
    o.willPayload = "offline";
    o.onlinePayload = "online";
    o.firstRetryMs = 100;
    o.lastRetryMs = 400;
    return o;
}

bool connected(const MqttLink& l) {
    return pollUntilTrue([&] { return l.state() == MqttLink::State::Connected; }, 5000);
}

std::vector<QByteArray> numbered(int from, int to) {
    std::vector<QByteArray> v;
    for (int i = from; i <= to; ++i)
        v.push_back("line " + QByteArray::number(i));
    return v;
}

// This process's resident memory in MB.
double residentMb() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

} // namespace

TEST(MqttLink, MessagesArriveInOrderAndALateSubscriberFindsTheNewestValues) {
    Broker b;
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    Subscriber early(b.port(), "td/#");
    ASSERT_TRUE(pollUntilTrue([&] { return early.subscribed(); }, 5000));
    MqttLink link(to(b));
    ASSERT_TRUE(connected(link));
    for (const char* t : {"0.1", "0.2", "0.3"})
        link.setRetained("td/time", t);
    link.setRetained("td/rank", "1");
    for (const QByteArray& l : numbered(1, 200))
        link.send("td/line", l);
    ASSERT_TRUE(early.waitFor([](auto m) { return m.size() >= 203; })) << early.messages().size();
    EXPECT_EQ(early.on("td/line"), numbered(1, 200));
    EXPECT_EQ(early.on("td/time").back(), "0.3");
    EXPECT_TRUE(pollUntilTrue([&] { return link.waiting() == 0; }, 5000));  // every one acknowledged

    // A screen switched on later gets the board as it is now, and no line.
    Subscriber late(b.port(), "td/#");
    ASSERT_TRUE(late.waitFor([](auto m) { return m.size() >= 3; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::map<std::string, QByteArray> seen;
    for (const auto& m : late.messages()) {
        EXPECT_TRUE(m.retained) << m.topic;
        seen[m.topic] = m.payload;
    }
    EXPECT_EQ(seen, (std::map<std::string, QByteArray>{{"td/time", "0.3"}, {"td/rank", "1"}, {"td/status", "online"}}));
}

// The broker is stopped mid-race and started again: every line sent meanwhile
// arrives once it is back, in order; the board's newest values are sent again.
TEST(MqttLink, NothingIsLostWhileTheBrokerIsAway) {
    Broker b;
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    Subscriber results(b.port(), "td/#", "results-service");  // a lasting session
    ASSERT_TRUE(pollUntilTrue([&] { return results.subscribed(); }, 5000));
    MqttLink link(to(b));
    ASSERT_TRUE(connected(link));
    for (const QByteArray& l : numbered(1, 50))
        link.send("td/line", l);
    ASSERT_TRUE(results.waitFor([](auto m) { return m.size() >= 51; }));

    b.stop();
    ASSERT_TRUE(pollUntilTrue([&] { return link.state() == MqttLink::State::Down; }, 15000));
    for (const QByteArray& l : numbered(51, 150))
        link.send("td/line", l);
    link.setRetained("td/time", "9.99");
    EXPECT_EQ(link.waiting(), 100u);
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    ASSERT_TRUE(connected(link));
    ASSERT_TRUE(results.waitFor([](auto m) {
        return std::count_if(m.begin(), m.end(), [](auto& x) { return x.topic == "td/line"; }) >= 150;
    }, 10000));
    // At least once: a line in flight when the broker went may come again, but
    // each comes first in the order it was sent.
    std::vector<QByteArray> first;
    for (const QByteArray& l : results.on("td/line"))
        if (std::find(first.begin(), first.end(), l) == first.end())
            first.push_back(l);
    EXPECT_EQ(first, numbered(1, 150));
    EXPECT_TRUE(pollUntilTrue([&] { return !results.on("td/time").empty(); }, 5000));
    EXPECT_EQ(link.dropped(), 0u);
}

// Past its bound the link keeps the newest and counts what it dropped.
TEST(MqttLink, WhileTheBrokerIsAwayTheOldestBeyondTheBoundAreDroppedAndCounted) {
    Broker b;
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    Subscriber results(b.port(), "td/line", "results-service");
    ASSERT_TRUE(pollUntilTrue([&] { return results.subscribed(); }, 5000));
    b.stop();
    MqttLink::Options o = to(b);
    o.maxQueued = 10;
    MqttLink link(o);
    for (const QByteArray& l : numbered(1, 15))
        link.send("td/line", l);
    EXPECT_EQ(link.dropped(), 5u);
    EXPECT_EQ(link.waiting(), 10u);
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    ASSERT_TRUE(results.waitFor([](auto m) { return m.size() >= 10; }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(results.on("td/line"), numbered(6, 15));
}

// A broker that refuses the link is told as such; the right password connects.
TEST(MqttLink, ARefusedLoginIsToldAndTheRightOneConnects) {
    Broker b("scoreboard", "s3cret");
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    MqttLink::Options o = to(b);
    o.user = "scoreboard";
    o.password = "wrong";
    {
        MqttLink link(o);
        ASSERT_TRUE(pollUntilTrue([&] { return link.why().contains("not authori", Qt::CaseInsensitive); }, 5000))
            << link.why().toStdString();
        EXPECT_EQ(link.state(), MqttLink::State::Down);
    }
    o.password = "s3cret";
    MqttLink link(o);
    EXPECT_TRUE(connected(link));
}

// A broker that takes nothing for a while (stalled, or too busy with its
// subscribers): the board's changes meanwhile wait in the link as the newest
// value, not each in a queue of its own; once the broker reads again, a
// subscriber gets the newest board after a few stale ones, not every change.
TEST(MqttLink, AStalledBrokerGetsTheNewestValueNotABacklog) {
    Broker b;
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    Subscriber live(b.port(), "td/state");
    ASSERT_TRUE(pollUntilTrue([&] { return live.subscribed(); }, 5000));
    MqttLink link(to(b));
    ASSERT_TRUE(connected(link));
    const QByteArray padding(64 * 1024, 'x');  // a large board
    auto board = [&](int i) { return QByteArray::number(i) + ' ' + padding; };
    link.setRetained("td/state", board(0));
    ASSERT_TRUE(live.waitFor([](auto m) { return !m.empty(); }));

    b.pause();
    const double before = residentMb();
    constexpr int kChanges = 1000;
    for (int i = 1; i <= kChanges; ++i) {
        link.setRetained("td/state", board(i));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double grown = residentMb() - before;
    b.resume();
    ASSERT_TRUE(live.waitFor([&](auto m) { return !m.empty() && m.back().payload == board(kChanges); }, 15000))
        << live.messages().size();
    // 64 MB of changes; the sockets' buffers hold a few of them.
    EXPECT_LT(grown, 20) << "the changes piled up in the program";
    EXPECT_LT(live.on("td/state").size(), size_t(kChanges / 2));
}
