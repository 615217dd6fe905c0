#pragma once
// What another process costs, read from /proc: for benchmarks that run the real program.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <unistd.h>

// CPU seconds (user and system) the process has used so far; -1 when it is gone.
inline double processCpuSeconds(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the whole line.
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

// Resident memory in MB; -1 when the process is gone.
inline double residentMegabytes(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}
