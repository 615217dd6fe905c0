#include "common/EpollDispatcher.h"

#ifdef TD_HAVE_EPOLL_DISPATCHER
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimerEvent>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

namespace {

qint64 nowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

constexpr quint32 kEventOf[3] = {EPOLLIN, EPOLLOUT, EPOLLPRI};  // Read, Write, Exception
// What wakes a notifier of each type; hang-up and error wake all, as poll() does.
constexpr quint32 kReadyFor[3] = {EPOLLIN | EPOLLHUP | EPOLLERR, EPOLLOUT | EPOLLHUP | EPOLLERR,
                                  EPOLLPRI | EPOLLHUP | EPOLLERR};

} // namespace

EpollDispatcher* EpollDispatcher::create(QObject* parent) {
    const int ep = epoll_create1(EPOLL_CLOEXEC);
    if (ep < 0)
        return nullptr;
    const int ev = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (ev < 0) {
        ::close(ep);
        return nullptr;
    }
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.fd = ev;
    if (epoll_ctl(ep, EPOLL_CTL_ADD, ev, &e) != 0) {
        ::close(ev);
        ::close(ep);
        return nullptr;
    }
    return new EpollDispatcher(ep, ev, parent);
}

EpollDispatcher::EpollDispatcher(int epoll, int wake, QObject* parent)
    : QAbstractEventDispatcher(parent), epoll_(epoll), wake_(wake), events_(256) {}

EpollDispatcher::~EpollDispatcher() {
    ::close(wake_);
    ::close(epoll_);
}

void EpollDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
    const int fd = int(notifier->socket());
    const int type = int(notifier->type());
    if (fd < 0 || type < 0 || type > 2)
        return;
    Watched& w = watched_[fd];
    w.notifier[type] = notifier;
    watch(fd, w);
}

void EpollDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
    pending_.erase(std::remove(pending_.begin(), pending_.end(), notifier), pending_.end());
    const auto it = watched_.find(int(notifier->socket()));
    if (it == watched_.end())
        return;
    Watched& w = it->second;
    for (QSocketNotifier*& n : w.notifier)
        if (n == notifier)
            n = nullptr;
    watch(it->first, w);
}

// Tells epoll what the notifiers of fd want; forgets fd when none is left.
void EpollDispatcher::watch(int fd, Watched& w) {
    quint32 wanted = 0;
    for (int t = 0; t < 3; ++t)
        if (w.notifier[t])
            wanted |= kEventOf[t];
    if (wanted == 0) {
        // The descriptor may already be closed; then epoll has forgotten it itself.
        epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        alwaysReady_.erase(std::remove(alwaysReady_.begin(), alwaysReady_.end(), fd), alwaysReady_.end());
        watched_.erase(fd);
        return;
    }
    if (wanted == w.events)
        return;
    epoll_event e{};
    e.events = wanted;
    e.data.fd = fd;
    int op = w.events == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
    if (std::find(alwaysReady_.begin(), alwaysReady_.end(), fd) != alwaysReady_.end()) {
        w.events = wanted;
        return;
    }
    int r = epoll_ctl(epoll_, op, fd, &e);
    // The same number may be a new descriptor (the old one closed while
    // watched), or an old one still known to epoll.
    if (r != 0 && errno == ENOENT && op == EPOLL_CTL_MOD)
        r = epoll_ctl(epoll_, op = EPOLL_CTL_ADD, fd, &e);
    else if (r != 0 && errno == EEXIST && op == EPOLL_CTL_ADD)
        r = epoll_ctl(epoll_, op = EPOLL_CTL_MOD, fd, &e);
    if (r != 0 && errno == EPERM) {
        // A regular file: poll() calls it always ready, and so do we.
        alwaysReady_.push_back(fd);
        r = 0;
    }
    if (r != 0) {
        qWarning("EpollDispatcher: cannot watch descriptor %d: %s", fd, strerror(errno));
        return;
    }
    w.events = wanted;
}

