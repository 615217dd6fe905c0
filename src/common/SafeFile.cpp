#include "common/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace safefile {
namespace {

// Past a file size limit write() fails with EFBIG, but only once SIGXFSZ,
// which would kill the process, is ignored.
void ignoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

QString reason(const char* what, int e) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(e)));
}

bool writeAll(int fd, const QByteArray& bytes, off_t at) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, p, size_t(left), at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        p += n;
        at += n;
        left -= n;
    }
    return true;
}

void syncFolder(const QByteArray& dir) {
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

// The folder is read-only, the file is not: rewrite it where it is.
bool rewriteInPlace(const QByteArray& target, const QByteArray& bytes, QString* error) {
    const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = reason("open", errno);
        return false;
    }
    auto fail = [&](const char* what) {
        const int e = errno;
        ::close(fd);
        if (error)
            *error = reason(what, e);
        return false;
    };
    // Room first: a full disk or a size limit fails here, with the old
    // content still whole.
    if (!bytes.isEmpty()) {
        const int r = ::posix_fallocate(fd, 0, off_t(bytes.size()));
        if (r != 0 && r != EOPNOTSUPP && r != EINVAL) {
            errno = r;
            return fail("reserve space");
        }
    }
    if (!writeAll(fd, bytes, 0))
        return fail("write");
    if (::ftruncate(fd, off_t(bytes.size())) != 0)
        return fail("truncate");
    if (::fsync(fd) != 0)
        return fail("fsync");
    if (::close(fd) != 0) {
        if (error)
            *error = reason("close", errno);
        return false;
    }
    return true;
}

} // namespace

bool isReadOnly(const QString& path, QString* error) {
    const QByteArray target = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    struct stat st {};
    if (::stat(target.constData(), &st) != 0 || ((st.st_mode & 0222) != 0 && ::access(target.constData(), W_OK) == 0))
        return false;
    if (error)
        *error = QStringLiteral("the file is read-only; it is left as it is");
    return true;
}

bool replace(const QString& path, const QByteArray& bytes, const Options& options, QString* error) {
    ignoreFileSizeSignal();
    const QFileInfo info(path);
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists && options.respectReadOnly && isReadOnly(path, error))
        return false;
    QByteArray tmpl = QFile::encodeName(info.absolutePath() + u'/' + u'.' + info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (exists && options.inPlaceWhenFolderReadOnly && (e == EACCES || e == EPERM || e == EROFS) &&
            S_ISREG(old.st_mode) && ::access(target.constData(), W_OK) == 0)
            return rewriteInPlace(target, bytes, error);
        if (error)
            *error = reason("create temporary file", e);
        return false;
    }
    auto fail = [&](const char* what, bool open) {
        const int e = errno;
        if (open)
            ::close(fd);
        ::unlink(tmpl.constData());
        if (error)
            *error = reason(what, e);
        return false;
    };
    if (exists) {
        // the replaced file keeps its permissions and, where allowed, its owner
        (void)!::fchown(fd, old.st_uid, old.st_gid);
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (!writeAll(fd, bytes, 0))
        return fail("write", true);
    if (::fsync(fd) != 0)
        return fail("fsync", true);
    if (::close(fd) != 0)
        return fail("close", false);
    if (::rename(tmpl.constData(), target.constData()) != 0)
        return fail("rename", false);
    // the rename itself reaches the disk with the folder
    syncFolder(dir);
    // A save cut short by a crash or a kill leaves its temporary file; one
    // older than a minute belongs to no save that is still running.
    const QDir folder(info.absolutePath());
    const QString pattern = u'.' + info.fileName() + QStringLiteral(".??????");
    const QDateTime stale = QDateTime::currentDateTimeUtc().addSecs(-60);
    for (const QFileInfo& f : folder.entryInfoList({pattern}, QDir::Files | QDir::Hidden | QDir::System))
        if (f.lastModified().toUTC() < stale)
            QFile::remove(f.absoluteFilePath());
    return true;
}

QString asideName(const QString& path) {
    const QString base = path + QStringLiteral(".unreadable-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = base;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = base + u'~' + QString::number(n);
    return aside;
}

QStringList rescueFolders(const QString& first) {
    QStringList folders{QDir::cleanPath(QDir(first).absolutePath())};
    for (const QString& f : {qEnvironmentVariable("HOME"), qEnvironmentVariable("XDG_RUNTIME_DIR"),
                             QStandardPaths::writableLocation(QStandardPaths::TempLocation)}) {
        const QString clean = f.isEmpty() ? QString() : QDir::cleanPath(QDir(f).absolutePath());
        if (!clean.isEmpty() && !folders.contains(clean))
            folders << clean;
    }
    return folders;
}

QString rescue(const QString& first, const QString& name, const QByteArray& bytes, QStringList* tried) {
    for (const QString& folder : rescueFolders(first)) {
        QString path = QDir(folder).filePath(name);
        for (int n = 2; QFileInfo::exists(path); ++n)
            path = QDir(folder).filePath(name + u'~' + QString::number(n));
        QString why;
        if (replace(path, bytes, Options(), &why))
            return path;
        if (tried)
            *tried << path + QStringLiteral(": ") + why;
    }
    return QString();
}

} // namespace safefile
