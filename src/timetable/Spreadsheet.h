#pragma once
#include "timetable/Sheet.h"

#include <QHash>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

class QLineEdit;
class QTableView;
class SheetModel;

// The spreadsheet component "TimeTable": one sheet of cells shown in a grid
// with an optional edit line above it, read from and written to .xls files.
// Rows and columns count from 1. Every change, by the operator or by the
// program, raises OnEndRecalc once it is complete.
class TSpreadsheet : public QWidget {
    Q_OBJECT
public:
    explicit TSpreadsheet(QWidget* parent = nullptr);
    ~TSpreadsheet() override;

    // Names sheet 1 (the only sheet); a name given here survives ReadEx.
    void SheetName(int sheet, const QString& name);
    // 0 when the file was read; 8 when it was not (the cells stay as they were).
    int16_t ReadEx(const QString& path);
    // fileType 11: Excel 97-2003 workbook. Replaces the file atomically.
    bool Write(const QString& path, int fileType);
    QString lastError() const { return lastError_; }

    void SetSelection(int row1, int col1, int row2, int col2);
    void GetSelection(int& row1, int& col1, int& row2, int& col2) const;
    void setNumberFormat(const QString& code);
    QString NumberFormat() const;
    // The sheet's column limit.
    int MaxCol() const { return Sheet::MaxCols; }

    void GetActiveCell(int& row, int& col) const;
    void SetActiveCell(int row, int col);

    QString EntryRC(int row, int col) const { return sheet_.entry(row, col); }
    void setEntryRC(int row, int col, const QString& entry);
    QString TextRC(int row, int col) const;

    bool Modified() const { return modified_; }
    void setModified(bool on) { modified_ = on; }

    void setShowEditBar(bool on);
    bool ShowEditBar() const { return showEditBar_; }

    // The selection as tab-separated entry texts, the form spreadsheets
    // exchange through the clipboard.
    void EditCopy();
    void EditCut();
    // Pastes tab-separated text at the active cell.
    void EditPaste();
    void ClearClipboard();

    // Whether the grid or the edit line has the keyboard focus.
    bool hasInputFocus() const;

    std::function<void()> OnEndRecalc;

    // Changes between beginBatch and endBatch raise OnEndRecalc once, at
    // the end (a row copied cell by cell is saved once, not per cell).
    void beginBatch();
    void endBatch();
    class Batch {
    public:
        explicit Batch(TSpreadsheet* s) : s_(s) {
            if (s_)
                s_->beginBatch();
        }
        ~Batch() {
            if (s_)
                s_->endBatch();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        TSpreadsheet* s_;
    };

    // Undo and redo of the operator's edits: typing, paste, cut, Delete and
    // whatever runs inside an OperatorEdit. Changes the program makes (results
    // from the line) are never undone: an undo puts back only the cells the
    // operator's edit changed and that still hold what the edit left there.
    // An undo or redo is a change like any other: OnEndRecalc follows.
    bool Undo();
    bool Redo();
    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    // Steps kept; the oldest go first.
    static constexpr size_t kMaxUndoSteps = 100;

    // setEntryRC calls between beginOperatorEdit and endOperatorEdit form
    // one undo step.
    void beginOperatorEdit();
    void endOperatorEdit();
    class OperatorEdit {
    public:
        explicit OperatorEdit(TSpreadsheet* s) : s_(s) { s_->beginOperatorEdit(); }
        ~OperatorEdit() { s_->endOperatorEdit(); }
        OperatorEdit(const OperatorEdit&) = delete;
        OperatorEdit& operator=(const OperatorEdit&) = delete;

    private:
        TSpreadsheet* s_;
    };

    const Sheet& sheet() const { return sheet_; }

    // The workbook's further worksheets: kept from the file and written
    // with it, not shown in the grid.
    const std::vector<Sheet>& moreSheets() const { return more_; }
    // Changes the further sheet of that name, made (empty) when missing.
    // A change like any other: Modified, then OnEndRecalc.
    void changeSheet(const QString& name, const std::function<void(Sheet&)>& change);

    // The changes since the last call, for the writer's copy of the
    // workbook: the table's, then one per further sheet.
    struct BookChanges {
        Sheet::Changes first;
        std::vector<Sheet::Changes> more;
    };
    BookChanges takeChanges();
    QTableView* grid() const { return view_; }
    QLineEdit* editBar() const { return editBar_; }

    // Tab-separated text (quoted fields as spreadsheets write them) to rows.
    static QList<QStringList> parseTabbed(const QString& text, int maxRows, int maxCols);
    static QString toTabbed(const QList<QStringList>& rows);

private:
    friend class SheetModel;
    void userEntry(int row, int col, const QString& entry);
    void endRecalc();
    void changed(int row1, int col1, int row2, int col2);
    void syncFromView();
    void refreshEditBar();
    void applyColumnWidths();
    void clearSelectionCells();
    // Sets a cell and, inside an operator edit, records what it held.
    bool putEntry(int row, int col, const QString& entry);
    // Puts back `to` where a cell still holds `from`; one change for all.
    struct CellChange {
        int row, col;
        Cell before, after;
    };
    using UndoStep = std::vector<CellChange>;
    bool replay(const UndoStep& step, bool backwards);
    bool eventFilter(QObject* watched, QEvent* event) override;

    Sheet sheet_;
    std::vector<Sheet> more_;
    SheetModel* model_ = nullptr;
    QTableView* view_ = nullptr;
    QLineEdit* editBar_ = nullptr;
    bool modified_ = false;
    bool showEditBar_ = false;
    bool nameFixed_ = false;
    bool syncing_ = false;
    bool applyingWidths_ = false;
    int selR1_ = 1, selC1_ = 1, selR2_ = 1, selC2_ = 1;
    int activeRow_ = 1, activeCol_ = 1;
    QString lastError_;
    int batch_ = 0;
    int operatorEdit_ = 0;
    UndoStep recording_;
    QHash<quint32, size_t> recordingIndex_;  // cell -> its change in recording_
    std::vector<UndoStep> undo_, redo_;
    bool recalcPending_ = false;
};
