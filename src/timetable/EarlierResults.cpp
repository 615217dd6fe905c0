#include "timetable/EarlierResults.h"

namespace earlier {
namespace {
void putText(Sheet& s, int row, int col, const QString& text) {
    if (text.isEmpty())
        return;
    Cell* c = s.touch(row, col);
    c->kind = Cell::Text;
    c->text = text;
}
} // namespace

void append(Sheet& to, const Sheet& table, int row, int col, char channel, const QDateTime& when) {
    const Cell* time = table.cell(row, col);
    if (!time || time->kind == Cell::Empty)
        return;
    if (to.rows().empty()) {
        const char* headings[] = {"Start number", "Name", "Channel", "Time", "Cleared at"};
        for (int c = 1; c <= 5; ++c)
            putText(to, 1, c, QString::fromLatin1(headings[c - 1]));
        to.setColumnWidth(1, 12 * 256);
        to.setColumnWidth(2, 28 * 256);
        to.setColumnWidth(4, 12 * 256);
        to.setColumnWidth(5, 20 * 256);
    }
    const int r = int(to.rows().size()) + 1;  // rows are only ever appended
    Cell* number = to.touch(r, 1);
    number->kind = Cell::Number;
    number->number = row - 9;  // the runner row of start number n is n + 9
    auto shown = [&](int c) { return table.text(row, c, u'.').trimmed(); };
    putText(to, r, 2, (shown(3) + u' ' + shown(4)).trimmed());
    putText(to, r, 3, QString(QChar(channel)));
    Cell* copy = to.touch(r, 4);
    const uint8_t keyCol = copy->col;
    *copy = *time;
    copy->col = keyCol;
    copy->format = to.formatIndex(table.formats().value(time->format));
    putText(to, r, 5, when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

} // namespace earlier
