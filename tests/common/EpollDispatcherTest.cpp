#include "common/EpollDispatcher.h"

#include "TempDir.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>

#ifdef TD_HAVE_EPOLL_DISPATCHER
namespace {

// A thread whose event loop runs on the epoll dispatcher; work is handed in
// and run there.
class EpollThread {
public:
    EpollThread() {
        dispatcher_ = EpollDispatcher::create();
        EXPECT_NE(dispatcher_, nullptr);
        thread_.setEventDispatcher(dispatcher_);
        thread_.start();
        context_ = new QObject;
        context_->moveToThread(&thread_);
    }
    ~EpollThread() {
        run([this] { delete context_; });
        thread_.quit();
        EXPECT_TRUE(thread_.wait(5000));
    }
    // Runs f on the thread and waits for it.
    void run(const std::function<void()>& f) {
        QMetaObject::invokeMethod(context_, f, Qt::BlockingQueuedConnection);
    }
    QObject* context() const { return context_; }
    bool usesEpoll() const { return QAbstractEventDispatcher::instance(const_cast<QThread*>(&thread_)) == dispatcher_; }

private:
    QThread thread_;
    EpollDispatcher* dispatcher_ = nullptr;
    QObject* context_ = nullptr;
};

bool waitUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(2);
    }
    return true;
}

} // namespace

TEST(EpollDispatcher, TimersFireOnTimeAndAsOftenAsAsked) {
    EpollThread t;
    ASSERT_TRUE(t.usesEpoll());
    std::atomic<int> singles{0}, repeats{0}, zeros{0}, restarted{0};
    std::atomic<qint64> singleAfterMs{-1};
    QTimer *single = nullptr, *repeat = nullptr, *zero = nullptr, *restart = nullptr, *killed = nullptr;
    std::atomic<bool> killedFired{false};
    QElapsedTimer clock;
    t.run([&] {
        clock.start();
        single = new QTimer(t.context());
        single->setSingleShot(true);
        single->setTimerType(Qt::PreciseTimer);
        QObject::connect(single, &QTimer::timeout, [&] {
            singleAfterMs = clock.elapsed();
            ++singles;
        });
        single->start(50);

        repeat = new QTimer(t.context());
        QObject::connect(repeat, &QTimer::timeout, [&] {
            if (++repeats == 5)
                repeat->stop();  // stopped from its own slot
        });
        repeat->start(10);

        // A zero timer runs every pass without starving the others.
        zero = new QTimer(t.context());
        QObject::connect(zero, &QTimer::timeout, [&] {
            if (++zeros == 1000)
                zero->stop();
        });
        zero->start(0);

        // Started again from its own slot: fires again each time.
        restart = new QTimer(t.context());
        restart->setSingleShot(true);
        QObject::connect(restart, &QTimer::timeout, [&] {
            if (++restarted < 3)
                restart->start(5);
        });
        restart->start(5);

        // Stopped before it is due: never fires.
        killed = new QTimer(t.context());
        killed->setSingleShot(true);
        QObject::connect(killed, &QTimer::timeout, [&] { killedFired = true; });
        killed->start(30);
        QTimer::singleShot(10, t.context(), [&] { killed->stop(); });
    });
    ASSERT_TRUE(waitUntil([&] { return singles == 1 && repeats == 5 && zeros == 1000 && restarted == 3; }))
        << singles << " " << repeats << " " << zeros << " " << restarted;
    QThread::msleep(100);
    EXPECT_EQ(singles, 1);
    EXPECT_EQ(repeats, 5);
    EXPECT_EQ(zeros, 1000);
    EXPECT_EQ(restarted, 3);
    EXPECT_FALSE(killedFired);
    EXPECT_GE(singleAfterMs, 50);  // never early
    t.run([&] {
        EXPECT_FALSE(repeat->isActive());
        single->start(10000);
        const int left = single->remainingTime();
        EXPECT_GT(left, 9000);
        EXPECT_LE(left, 10000);
        single->stop();
        EXPECT_EQ(single->remainingTime(), -1);
    });
}

TEST(EpollDispatcher, WorkPostedFromAnotherThreadRunsPromptlyAndQuitEndsTheLoop) {
    // Nothing else to do: the thread sleeps in epoll until woken.
    std::atomic<int> ran{0};
    {
        EpollThread t;
        for (int i = 0; i < 200; ++i)
            QMetaObject::invokeMethod(t.context(), [&] { ++ran; }, Qt::QueuedConnection);
        ASSERT_TRUE(waitUntil([&] { return ran == 200; }, 2000));
        QElapsedTimer clock;
        clock.start();
        std::atomic<bool> done{false};
        QMetaObject::invokeMethod(t.context(), [&] { done = true; }, Qt::QueuedConnection);
        ASSERT_TRUE(waitUntil([&] { return done.load(); }, 2000));
        EXPECT_LT(clock.elapsed(), 1000);
    }  // the destructor quits the loop and waits for the thread
}

