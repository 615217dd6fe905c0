// csv2xls IN.csv OUT.xls: makes a time table from a CSV file (UTF-8, comma
// separated, fields in double quotes where needed). Each field is a cell's
// entry text, row by row from row 1, column 1. The time columns get the time
// table's number format, as the time table window gives them on every load.
#include "timetable/Sheet.h"
#include "timetable/Xls.h"

#include <QFile>
#include <QStringList>
#include <cstdio>

namespace {

QList<QStringList> parseCsv(const QString& text) {
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
            any = true;
        } else if (c == u',') {
            row << field;
            field.clear();
            any = true;
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            row << field;
            rows << row;
            row.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any) {
        row << field;
        rows << row;
    }
    return rows;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: csv2xls IN.csv OUT.xls\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "csv2xls: %s: %s\n", argv[1], in.errorString().toLocal8Bit().constData());
        return 1;
    }
    const QList<QStringList> rows = parseCsv(QString::fromUtf8(in.readAll()));
    Sheet sheet;
    sheet.setName(QStringLiteral("Times"));
    sheet.setFormat(1, 6, Sheet::MaxCols, 17, QStringLiteral("m:ss.000"));
    std::vector<int> widest(Sheet::MaxCols + 1, 0);
    for (qsizetype r = 0; r < rows.size() && r < Sheet::MaxRows; ++r)
        for (qsizetype c = 0; c < rows[r].size() && c < Sheet::MaxCols; ++c) {
            sheet.setEntry(int(r) + 1, int(c) + 1, rows[r][c], u'.');
            // titles in column 2 run over the empty cells beside them
            if (!(c == 1 && r < 3))
                widest[size_t(c) + 1] = std::max<int>(widest[size_t(c) + 1], int(sheet.text(int(r) + 1, int(c) + 1, u'.').size()));
        }
    for (int c = 1; c <= Sheet::MaxCols; ++c)
        if (widest[size_t(c)] > 8)
            sheet.setColumnWidth(c, uint16_t(std::min(widest[size_t(c)] + 2, 60) * 256));
    QByteArray bytes;
    QString why;
    if (!xls::write(sheet, bytes, &why) || !xls::saveAtomically(QString::fromLocal8Bit(argv[2]), bytes, &why)) {
        std::fprintf(stderr, "csv2xls: %s: %s\n", argv[2], why.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
