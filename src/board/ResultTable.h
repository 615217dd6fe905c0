#pragma once
#include <QString>
#include <optional>

// The time table as the line rules need it: runner rows (start number + 9),
// the preset-time row 6, columns by channel. Rows and columns count from 1.
class ResultTable {
public:
    virtual ~ResultTable() = default;
    virtual QString entry(int row, int col) const = 0;  // the cell's entry text
    // Whether entry() is not empty, without making the text (asked for
    // every line, for many cells).
    virtual bool hasEntry(int row, int col) const = 0;
    virtual QString text(int row, int col) const = 0;   // as the table shows it
    // Milliseconds of a cell that holds a time or a number value (numbers
    // count seconds); nullopt for text and empty cells.
    virtual std::optional<int> valueMs(int row, int col) const = 0;
    virtual void setEntry(int row, int col, const QString& entry) = 0;
    // The time at (row, col) goes to the earlier results before it is cleared or replaced.
    virtual void keepEarlier(int row, int col, char channel) = 0;
    // Changes between begin and end are saved once.
    virtual void beginBatch() = 0;
    virtual void endBatch() = 0;

    class Batch {
    public:
        explicit Batch(ResultTable* t) : t_(t) {
            if (t_)
                t_->beginBatch();
        }
        ~Batch() {
            if (t_)
                t_->endBatch();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        ResultTable* t_;
    };
};
