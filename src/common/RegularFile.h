#pragma once
#include <QByteArray>
#include <QString>

// Reading files named by the operator or found in the working folder. Only
// regular files are read: a FIFO would block for ever, /dev/zero never
// ends, a directory has no bytes. The file is opened without blocking,
// checked with fstat on the open descriptor (no race with a rename), and
// refused when larger than `limit` before a byte of it is read.
namespace regularfile {

// Reads the whole file into `out`. On failure `error` says why ("not a
// regular file", "file too large", or the system's reason).
bool read(const QString& path, qint64 limit, QByteArray& out, QString* error = nullptr);

} // namespace regularfile
