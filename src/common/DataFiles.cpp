#include "common/DataFiles.h"

#include <QDir>
#include <QFileInfo>

namespace datafiles {

namespace {
QStringList g_folders;

bool isFile(const QString& path) { return QFileInfo(path).isFile(); }

// `inner` is `outer` or lies below it (both cleaned, absolute).
bool isInside(const QString& inner, const QString& outer) {
    const QString a = QDir::cleanPath(QDir(inner).absolutePath());
    const QString b = QDir::cleanPath(QDir(outer).absolutePath());
    return a == b || a.startsWith(b + u'/');
}
} // namespace

QStringList defaultFolders(const QString& appDir) {
    QStringList candidates{QDir::cleanPath(appDir + QStringLiteral("/../share/timedisplay")),
                           QStringLiteral(TD_DATA_INSTALL_DIR)};
#if defined(TD_BUILD_DIR) && defined(TD_SOURCE_DATA_DIR)
    // Run from the build tree (script/run, a developer's shell): the source data/.
    if (isInside(appDir, QStringLiteral(TD_BUILD_DIR)))
        candidates << QStringLiteral(TD_SOURCE_DATA_DIR);
#endif
    QStringList out;
    for (const QString& c : candidates) {
        const QString clean = QDir::cleanPath(c);
        if (QFileInfo(clean).isDir() && !out.contains(clean))
            out << clean;
    }
    return out;
}

void setFolders(const QStringList& folders) { g_folders = folders; }

QStringList folders() { return g_folders; }

QString locate(const QString& name) {
    // Whatever the operator put in the working folder is theirs, even when
    // it is not a readable file: the reader then says what is wrong with it.
    if (name.isEmpty() || name.contains(u'/') || QFileInfo::exists(name))
        return name;
    const QString found = shipped(name);
    return found.isEmpty() ? name : found;
}

QString shipped(const QString& relative) {
    for (const QString& folder : g_folders) {
        const QString path = folder + u'/' + relative;
        if (isFile(path))
            return path;
    }
    return {};
}

} // namespace datafiles
