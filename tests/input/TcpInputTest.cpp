// The TCP input against a device server in the test: bytes in order even
// when their receiver runs an event loop of its own, reconnecting by itself,
// and a server that drops every connection at once is not hammered.
#include "../serial/Pty.h"
#include "DeviceServer.h"
#include "input/TcpInput.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <memory>

namespace {

TcpTarget loopback(quint16 port) { return {QStringLiteral("127.0.0.1"), port}; }

} // namespace

TEST(TcpInput, BytesArriveInOrderWhileTheirReceiverRunsAnEventLoop) {
    // The start-number prompt runs an event loop inside the line handler:
    // what arrives meanwhile must wait its turn, never overtake.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    TcpInput input(loopback(server.serverPort()));
    QByteArray got;
    int depth = 0, deepest = 0;
    QTcpSocket* peer = nullptr;
    QObject::connect(&input, &Input::received, [&](const QByteArray& bytes) {
        deepest = std::max(deepest, ++depth);
        got += bytes;
        if (bytes.contains('1') && peer) {
            peer->write("22222");
            peer->flush();
            spin(300);  // the prompt is open
        }
        --depth;
    });
    input.open();
    ASSERT_TRUE(waitFor([&] { return server.hasPendingConnections(); }, 5000));
    peer = server.nextPendingConnection();
    ASSERT_TRUE(waitFor([&] { return input.state().phase == Input::Phase::Connected; }, 5000));
    peer->write("11111");
    ASSERT_TRUE(waitFor([&] { return got.size() >= 10; }, 5000)) << got.toStdString();
    EXPECT_EQ(got, "1111122222");
    EXPECT_EQ(deepest, 1);
}

TEST(TcpInput, ConnectsWhenTheServerAppearsAndAgainAfterItWasLost) {
    DeviceServer device;
    TcpInput input(loopback(device.port()));
    QList<Input::Phase> phases;
    QObject::connect(&input, &Input::stateChanged, [&] { phases << input.state().phase; });
    QByteArray got;
    QObject::connect(&input, &Input::received, [&](const QByteArray& b) { got += b; });
    input.open();
    // Nobody there yet: refused, and tried again by itself.
    ASSERT_TRUE(waitFor([&] { return input.state().why == "connection refused"; }, 5000));
    EXPECT_EQ(input.state().phase, Input::Phase::Waiting);
    EXPECT_GE(input.state().retryInMs, 0);

    ASSERT_TRUE(device.start()) << device.log().toStdString();
    ASSERT_TRUE(waitFor([&] { return input.state().phase == Input::Phase::Connected; }, 10000));
    ASSERT_TRUE(device.send("before\r"));
    ASSERT_TRUE(waitFor([&] { return got == "before\r"; }, 5000)) << got.toStdString();

    device.drop();
    ASSERT_TRUE(waitFor([&] { return input.state().phase != Input::Phase::Connected; }, 5000));
    EXPECT_EQ(input.state().why, "closed by the device server");
    ASSERT_TRUE(device.start()) << device.log().toStdString();
    // A good connection was lost: the first attempts come quickly again.
    ASSERT_TRUE(waitFor([&] { return input.state().phase == Input::Phase::Connected; }, 3000));
    ASSERT_TRUE(device.send("after\r"));
    ASSERT_TRUE(waitFor([&] { return got == "before\rafter\r"; }, 5000)) << got.toStdString();
    EXPECT_TRUE(phases.contains(Input::Phase::Connecting));

    input.close();
    EXPECT_EQ(input.state().phase, Input::Phase::Closed);
    spin(600);
    EXPECT_EQ(input.state().phase, Input::Phase::Closed);  // closed stays closed
}

TEST(TcpInput, AServerThatDropsEveryConnectionAtOnceIsTriedLessAndLessOften) {
    // A device server busy with another client takes the connection and
    // closes it: that is no good connection, the waits keep growing.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    int accepted = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            ++accepted;
            s->close();
            s->deleteLater();
        }
    });
    TcpInput input(loopback(server.serverPort()));
    input.open();
    spin(3500);
    // 0, 0.25, 0.75, 1.75, 3.75 s: four or five attempts; starting afresh
    // after each would make a dozen.
    EXPECT_GE(accepted, 3);
    EXPECT_LE(accepted, 5);
}

TEST(TcpInput, TheSimulatorActsAsADeviceServerAndItsReplayWaitsForTheProgram) {
    QTemporaryDir dir;
    const QByteArray capture = "  5.    00:00:20.000  \r  5C    00:00:35.000 1\rJ   marker 000001   \r";
    QFile f(dir.filePath("capture.bin"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(capture);
    f.close();
    QProcess sim;
    sim.start(TD_BINARY_DIR "/tools/sim/timedisplay-sim",
              {"--listen", "127.0.0.1:0", "--replay", f.fileName(), "--baud", "115200"});
    QByteArray err;
    QRegularExpressionMatch m;
    ASSERT_TRUE(waitFor(
        [&] {
            err += sim.readAllStandardError();
            m = QRegularExpression("listening on 127\\.0\\.0\\.1:(\\d+) \\(COM tcp://127\\.0\\.0\\.1:\\d+\\)").match(err);
            return m.hasMatch() || sim.state() == QProcess::NotRunning;
        },
        10000));
    ASSERT_TRUE(m.hasMatch()) << err.toStdString();
    spin(500);  // nobody connected yet: the replay waits, nothing is lost
    TcpInput input(loopback(quint16(m.captured(1).toUInt())));
    QByteArray got;
    QObject::connect(&input, &Input::received, [&](const QByteArray& b) { got += b; });
    input.open();
    ASSERT_TRUE(waitFor([&] { return sim.state() == QProcess::NotRunning; }, 15000)) << err.toStdString();
    err += sim.readAllStandardError();
    EXPECT_EQ(sim.exitCode(), 0) << err.toStdString();
    ASSERT_TRUE(waitFor([&] { return got.size() >= capture.size(); }, 5000));
    EXPECT_EQ(got, capture);
    EXPECT_TRUE(err.contains(QByteArray::number(capture.size()) + " bytes sent, 0 not sent")) << err.toStdString();
}
