#include "settings/SettingsFile.h"

#include <QFile>

namespace settingsfile {

bool forEachLine(const QString& path, const std::function<void(const QByteArray& line)>& line) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QByteArray current;
    bool cut = false;
    char buf[8192];
    qint64 n;
    auto finish = [&] {
        if (current.endsWith('\r'))
            current.chop(1);
        line(current);
        current.clear();
        cut = false;
    };
    while ((n = f.read(buf, sizeof buf)) > 0) {
        for (qint64 i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == '\n') {
                finish();
            } else if (current.size() < kMaxLine) {
                current.append(c);
            } else {
                cut = true;  // the rest of an overlong line is dropped
            }
        }
    }
    if (!current.isEmpty() || cut)
        finish();
    return true;
}

bool match(const QByteArray& line, const QByteArray& key, Kind kind, QByteArray& value) {
    const qsizetype k = key.size();
    if (line.size() <= k || !line.startsWith(key) || line[k] != ' ')
        return false;
    if (kind == Kind::Switch) {
        if (line.size() < k + 2 || (line[k + 1] != '0' && line[k + 1] != '1'))
            return false;
        value = line.mid(k + 1, 1);
        return true;
    }
    value = line.mid(k + 1);
    return true;
}

QByteArray format(const QByteArray& key, const QByteArray& value) { return key + ' ' + value + "\r\n"; }

} // namespace settingsfile
