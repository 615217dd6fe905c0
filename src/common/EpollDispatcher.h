#pragma once
#include <QAbstractEventDispatcher>
#include <QtGlobal>

#include <atomic>
#include <unordered_map>
#include <vector>

#ifdef Q_OS_LINUX
#define TD_HAVE_EPOLL_DISPATCHER 1
#include <sys/epoll.h>

// An event dispatcher for a thread with many sockets: it waits with epoll, so
// a wake-up costs the same whether 10 or 2000 sockets are open. Qt's own
// dispatchers hand every registered descriptor to poll() on each wake-up.
// Give it to a QThread before the thread starts (QThread::setEventDispatcher).
// Semantics follow Qt's Unix dispatcher: posted events first, then the
// sockets that are ready, then the timers that are due.
class EpollDispatcher : public QAbstractEventDispatcher {
public:
    // nullptr when the kernel refuses an epoll or eventfd descriptor.
    static EpollDispatcher* create(QObject* parent = nullptr);
    ~EpollDispatcher() override;

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;

    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;

    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType, QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;

    void wakeUp() override;
    void interrupt() override;

private:
    EpollDispatcher(int epoll, int wake, QObject* parent);

    struct Watched {
        QSocketNotifier* notifier[3] = {nullptr, nullptr, nullptr};  // by QSocketNotifier::Type
        quint32 events = 0;                                          // as given to epoll
    };
    struct Timer {
        int id;
        qint64 interval;  // ms
        Qt::TimerType type;
        QObject* object;
        qint64 due;       // ns, monotonic
        quint64 serial;   // tells a timer apart from a later one with the same id
        bool inEvent;
    };

    void watch(int fd, Watched& w);
    int activateSockets(int ready);
    int activateTimers();
    // ns until the next timer is due; -1 without timers.
    qint64 nextTimerWait(qint64 now) const;
    Timer* findTimer(int id);

    const int epoll_;
    const int wake_;  // eventfd
    std::atomic<bool> woken_{false};
    std::atomic<bool> interrupted_{false};
    std::unordered_map<int, Watched> watched_;
    std::vector<QSocketNotifier*> pending_;  // ready, not yet told
    std::vector<int> alwaysReady_;           // regular files: epoll refuses them
    std::vector<Timer> timers_;
    quint64 nextSerial_ = 1;
    std::vector<epoll_event> events_;
};
#endif
