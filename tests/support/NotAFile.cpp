#include "NotAFile.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char* name(NotAFile kind) {
    switch (kind) {
    case NotAFile::Fifo: return "FIFO";
    case NotAFile::DevZeroLink: return "link to /dev/zero";
    case NotAFile::Directory: return "directory";
    case NotAFile::TooLarge: return "too large";
    }
    return "?";
}

bool makeNotAFile(NotAFile kind, const QString& path, qint64 size) {
    const QByteArray p = QFile::encodeName(path);
    switch (kind) {
    case NotAFile::Fifo:
        return ::mkfifo(p.constData(), 0644) == 0;
    case NotAFile::DevZeroLink:
        return ::symlink("/dev/zero", p.constData()) == 0;
    case NotAFile::Directory:
        return QDir().mkdir(path);
    case NotAFile::TooLarge: {
        const int fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return false;
        const bool ok = ::ftruncate(fd, size) == 0;
        ::close(fd);
        return ok;
    }
    }
    return false;
}
