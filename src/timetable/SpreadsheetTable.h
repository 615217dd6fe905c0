#pragma once
#include "board/ResultTable.h"

#include <functional>

class TSpreadsheet;

// The time table window's spreadsheet as the board core records results in
// it. `table` is asked at every use (the window may come and go).
class SpreadsheetTable : public ResultTable {
public:
    explicit SpreadsheetTable(std::function<TSpreadsheet*()> table) : table_(std::move(table)) {}

    TSpreadsheet* spreadsheet() const { return table_(); }

    QString entry(int row, int col) const override;
    bool hasEntry(int row, int col) const override;
    QString text(int row, int col) const override;
    std::optional<int> valueMs(int row, int col) const override;
    void setEntry(int row, int col, const QString& entry) override;
    void keepEarlier(int row, int col, char channel) override;
    void beginBatch() override;
    void endBatch() override;

private:
    std::function<TSpreadsheet*()> table_;
};
