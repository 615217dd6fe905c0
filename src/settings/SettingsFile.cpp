#include "settings/SettingsFile.h"

#include "common/RegularFile.h"

#include <QBuffer>

namespace settingsfile {

namespace {
// 138 keys; far more than any disp.ini holds.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;
}

bool read(const QString& path, QByteArray& bytes) {
    // Only a regular file: a FIFO or a link to /dev/zero must not hang start-up.
    return regularfile::read(path, kMaxFileSize, bytes);
}

bool forEachLine(const QString& path, const std::function<void(const QByteArray& line)>& line) {
    QByteArray bytes;
    if (!read(path, bytes))
        return false;
    forEachLine(bytes, line);
    return true;
}

void forEachLine(const QByteArray& text, const std::function<void(const QByteArray& line)>& line) {
    QByteArray bytes = text;
    QBuffer f(&bytes);
    f.open(QIODevice::ReadOnly);
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

QString problem(const QByteArray& bytes, bool anyKey) {
    if (bytes.trimmed().isEmpty())
        return {};
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return QStringLiteral("it holds binary data (byte %1 at offset %2)")
                .arg(QStringLiteral("0x%1").arg(c, 2, 16, QLatin1Char('0')))
                .arg(i);
    }
    if (!anyKey)
        return QStringLiteral("not one of its lines is a setting");
    return {};
}

QByteArray format(const QByteArray& key, const QByteArray& value) { return key + ' ' + value + "\r\n"; }

} // namespace settingsfile
