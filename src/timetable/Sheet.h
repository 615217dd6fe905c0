#pragma once
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// One cell of the time table.
struct Cell {
    enum Kind : uint8_t { Empty, Text, Number, Time, Bool, Error };
    Kind kind = Empty;
    uint8_t col = 0;        // 0-based column, the key inside its row
    uint16_t format = 0;    // index into Sheet::formats()
    double number = 0;      // Number, Bool (0/1), Error (code), Time (days)
    QString text;           // Text
};

// What an entry text means (see docs/timetable.md).
struct ParsedEntry {
    Cell::Kind kind = Cell::Empty;
    double number = 0;
    QString text;
};
// timeCell: the cell shows a time format, so a plain number is seconds.
ParsedEntry parseEntry(const QString& entry, bool timeCell, QChar localeSep);

// The entry text of a time of day in days: h:mm:ss.fff, m:ss.fff or s.fff.
QString timeEntry(double days);
// Shortest text that reads back as the same double, "." before decimals.
QString numberEntry(double value);
// Error code of a cell (BIFF error values) as text, and back (-1: none).
QString errorText(int code);
int errorCode(const QString& text);

// The cell model of one worksheet: sparse rows of cells sorted by column.
// Rows and columns count from 1 in the public interface, like the
// spreadsheet component; BIFF8 limits the sheet to 65536 x 256.
class Sheet {
public:
    static constexpr int MaxRows = 65536;
    static constexpr int MaxCols = 256;

    Sheet();

    const Cell* cell(int row, int col) const;
    // The cell, created empty when missing; nullptr outside the sheet.
    Cell* touch(int row, int col);

    // Entry text as typed; number formatting for the shown text.
    QString entry(int row, int col) const;
    bool hasEntry(int row, int col) const;  // !entry(row, col).isEmpty(), without making the text
    QString text(int row, int col, QChar decimalSep) const;
    // Replaces a cell's content by what the entry text means; the empty
    // text empties it. Returns whether anything changed.
    bool setEntry(int row, int col, const QString& entry, QChar localeSep);

    // A cell's content and format as they stand (an empty cell when there
    // is none), and putting such a copy back; restore says whether anything
    // changed. Undo works with these.
    Cell snapshot(int row, int col) const;
    bool restore(int row, int col, const Cell& copy);
    // Whether two cells hold the same value: kind and value, or a time and a
    // number of the same seconds (a format switch turns one into the other).
    static bool sameValue(const Cell& a, const Cell& b);

    // Number format of a range (format kept for empty cells too). Numbers
    // in a time format count seconds, so they turn into times there, and
    // times turn into their seconds in any other format.
    bool setFormat(int row1, int col1, int row2, int col2, const QString& code);
    QString formatOf(int row, int col) const;

    // Format codes used by cells; index 0 is "General".
    const QStringList& formats() const { return formats_; }
    // Index of a code, added when new; 0 when the table is full.
    uint16_t formatIndex(const QString& code);
    bool isTimeFormat(uint16_t index) const { return index < timeFormat_.size() && timeFormat_[index]; }

    QString name() const { return name_; }
    void setName(const QString& n) { name_ = n; }

    // A row's cells, shared by copies of the sheet until one of them changes
    // the row: the snapshot a save takes costs a pointer per row.
    using Row = QList<Cell>;
    // Rows as stored: rows()[r] holds the cells of row r + 1.
    const std::vector<Row>& rows() const { return rows_; }

    // Column width in 1/256 of a character, 0 for the default width.
    uint16_t columnWidth(int col) const {
        return col >= 1 && col <= MaxCols ? colWidths_[size_t(col - 1)] : 0;
    }
    void setColumnWidth(int col, uint16_t w) {
        if (col >= 1 && col <= MaxCols)
            colWidths_[size_t(col - 1)] = w;
    }
    // What changed since the last call, for a copy kept on another thread
    // (the writer's): the rows touched (every row after the sheet was
    // replaced, copied or cleared) as shared handles, and the small rest.
    // Taking it costs a handle per changed row, not a copy of the table.
    struct Changes {
        bool all = false;
        size_t rowCount = 0;
        std::vector<std::pair<size_t, Row>> rows;  // 0-based index, cells
        QStringList formats;
        QHash<QString, uint16_t> formatLookup;
        std::vector<bool> timeFormat;
        std::vector<uint16_t> colWidths;
        QString name;
    };
    Changes takeChanges();
    void apply(const Changes& changes);

    bool isEmpty() const;
    // Last row and column holding a value (0, 0 for an empty sheet).
    std::pair<int, int> usedExtent() const;
    void clear();

private:
    // Rows touched since takeChanges; a sheet made by copy or assignment
    // counts as changed everywhere.
    struct ChangeLog {
        std::vector<size_t> rows;
        bool all = true;
        ChangeLog() = default;
        ChangeLog(const ChangeLog&) {}
        ChangeLog(ChangeLog&&) noexcept {}
        ChangeLog& operator=(const ChangeLog&) { return reset(); }
        ChangeLog& operator=(ChangeLog&&) noexcept { return reset(); }
        ChangeLog& reset() {
            rows.clear();
            all = true;
            return *this;
        }
    };
    // Every change of a row's cells goes through here (see takeChanges).
    void logRow(size_t r);
    std::vector<Row> rows_;
    ChangeLog log_;
    QStringList formats_;
    QHash<QString, uint16_t> formatLookup_;
    std::vector<bool> timeFormat_;
    std::vector<uint16_t> colWidths_ = std::vector<uint16_t>(MaxCols, 0);
    QString name_;
};
