#pragma once
// For benchmarks that run the real program: its running-time lines, the
// clock, and a folder of its own with COM1 on a pseudo-terminal.
#include "Pty.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <time.h>
#include <vector>

inline const QString kProgram = QStringLiteral(TD_BINARY_DIR "/src/console/timedisplay");

inline qint64 nowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Line i shows one minute plus i hundredths: "1:SS.hh" on the board.
inline QByteArray line(int i) {
    const int ms = 60000 + i * 10;
    return QStringLiteral("012.    00:%1:%2.%3  \r")
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'))
        .toLatin1();
}
// The line a shown time ("1:SS.hh") belongs to, -1 when none.
inline int lineOf(const QString& shown) {
    static const QRegularExpression re(QStringLiteral("^(\\d+):(\\d\\d)\\.(\\d\\d)$"));
    const QRegularExpressionMatch m = re.match(shown);
    if (!m.hasMatch())
        return -1;
    const int ms = m.captured(1).toInt() * 60000 + m.captured(2).toInt() * 1000 + m.captured(3).toInt() * 10;
    return (ms - 60000) / 10;
}

inline double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// The program's folder (seeded from data/ when `seed`), its disp.ini, COM1
// linked to `pty`, and an offscreen screen; the caller starts `program`.
inline void prepareRun(const QTemporaryDir& dir, Pty& pty, QProcess& program, const QByteArray& ini, bool seed = true) {
    if (seed) {
        const QDir data(QStringLiteral(TD_SOURCE_DIR "/data"));
        for (const QFileInfo& f : data.entryInfoList(QDir::Files))
            QFile::copy(f.absoluteFilePath(), dir.filePath(f.fileName()));
    }
    QFile f(dir.filePath(QStringLiteral("disp.ini")));
    f.open(QIODevice::WriteOnly);
    f.write(ini);
    f.close();
    pty.link(dir.filePath(QStringLiteral("COM1")));
    program.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
}
