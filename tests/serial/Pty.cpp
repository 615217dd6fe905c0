#include "Pty.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty() {
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    // Raw from the start, like a serial line: no echo, no CR translation.
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    // A program the test starts must not hold the device's end too: closing it
    // here would then not take the device away.
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    master_ = master;
    slave_ = QString::fromLocal8Bit(name);
}

Pty::~Pty() { close(); }

bool Pty::link(const QString& linkPath) const {
    QFile::remove(linkPath);
    return ::symlink(QFile::encodeName(slave_).constData(), QFile::encodeName(linkPath).constData()) == 0;
}

bool Pty::write(const QByteArray& bytes) {
    qsizetype done = 0;
    QDeadlineTimer deadline(20000);
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}

QByteArray Pty::readAvailable() {
    QByteArray out;
    char buf[65536];
    ssize_t n;
    while (master_ >= 0 && (n = ::read(master_, buf, sizeof buf)) > 0)
        out.append(buf, n);
    return out;
}

void Pty::close() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

bool waitFor(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool hasOpen(qint64 pid, const QString& path) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == path)
            return true;
    return false;
}
