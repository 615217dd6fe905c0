#include "common/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace regularfile {
namespace {

bool fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

QString kindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return QStringLiteral("is a directory");
    if (S_ISFIFO(mode))
        return QStringLiteral("is a FIFO, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("is a device, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("is a socket, not a regular file");
    return QStringLiteral("not a regular file");
}

} // namespace

bool read(const QString& path, qint64 limit, QByteArray& out, QString* error) {
    out.clear();
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return fail(error, systemError(ENOENT));
    // O_NONBLOCK: opening a FIFO with no writer returns at once instead of
    // waiting for one.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fail(error, systemError(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return fail(error, systemError(errno));
    if (!S_ISREG(st.st_mode))
        return fail(error, kindOf(st.st_mode));
    if (st.st_size > limit)
        return fail(error, QStringLiteral("file too large (%1 bytes, at most %2)").arg(st.st_size).arg(limit));
    // A regular file never blocks; clear the flag all the same.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // The size may change while we read (a file being written): never read
    // more than the limit, never trust the size for the allocation alone.
    QByteArray bytes;
    bytes.resize(qsizetype(st.st_size));
    qint64 got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (bytes.size() >= limit + 1)
                break;
            bytes.resize(qsizetype(std::min<qint64>(limit + 1, got + 65536)));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(error, systemError(errno));
        }
        if (n == 0)
            break;
        got += n;
    }
    if (got > limit)
        return fail(error, QStringLiteral("file too large (more than %1 bytes)").arg(limit));
    bytes.resize(qsizetype(got));
    out = std::move(bytes);
    return true;
}

} // namespace regularfile