bool EpollDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    interrupted_.store(false);
    emit awake();
    QCoreApplication::sendPostedEvents();

    const bool withTimers = !(flags & QEventLoop::X11ExcludeTimers);
    const bool withSockets = !(flags & QEventLoop::ExcludeSocketNotifiers);
    const bool canWait = (flags & QEventLoop::WaitForMoreEvents) && !interrupted_.load();
    if (canWait)
        emit aboutToBlock();
    if (interrupted_.load())
        return false;

    qint64 waitNs = 0;
    if (canWait && !(withSockets && !alwaysReady_.empty()))
        waitNs = withTimers ? nextTimerWait(nowNs()) : -1;

    int handled = 0;
    if (withSockets) {
        // Kernels before 5.11 lack epoll_pwait2: millisecond waits there.
        static std::atomic<bool> nanoWaits{true};
        timespec ts{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
        int n = -1;
        if (nanoWaits.load(std::memory_order_relaxed)) {
            n = epoll_pwait2(epoll_, events_.data(), int(events_.size()), waitNs < 0 ? nullptr : &ts, nullptr);
            if (n < 0 && errno == ENOSYS)
                nanoWaits.store(false, std::memory_order_relaxed);
        }
        if (!nanoWaits.load(std::memory_order_relaxed))
            n = epoll_wait(epoll_, events_.data(), int(events_.size()),
                           waitNs < 0 ? -1 : int((waitNs + 999999) / 1000000));
        if (n > 0 || !alwaysReady_.empty())
            handled += activateSockets(std::max(n, 0));
    } else {
        // Sockets left out: only a wake-up or a timer ends the wait.
        pollfd p{wake_, POLLIN, 0};
        timespec ts{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
        if (ppoll(&p, 1, waitNs < 0 ? nullptr : &ts, nullptr) > 0 && (p.revents & POLLIN)) {
            quint64 count = 0;
            [[maybe_unused]] const ssize_t r = ::read(wake_, &count, sizeof count);
            woken_.store(false);
            ++handled;
        }
    }
    if (withTimers)
        handled += activateTimers();
    return handled > 0;
}

int EpollDispatcher::activateSockets(int ready) {
    int woke = 0;
    auto mark = [this](QSocketNotifier* n) {
        if (n && std::find(pending_.begin(), pending_.end(), n) == pending_.end())
            pending_.push_back(n);
    };
    for (int i = 0; i < ready; ++i) {
        const epoll_event& e = events_[size_t(i)];
        if (e.data.fd == wake_) {
            // Read first, then allow the next write: a wake-up in between
            // finds its posted event handled by the next pass anyway.
            quint64 count = 0;
            [[maybe_unused]] const ssize_t r = ::read(wake_, &count, sizeof count);
            woken_.store(false);
            ++woke;
            continue;
        }
        const auto it = watched_.find(e.data.fd);
        if (it == watched_.end())
            continue;
        for (int t = 0; t < 3; ++t)
            if (e.events & kReadyFor[t])
                mark(it->second.notifier[t]);
    }
    for (int fd : alwaysReady_)
        if (const auto it = watched_.find(fd); it != watched_.end())
            for (QSocketNotifier* n : it->second.notifier)
                mark(n);
    // Each is told in turn; one told may disable others, which leaves the list.
    int told = 0;
    while (!pending_.empty()) {
        QSocketNotifier* n = pending_.front();
        pending_.erase(pending_.begin());
        QEvent event(QEvent::SockAct);
        QCoreApplication::sendEvent(n, &event);
        ++told;
    }
    return woke + told;
}

void EpollDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType, QObject* object) {
    if (timerType == Qt::VeryCoarseTimer)
        interval = (interval + 500) / 1000 * 1000;  // whole seconds
    timers_.push_back({timerId, interval, timerType, object, nowNs() + interval * 1000000, nextSerial_++, false});
}

EpollDispatcher::Timer* EpollDispatcher::findTimer(int id) {
    const auto it = std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
    return it == timers_.end() ? nullptr : &*it;
}

bool EpollDispatcher::unregisterTimer(int timerId) {
    const auto it = std::find_if(timers_.begin(), timers_.end(), [timerId](const Timer& t) { return t.id == timerId; });
    if (it == timers_.end())
        return false;
    timers_.erase(it);
    return true;
}

bool EpollDispatcher::unregisterTimers(QObject* object) {
    const auto end = std::remove_if(timers_.begin(), timers_.end(), [object](const Timer& t) { return t.object == object; });
    const bool any = end != timers_.end();
    timers_.erase(end, timers_.end());
    return any;
}

QList<QAbstractEventDispatcher::TimerInfo> EpollDispatcher::registeredTimers(QObject* object) const {
    QList<TimerInfo> list;
    for (const Timer& t : timers_)
        if (t.object == object)
            list.append(TimerInfo(t.id, int(t.interval), t.type));
    return list;
}

int EpollDispatcher::remainingTime(int timerId) {
    const Timer* t = findTimer(timerId);
    if (!t)
        return -1;
    return int(std::max<qint64>(0, (t->due - nowNs() + 999999) / 1000000));
}

qint64 EpollDispatcher::nextTimerWait(qint64 now) const {
    qint64 wait = -1;
    for (const Timer& t : timers_) {
        if (t.inEvent)
            continue;  // not again while its own event runs (a nested loop)
        const qint64 w = std::max<qint64>(0, t.due - now);
        if (wait < 0 || w < wait)
            wait = w;
    }
    return wait;
}

int EpollDispatcher::activateTimers() {
    const qint64 now = nowNs();
    // The timers due now, earliest first; each at most once a pass, and one
    // started or stopped by another's event is looked up again.
    std::vector<std::pair<qint64, std::pair<int, quint64>>> due;
    for (const Timer& t : timers_)
        if (t.due <= now && !t.inEvent)
            due.push_back({t.due, {t.id, t.serial}});
    std::sort(due.begin(), due.end());
    int fired = 0;
    for (const auto& [when, key] : due) {
        Timer* t = findTimer(key.first);
        if (!t || t->serial != key.second || t->inEvent)
            continue;
        const qint64 step = t->interval * 1000000;
        t->due += step;
        if (t->due < now)
            t->due = now + step;  // fell behind: no burst to catch up
        t->inEvent = true;
        QObject* object = t->object;
        QTimerEvent event(t->id);
        QCoreApplication::sendEvent(object, &event);
        ++fired;
        if (Timer* again = findTimer(key.first); again && again->serial == key.second)
            again->inEvent = false;
    }
    return fired;
}

void EpollDispatcher::wakeUp() {
    bool expected = false;
    if (woken_.compare_exchange_strong(expected, true)) {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t r = ::write(wake_, &one, sizeof one);
    }
}

void EpollDispatcher::interrupt() {
    interrupted_.store(true);
    wakeUp();
}
#endif
