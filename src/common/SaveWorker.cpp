#include "common/SaveWorker.h"

#include <QCoreApplication>
#include <QMetaObject>

SaveWorker::SaveWorker(QObject* parent) : QObject(parent) { thread_ = std::thread([this] { run(); }); }

SaveWorker::~SaveWorker() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

quint64 SaveWorker::submit(Job job) {
    quint64 id;
    {
        std::lock_guard lock(mutex_);
        id = ++nextId_;
        pending_ = std::move(job);
        pendingId_ = id;
    }
    wake_.notify_all();
    return id;
}

bool SaveWorker::busy() const {
    std::lock_guard lock(mutex_);
    return running_ || pending_;
}

void SaveWorker::waitIdle() {
    {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return !running_ && !pending_; });
    }
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void SaveWorker::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || pending_; });
        if (!pending_)
            return;  // stopping with nothing left to write
        Job job = std::move(pending_);
        pending_ = nullptr;
        const quint64 id = pendingId_;
        running_ = true;
        lock.unlock();
        if (beforeEachJob)
            beforeEachJob();
        QString error;
        const bool ok = job(error);
        QMetaObject::invokeMethod(
            this, [this, id, ok, error] { emit finished(id, ok, error); }, Qt::QueuedConnection);
        lock.lock();
        running_ = false;
        if (!pending_)
            idle_.notify_all();
    }
}
