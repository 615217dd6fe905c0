#pragma once
#include "timetable/Sheet.h"

#include <QDateTime>
#include <QString>

// A time the line clears or replaces in the time table (a runner's second
// run, a corrected time) is first copied to a worksheet of its own, so the
// workbook keeps every result ever recorded.
namespace earlier {

inline const QString kSheetName = QStringLiteral("Earlier results");

// Appends the time at (row, col) of the time table to `to`: start number,
// name, channel, the time as it was (value and number format), and when it
// was cleared. The first row of an empty sheet gets the headings. Nothing
// for an empty cell.
void append(Sheet& to, const Sheet& table, int row, int col, char channel, const QDateTime& when);

} // namespace earlier
