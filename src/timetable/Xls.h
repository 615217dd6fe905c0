#pragma once
#include "timetable/Sheet.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// liste.xls: an Excel 97-2003 workbook (BIFF8 records in the "Workbook"
// stream of an OLE2 compound file). The container is libgsf's; the records
// are ours. Worksheets are kept (the first is the time table); charts and
// macro sheets are not.
namespace xls {

// Parses a whole file: the first worksheet into out, the others into more
// when it is given. On failure returns false, leaves out and more untouched
// and says why in error.
bool read(const QByteArray& file, Sheet& out, QString* error = nullptr, std::vector<Sheet>* more = nullptr);
// Reads only a regular file of at most kMaxFileSize bytes.
bool readFile(const QString& path, Sheet& out, QString* error = nullptr, std::vector<Sheet>* more = nullptr);
constexpr qint64 kMaxFileSize = qint64(1) << 30;

// Names of the streams and storages at the top of an OLE2 compound file;
// nullopt when the bytes are none.
std::optional<QStringList> containerEntries(const QByteArray& file);

// The BIFF8 "Workbook" stream and the compound file around it.
QByteArray workbookStream(const Sheet& sheet);
// A workbook of several sheets: first, then more, as tabs in that order.
QByteArray workbookStream(const Sheet& first, const std::vector<Sheet>& more);
// Puts a Workbook stream into a compound file.
bool container(const QByteArray& stream, QByteArray& file);
bool write(const Sheet& sheet, QByteArray& file, QString* error = nullptr, const std::vector<Sheet>& more = {});

// Replaces path by bytes so that a crash at any moment leaves either the
// old or the new complete file: temporary file in the same folder, fsync,
// rename over path, fsync of the folder.
bool saveAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

} // namespace xls