TEST(EpollDispatcher, SocketsTalkAndHangUpsAreSeen) {
    EpollThread t;
    QTcpServer* server = nullptr;
    QTcpSocket* accepted = nullptr;
    QByteArray received;
    std::atomic<bool> disconnected{false};
    std::mutex m;
    quint16 port = 0;
    t.run([&] {
        server = new QTcpServer(t.context());
        ASSERT_TRUE(server->listen(QHostAddress::LocalHost));
        port = server->serverPort();
        QObject::connect(server, &QTcpServer::newConnection, [&] {
            accepted = server->nextPendingConnection();
            QObject::connect(accepted, &QTcpSocket::readyRead, [&] {
                const QByteArray got = accepted->readAll();
                std::lock_guard<std::mutex> l(m);
                received += got;
                accepted->write(got.toUpper());  // answered: write notifier on the way out
            });
            QObject::connect(accepted, &QTcpSocket::disconnected, [&] { disconnected = true; });
        });
    });
    // The other end, plain blocking sockets on this thread.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(client.waitForConnected(5000));
    QByteArray big(300000, 'x');  // more than one socket buffer's worth each way
    client.write("hello ");
    client.write(big);
    QByteArray answer;
    while (answer.size() < 6 + big.size() && client.waitForReadyRead(5000))
        answer += client.readAll();
    EXPECT_EQ(answer, QByteArray("HELLO ") + QByteArray(300000, 'X'));
    {
        std::lock_guard<std::mutex> l(m);
        EXPECT_EQ(received.size(), 6 + big.size());
    }
    client.disconnectFromHost();
    EXPECT_TRUE(waitUntil([&] { return disconnected.load(); }));
}

TEST(EpollDispatcher, OnlyTheReadySocketOfAThousandIsTold) {
    EpollThread t;
    constexpr int kPairs = 1000;
    std::vector<std::array<int, 2>> pairs(kPairs);
    for (auto& p : pairs)
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, p.data()), 0);
    std::vector<std::atomic<int>> told(kPairs);
    std::vector<QSocketNotifier*> notifiers(kPairs);
    t.run([&] {
        for (int i = 0; i < kPairs; ++i) {
            notifiers[size_t(i)] = new QSocketNotifier(pairs[size_t(i)][0], QSocketNotifier::Read, t.context());
            QObject::connect(notifiers[size_t(i)], &QSocketNotifier::activated, [&, i] {
                char buf[64];
                [[maybe_unused]] const ssize_t n = ::read(pairs[size_t(i)][0], buf, sizeof buf);
                ++told[size_t(i)];
                // 10 and 11 each delete the other: whichever is told first,
                // the other must not be told after it is gone.
                if (i == 10 || i == 11) {
                    delete notifiers[size_t(21 - i)];
                    notifiers[size_t(21 - i)] = nullptr;
                }
            });
        }
    });
    ASSERT_EQ(::write(pairs[500][1], "a", 1), 1);
    ASSERT_TRUE(waitUntil([&] { return told[500] == 1; }));
    // Both ready before the thread looks again: reported in one pass.
    t.run([&] {
        ASSERT_EQ(::write(pairs[10][1], "b", 1), 1);
        ASSERT_EQ(::write(pairs[11][1], "c", 1), 1);
    });
    ASSERT_TRUE(waitUntil([&] { return told[10] + told[11] >= 1; }));
    QThread::msleep(50);
    EXPECT_EQ(told[10] + told[11], 1);
    int others = 0;
    for (int i = 0; i < kPairs; ++i)
        if (i != 500 && i != 10 && i != 11)
            others += told[size_t(i)];
    EXPECT_EQ(others, 0);
    EXPECT_EQ(told[500], 1);  // read empty: not told again
    t.run([&] {
        for (QSocketNotifier* n : notifiers)
            delete n;
    });
    for (auto& p : pairs) {
        ::close(p[0]);
        ::close(p[1]);
    }
}

TEST(EpollDispatcher, ARegularFileIsAlwaysReadyAsWithPoll) {
    TempWorkDir dir;
    dir.write("f", "content");
    EpollThread t;
    QFile f(dir.file("f"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    std::atomic<int> told{0};
    QSocketNotifier* n = nullptr;
    t.run([&] {
        n = new QSocketNotifier(f.handle(), QSocketNotifier::Read, t.context());
        QObject::connect(n, &QSocketNotifier::activated, [&] {
            if (++told == 3)
                n->setEnabled(false);
        });
    });
    EXPECT_TRUE(waitUntil([&] { return told == 3; }));
    t.run([&] { delete n; });
}

TEST(EpollDispatcher, LeavingSocketsOutStillWakesForPostedWorkAndTimers) {
    EpollThread t;
    int p[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, p), 0);
    ASSERT_EQ(::write(p[1], "x", 1), 1);  // ready all the time
    std::atomic<int> told{0};
    std::atomic<bool> timerFired{false};
    std::atomic<qint64> waitedMs{-1};
    t.run([&] {
        auto* n = new QSocketNotifier(p[0], QSocketNotifier::Read, t.context());
        QObject::connect(n, &QSocketNotifier::activated, [&] { ++told; });
        QTimer::singleShot(30, t.context(), [&] { timerFired = true; });
        QElapsedTimer clock;
        clock.start();
        // Sockets left out: a ready socket neither wakes nor is told.
        while (!timerFired)
            QAbstractEventDispatcher::instance()->processEvents(QEventLoop::ExcludeSocketNotifiers |
                                                                QEventLoop::WaitForMoreEvents);
        waitedMs = clock.elapsed();
        EXPECT_EQ(told, 0);
        delete n;
    });
    EXPECT_GE(waitedMs, 30);
    EXPECT_TRUE(timerFired);
    ::close(p[0]);
    ::close(p[1]);
}
#endif
