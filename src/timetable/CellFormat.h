#pragma once
#include <QChar>
#include <QString>

// Spreadsheet number formats ("m:ss.000", "###.##", "General", "0.00",
// "[h]:mm:ss" ...) as Excel and LibreOffice store them in .xls files.
namespace cellfmt {

enum class Kind { Number, Time, Date };

// Excel's built-in format codes by id (0..49); empty for ids without one.
QString builtin(int id);
// The built-in id of a format code, or -1.
int builtinId(const QString& code);

// Time: shows only hours, minutes, seconds (the value is a fraction of a day).
// Date: shows a calendar date. Number: everything else.
Kind classify(const QString& code);

// The value as the format shows it; decimalSep replaces the "." of the code.
QString format(double value, const QString& code, QChar decimalSep);

} // namespace cellfmt
