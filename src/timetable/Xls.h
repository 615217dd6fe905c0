#pragma once
#include "timetable/Sheet.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// liste.xls: an Excel 97-2003 workbook (BIFF8 records in the "Workbook"
// stream of an OLE2 compound file). The container is libgsf's; the records
// are ours. Only the first worksheet is kept.
namespace xls {

// Parses a whole file. On failure returns false, leaves out untouched and
// says why in error.
bool read(const QByteArray& file, Sheet& out, QString* error = nullptr);
// Reads only a regular file of at most kMaxFileSize bytes.
bool readFile(const QString& path, Sheet& out, QString* error = nullptr);
constexpr qint64 kMaxFileSize = qint64(1) << 30;

// Names of the streams and storages at the top of an OLE2 compound file;
// nullopt when the bytes are none.
std::optional<QStringList> containerEntries(const QByteArray& file);

// The BIFF8 "Workbook" stream and the compound file around it.
QByteArray workbookStream(const Sheet& sheet);
// Puts a Workbook stream into a compound file.
bool container(const QByteArray& stream, QByteArray& file);
bool write(const Sheet& sheet, QByteArray& file, QString* error = nullptr);

// Replaces path by bytes so that a crash at any moment leaves either the
// old or the new complete file: temporary file in the same folder, fsync,
// rename over path, fsync of the folder.
bool saveAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

} // namespace xls
