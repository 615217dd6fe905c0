// The publisher in the main window: the status line names the broker and
// its state, a broker that is down gives one notice that goes when it is
// back, and no host means no publishing.
#include "Broker.h"
#include "MainWindowFixture.h"

#include "mqtt/MqttBoard.h"

#include <QElapsedTimer>
#include <QLabel>

namespace {

void spinFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool until(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        spinFor(10);
    }
    return true;
}

class MqttBoardTest : public MainWindowTest {
protected:
    QLabel* status() { return win->StatusLine->findChild<QLabel*>(QStringLiteral("StatusMqtt")); }
    int brokerNotices() {
        return int(dialogs->notices.filter("No connection to the MQTT broker 127.0.0.1").size());
    }
};

} // namespace

TEST_F(MqttBoardTest, NoHostNoPublishing) {
    ASSERT_NE(status(), nullptr);
    EXPECT_EQ(MqttBoard::start(*win, std::nullopt), nullptr);
    win->updateStatusLine();
    EXPECT_TRUE(status()->isHidden());
    EXPECT_FALSE(dialogs->openNotices.contains("mqtt"));

    // A prefix no topic can have: told, and nothing is published.
    win->MqttHost = "127.0.0.1";
    win->MqttTopic = "venue/#";
    EXPECT_EQ(MqttBoard::start(*win, std::nullopt), nullptr);
    ASSERT_EQ(dialogs->openNotices.count("mqtt"), 1);
    EXPECT_TRUE(dialogs->openNotices["mqtt"].contains("wildcard")) << dialogs->openNotices["mqtt"].toStdString();
    EXPECT_FALSE(status()->isHidden());
}

TEST_F(MqttBoardTest, ABrokerThatIsDownGivesOneNoticeUntilItIsBackAndTheStatusLineFollows) {
    Broker b;  // not started: nothing listens on its port yet
    win->MqttHost = "127.0.0.1";
    win->MqttPort = b.port();
    win->MqttTopic = "td";
    const QString where = QString("MQTT 127.0.0.1:%1: ").arg(b.port());
    auto board = MqttBoard::start(*win, std::nullopt);
    ASSERT_NE(board, nullptr);
    ASSERT_TRUE(until([&] { return status()->text().startsWith(where + "not connected"); }, 5000))
        << status()->text().toStdString();
    EXPECT_FALSE(status()->isHidden());
    spinFor(1500);  // several attempts meanwhile
    EXPECT_EQ(brokerNotices(), 1);
    EXPECT_TRUE(dialogs->openNotices.contains("mqtt"));

    ASSERT_TRUE(b.start()) << b.error().toStdString();
    ASSERT_TRUE(until([&] { return status()->text() == where + "connected"; }, 15000)) << status()->text().toStdString();
    EXPECT_FALSE(dialogs->openNotices.contains("mqtt"));

    b.stop();
    ASSERT_TRUE(until([&] { return status()->text().startsWith(where + "not connected"); }, 15000))
        << status()->text().toStdString();
    // Lines and a result wait for the broker, and the status line counts them.
    line(timingLine("012", '.', "00:01:23.456"));
    line(timingLine("012", 'C', "00:01:25.678", " 1"));
    EXPECT_TRUE(until([&] { return status()->text() == where + "not connected, 3 kept"; }, 3000))
        << status()->text().toStdString();
    EXPECT_EQ(brokerNotices(), 2);
    ASSERT_TRUE(dialogs->openNotices.contains("mqtt"));
    EXPECT_TRUE(dialogs->openNotices["mqtt"].contains("lost")) << dialogs->openNotices["mqtt"].toStdString();
    EXPECT_FALSE(dialogs->openNotices["mqtt"].contains("..")) << dialogs->openNotices["mqtt"].toStdString();

    board.reset();
    EXPECT_TRUE(status()->isHidden());
    EXPECT_FALSE(dialogs->openNotices.contains("mqtt"));
}

// A broker that refuses the login says why, in the notice.
TEST_F(MqttBoardTest, ARefusedLoginIsNamedInTheNotice) {
    Broker b("scoreboard", "s3cret");
    ASSERT_TRUE(b.start()) << b.error().toStdString();
    MqttTarget t;
    t.host = "127.0.0.1";
    t.port = b.port();
    t.user = "scoreboard";
    t.password = "wrong";
    auto board = MqttBoard::start(*win, t);  // the command line's broker, not the settings'
    ASSERT_NE(board, nullptr);
    ASSERT_TRUE(until([&] { return dialogs->openNotices.contains("mqtt"); }, 5000));
    EXPECT_TRUE(dialogs->openNotices["mqtt"].contains("not authori", Qt::CaseInsensitive))
        << dialogs->openNotices["mqtt"].toStdString();
    EXPECT_EQ(status()->text(), QString("MQTT 127.0.0.1:%1: not connected").arg(b.port()));
}
