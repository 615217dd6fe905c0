#pragma once
#include <QByteArray>
#include <QString>
#include <functional>

// A real pseudo-terminal standing in for a timing device: the test writes to
// the master end, the program opens the slave through a "COM<n>" link.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool valid() const { return master_ >= 0; }
    const QString& slavePath() const { return slave_; }
    // Creates (or replaces) the link `linkPath` to the slave end.
    bool link(const QString& linkPath) const;
    // Writes everything, letting the event loop run while the pty is full.
    bool write(const QByteArray& bytes);
    // What the program wrote to the line so far (never waits).
    QByteArray readAvailable();
    // Closes the master end: the device vanishes.
    void close();
    int masterFd() const { return master_; }

private:
    int master_ = -1;
    QString slave_;
};

// Whether process `pid` holds `path` open (read from /proc).
bool hasOpen(qint64 pid, const QString& path);

// Runs the event loop until `done` holds or `ms` have passed.
bool waitFor(const std::function<bool()>& done, int ms = 3000);
// Runs the event loop for `ms`.
void spin(int ms);
