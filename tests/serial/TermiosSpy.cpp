// Records the line settings the program hands to the terminal driver. A
// pseudo-terminal's driver forces 8 data bits and no parity on whatever it
// is given, so these two can only be seen on their way in.
#include "PtyLine.h"

#include <QHash>
#include <QMutex>

#include <dlfcn.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdarg>
#include <string>

namespace {
QMutex mutex;
QHash<QString, tcflag_t>& requested() {
    static QHash<QString, tcflag_t> map;
    return map;
}
QString pathOf(int fd) {
    char link[64], target[PATH_MAX] = {};
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    return n > 0 ? QString::fromLocal8Bit(target, int(n)) : QString();
}
} // namespace

// Interposes the C library's function for every caller in this process
// (QSerialPort included) and passes the call on unchanged.
namespace {
void record(int fd, tcflag_t cflag) {
    const QString path = pathOf(fd);
    QMutexLocker lock(&mutex);
    if (!requested().contains(path))  // the first request since the last clear
        requested()[path] = cflag;
}
} // namespace

// The termios2 calls (rates outside the classic table) go through ioctl.
// Both structures begin with c_iflag, c_oflag, c_cflag.
extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    using Real = int (*)(int, unsigned long, void*);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "ioctl"));
    const int result = real(fd, request, arg);
    if (result == 0 && arg) {
        auto* flags = static_cast<tcflag_t*>(arg);
        if (isTermiosWrite(request))
            record(fd, flags[2]);
    }
    return result;
}

extern "C" int tcsetattr(int fd, int action, const struct termios* t) {
    using Real = int (*)(int, int, const struct termios*);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "tcsetattr"));
    const int result = real(fd, action, t);
    if (result == 0 && t)
        record(fd, t->c_cflag);
    return result;
}

void clearRequested(const QString& device) {
    QMutexLocker lock(&mutex);
    requested().remove(device);
}

PtyLine requestedLine(const QString& device) {
    PtyLine l;
    QMutexLocker lock(&mutex);
    const auto it = requested().constFind(device);
    if (it == requested().constEnd())
        return l;
    const tcflag_t c = *it;
    l.ok = true;
    switch (c & CSIZE) {
    case CS5: l.dataBits = 5; break;
    case CS6: l.dataBits = 6; break;
    case CS7: l.dataBits = 7; break;
    default: l.dataBits = 8; break;
    }
    l.stopBits = (c & CSTOPB) ? 2 : 1;
    if (!(c & PARENB))
        l.parity = 'N';
    else if (c & CMSPAR)
        l.parity = (c & PARODD) ? 'M' : 'S';
    else
        l.parity = (c & PARODD) ? 'O' : 'E';
    l.rtscts = c & CRTSCTS;
    return l;
}
