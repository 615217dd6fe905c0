#pragma once
#include <QObject>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A thread of its own for writing files, so the user-interface thread never
// waits for a disk. Jobs run one at a time; a job submitted while another
// still waits to start replaces it (the newest state is the one to write).
// Results come back as a signal on the thread that owns the worker.
class SaveWorker : public QObject {
    Q_OBJECT
public:
    // Returns whether the file was written; error says why not.
    using Job = std::function<bool(QString& error)>;

    explicit SaveWorker(QObject* parent = nullptr);
    ~SaveWorker() override;  // finishes the job running and the one waiting

    // Number of the job, counting from 1.
    quint64 submit(Job job);
    // Blocks until no job runs or waits, then delivers their results.
    void waitIdle();
    bool busy() const;

    // Runs before each job, on the writer thread (benchmarks slow the writer
    // down with it).
    std::function<void()> beforeEachJob;

signals:
    void finished(quint64 job, bool ok, const QString& error);

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    Job pending_;
    quint64 pendingId_ = 0, nextId_ = 0;
    bool running_ = false, stop_ = false;
    std::thread thread_;
};
