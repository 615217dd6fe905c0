#include "timetable/SpreadsheetTable.h"

#include "timetable/EarlierResults.h"
#include "timetable/Spreadsheet.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace {
int clampedMs(double ms) {
    if (!std::isfinite(ms))
        return 0;
    return int(std::clamp(std::llround(ms), (long long)INT32_MIN, (long long)INT32_MAX));
}
} // namespace

QString SpreadsheetTable::entry(int row, int col) const {
    const TSpreadsheet* t = table_();
    return t ? t->EntryRC(row, col) : QString();
}

bool SpreadsheetTable::hasEntry(int row, int col) const {
    const TSpreadsheet* t = table_();
    return t && t->sheet().hasEntry(row, col);
}

QString SpreadsheetTable::text(int row, int col) const {
    const TSpreadsheet* t = table_();
    return t ? t->TextRC(row, col) : QString();
}

std::optional<int> SpreadsheetTable::valueMs(int row, int col) const {
    const TSpreadsheet* t = table_();
    if (!t)
        return std::nullopt;
    if (const Cell* c = t->sheet().cell(row, col)) {
        if (c->kind == Cell::Time)
            return clampedMs(c->number * 86400000.0);
        if (c->kind == Cell::Number)
            return clampedMs(c->number * 1000.0);
    }
    return std::nullopt;
}

void SpreadsheetTable::setEntry(int row, int col, const QString& entry) {
    if (TSpreadsheet* t = table_())
        t->setEntryRC(row, col, entry);
}

void SpreadsheetTable::keepEarlier(int row, int col, char channel) {
    TSpreadsheet* t = table_();
    if (!t || t->EntryRC(row, col).isEmpty())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    t->changeSheet(earlier::kSheetName, [&](Sheet& s) { earlier::append(s, t->sheet(), row, col, channel, now); });
}

void SpreadsheetTable::beginBatch() {
    if (TSpreadsheet* t = table_())
        t->beginBatch();
}

void SpreadsheetTable::endBatch() {
    if (TSpreadsheet* t = table_())
        t->endBatch();
}
