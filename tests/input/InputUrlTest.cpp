// The address of a device server as disp.ini and the operator give it, and
// the waits between connection attempts.
#include "input/Backoff.h"
#include "input/Input.h"
#include "input/InputUrl.h"

#include <gtest/gtest.h>

namespace {

struct UrlCase {
    const char* text;
    bool bare;           // as the operator types it in the dialog
    const char* host;    // nullptr: refused
    int port;
    const char* url;     // as listed and stored
    const char* why;     // part of the reason when refused
};

const UrlCase kCases[] = {
    {"tcp://127.0.0.1:4001", false, "127.0.0.1", 4001, "tcp://127.0.0.1:4001", nullptr},
    {"  TCP://Moxa-1.venue.local:10001/ ", false, "Moxa-1.venue.local", 10001, "tcp://Moxa-1.venue.local:10001", nullptr},
    {"tcp://[::1]:4001", false, "::1", 4001, "tcp://[::1]:4001", nullptr},
    {"tcp://h:1", false, "h", 1, "tcp://h:1", nullptr},
    {"tcp://h:65535", false, "h", 65535, "tcp://h:65535", nullptr},
    {"192.168.1.20:4001", true, "192.168.1.20", 4001, "tcp://192.168.1.20:4001", nullptr},
    {"tcp://192.168.1.20:4001", true, "192.168.1.20", 4001, "tcp://192.168.1.20:4001", nullptr},
    {"[fe80::1]:23", true, "fe80::1", 23, "tcp://[fe80::1]:23", nullptr},
    // refused
    {"192.168.1.20:4001", false, nullptr, 0, nullptr, "does not begin with tcp://"},
    {"http://h:80", true, nullptr, 0, nullptr, "does not begin with tcp://"},
    {"udp://h:4001", false, nullptr, 0, nullptr, "does not begin with tcp://"},
    {"tcp://", false, nullptr, 0, nullptr, "names no device server"},
    {"", true, nullptr, 0, nullptr, "names no device server"},
    {"tcp://box", false, nullptr, 0, nullptr, "names no port"},
    {"tcp://:4001", false, nullptr, 0, nullptr, "names no host"},
    {"tcp://box:", false, nullptr, 0, nullptr, "no port from 1 to 65535"},
    {"tcp://box:0", false, nullptr, 0, nullptr, "no port from 1 to 65535"},
    {"tcp://box:65536", false, nullptr, 0, nullptr, "no port from 1 to 65535"},
    {"tcp://box:99999999999", false, nullptr, 0, nullptr, "no port from 1 to 65535"},
    {"tcp://box:40a1", false, nullptr, 0, nullptr, "no port from 1 to 65535"},
    {"tcp://box:-1", false, nullptr, 0, nullptr, "no port from 1 to 65535"},
    {"tcp://::1:4001", false, nullptr, 0, nullptr, "in brackets"},
    {"tcp://[::1:4001", false, nullptr, 0, nullptr, "no closing ]"},
    {"tcp://[box]:4001", false, nullptr, 0, nullptr, "no IPv6 address"},
    {"tcp://[::1]4001", false, nullptr, 0, nullptr, "names no port"},
    {"tcp://user@box:4001", false, nullptr, 0, nullptr, "more than host:port"},
    {"tcp://box:4001/x", false, nullptr, 0, nullptr, "more than host:port"},
    {"tcp://box:4001?baud=9600", false, nullptr, 0, nullptr, "more than host:port"},
    {"tcp://bo x:4001", false, nullptr, 0, nullptr, "a blank or a control character"},
    {"tcp://box\t:4001", false, nullptr, 0, nullptr, "a blank or a control character"},
    {"tcp://box\x7f:4001", false, nullptr, 0, nullptr, "a blank or a control character"},
    {"tcp://-box:4001", false, nullptr, 0, nullptr, "no valid host name"},
    {"tcp://box..venue:4001", false, nullptr, 0, nullptr, "no valid host name"},
    {"tcp://bäx:4001", false, nullptr, 0, nullptr, "no valid host name"},
};

} // namespace

TEST(InputUrl, DeviceServerAddressesAreReadOrRefusedWithTheReason) {
    for (const UrlCase& c : kCases) {
        SCOPED_TRACE(std::string(c.text) + (c.bare ? " (typed)" : ""));
        QString why;
        const auto t = inputurl::parseTcp(QString::fromUtf8(c.text), &why, c.bare);
        if (c.host) {
            ASSERT_TRUE(t.has_value()) << why.toStdString();
            EXPECT_EQ(t->host.toStdString(), c.host);
            EXPECT_EQ(t->port, c.port);
            EXPECT_EQ(t->url().toStdString(), c.url);
            // What is listed and stored reads back the same.
            const auto again = inputurl::parseTcp(t->url(), nullptr);
            ASSERT_TRUE(again.has_value());
            EXPECT_EQ(again->url(), t->url());
        } else {
            EXPECT_FALSE(t.has_value()) << t->url().toStdString();
            EXPECT_TRUE(why.contains(QLatin1String(c.why))) << why.toStdString();
        }
    }
}

TEST(InputUrl, OnlyTcpAddressesAreTakenForNetworkDevices) {
    EXPECT_TRUE(inputurl::isTcp(" tcp://x:1"));
    EXPECT_TRUE(inputurl::isTcp("TCP://x"));
    for (const char* t : {"3", "COM3", "0", "", "x", "tcpx://a:1", "http://a:1"})
        EXPECT_FALSE(inputurl::isTcp(QString::fromLatin1(t))) << t;
}

TEST(Backoff, DoublesFromAQuarterSecondToEightSecondsAndStartsAgainAfterAReset) {
    Backoff b;
    std::vector<int> waits;
    for (int i = 0; i < 8; ++i)
        waits.push_back(b.next());
    EXPECT_EQ(waits, (std::vector<int>{250, 500, 1000, 2000, 4000, 8000, 8000, 8000}));
    b.reset();
    EXPECT_EQ(b.next(), 250);
    EXPECT_EQ(b.next(), 500);
    Backoff odd(300, 1000);
    std::vector<int> o;
    for (int i = 0; i < 4; ++i)
        o.push_back(odd.next());
    EXPECT_EQ(o, (std::vector<int>{300, 600, 1000, 1000}));
}

TEST(InputState, TheStatusLineWordsForEachState) {
    using P = Input::Phase;
    struct Case {
        Input::State s;
        const char* text;
    } cases[] = {
        {{P::Connecting, "tcp://box:4001", {}, -1}, "tcp://box:4001: connecting"},
        {{P::Connected, "tcp://box:4001", {}, -1}, "tcp://box:4001: connected"},
        {{P::Waiting, "tcp://box:4001", "connection refused", 2300}, "tcp://box:4001: connection refused - retry in 3 s"},
        {{P::Waiting, "tcp://box:4001", "host not found", 0}, "tcp://box:4001: host not found - retrying now"},
        {{P::Waiting, "tcp://box:4001", "host not found", 1}, "tcp://box:4001: host not found - retry in 1 s"},
        {{P::Waiting, "tcp://box:4001", {}, -1}, "tcp://box:4001: not connected"},
        {{P::Closed, "tcp://box:4001", {}, -1}, "tcp://box:4001: closed"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Input::describe(c.s).toStdString(), c.text);
}
