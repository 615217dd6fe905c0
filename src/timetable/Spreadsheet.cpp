#include "timetable/Spreadsheet.h"

#include "common/CodePage.h"
#include "timetable/Xls.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QChar decimalSep() { return QChar(uchar(localeDecimalSeparator())); }

QString columnName(int col) {  // 1 -> A, 27 -> AA
    QString s;
    for (int c = col; c > 0; c = (c - 1) / 26)
        s.prepend(QChar(u'A' + (c - 1) % 26));
    return s;
}

} // namespace

class SheetModel : public QAbstractTableModel {
public:
    explicit SheetModel(TSpreadsheet* owner) : QAbstractTableModel(owner), owner_(owner) {}
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : Sheet::MaxRows; }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : Sheet::MaxCols;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const int r = index.row() + 1, c = index.column() + 1;
        switch (role) {
        case Qt::DisplayRole:
            return owner_->TextRC(r, c);
        case Qt::EditRole:
            return owner_->EntryRC(r, c);
        case Qt::TextAlignmentRole: {
            const Cell* cell = owner_->sheet_.cell(r, c);
            const bool right = cell && (cell->kind == Cell::Number || cell->kind == Cell::Time);
            return int((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        }
        default:
            return {};
        }
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole)
            return false;
        owner_->userEntry(index.row() + 1, index.column() + 1, value.toString());
        return true;
    }
    Qt::ItemFlags flags(const QModelIndex&) const override {
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role != Qt::DisplayRole)
            return {};
        return o == Qt::Horizontal ? columnName(section + 1) : QString::number(section + 1);
    }
    void cellsChanged(int r1, int c1, int r2, int c2) {
        emit dataChanged(index(r1 - 1, c1 - 1), index(r2 - 1, c2 - 1));
    }
    void reset() {
        beginResetModel();
        endResetModel();
    }

private:
    TSpreadsheet* owner_;
};

TSpreadsheet::TSpreadsheet(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TimeTable"));
    model_ = new SheetModel(this);
    editBar_ = new QLineEdit(this);
    editBar_->setObjectName(QStringLiteral("EditBar"));
    editBar_->setVisible(false);
    view_ = new QTableView(this);
    view_->setObjectName(QStringLiteral("Cells"));
    view_->setModel(model_);
    view_->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 4);
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    view_->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(editBar_);
    layout->addWidget(view_);
    setFocusProxy(view_);

    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { syncFromView(); });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { syncFromView(); });
    // a width the operator drags is kept in the sheet and saved with it
    connect(view_->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (applyingWidths_)
            return;
        const int charWidth = std::max(1, QFontMetrics(view_->font()).averageCharWidth());
        sheet_.setColumnWidth(section + 1, uint16_t(std::clamp(size * 256 / charWidth, 1, 255 * 256)));
    });
    connect(editBar_, &QLineEdit::returnPressed, this, [this] {
        if (editBar_->text() != EntryRC(activeRow_, activeCol_))
            userEntry(activeRow_, activeCol_, editBar_->text());
        view_->setFocus();
    });
    SetActiveCell(1, 1);
}

TSpreadsheet::~TSpreadsheet() = default;

void TSpreadsheet::SheetName(int sheet, const QString& name) {
    if (sheet != 1)
        return;
    sheet_.setName(name);
    nameFixed_ = true;
}

int16_t TSpreadsheet::ReadEx(const QString& path) {
    Sheet loaded;
    std::vector<Sheet> more;
    if (!xls::readFile(path, loaded, &lastError_, &more))
        return 8;
    if (nameFixed_)
        loaded.setName(sheet_.name());
    sheet_ = std::move(loaded);
    more_ = std::move(more);
    undo_.clear();  // steps of another table
    redo_.clear();
    model_->reset();
    applyColumnWidths();
    lastError_.clear();
    SetActiveCell(1, 1);
    SetSelection(1, 1, 1, 1);
    return 0;
}

bool TSpreadsheet::Write(const QString& path, int fileType) {
    if (fileType != 11) {
        lastError_ = QStringLiteral("file type %1 is not supported").arg(fileType);
        return false;
    }
    QByteArray bytes;
    if (!xls::write(sheet_, bytes, &lastError_, more_))
        return false;
    return xls::saveAtomically(path, bytes, &lastError_);
}

void TSpreadsheet::changeSheet(const QString& name, const std::function<void(Sheet&)>& change) {
    auto it = std::find_if(more_.begin(), more_.end(), [&](const Sheet& s) { return s.name() == name; });
    if (it == more_.end()) {
        more_.emplace_back();
        more_.back().setName(name);
        it = more_.end() - 1;
    }
    change(*it);
    modified_ = true;
    endRecalc();
}

TSpreadsheet::BookChanges TSpreadsheet::takeChanges() {
    BookChanges c;
    c.first = sheet_.takeChanges();
    for (Sheet& s : more_)
        c.more.push_back(s.takeChanges());
    return c;
}

void TSpreadsheet::SetSelection(int row1, int col1, int row2, int col2) {
    selR1_ = std::clamp(std::min(row1, row2), 1, Sheet::MaxRows);
    selR2_ = std::clamp(std::max(row1, row2), 1, Sheet::MaxRows);
    selC1_ = std::clamp(std::min(col1, col2), 1, Sheet::MaxCols);
    selC2_ = std::clamp(std::max(col1, col2), 1, Sheet::MaxCols);
    syncing_ = true;
    view_->selectionModel()->select(
        QItemSelection(model_->index(selR1_ - 1, selC1_ - 1), model_->index(selR2_ - 1, selC2_ - 1)),
        QItemSelectionModel::ClearAndSelect);
    syncing_ = false;
}

void TSpreadsheet::GetSelection(int& row1, int& col1, int& row2, int& col2) const {
    row1 = selR1_;
    col1 = selC1_;
    row2 = selR2_;
    col2 = selC2_;
}

void TSpreadsheet::setNumberFormat(const QString& code) {
    if (sheet_.setFormat(selR1_, selC1_, selR2_, selC2_, code)) {
        modified_ = true;
        changed(selR1_, selC1_, selR2_, selC2_);
    }
}

QString TSpreadsheet::NumberFormat() const { return sheet_.formatOf(selR1_, selC1_); }

void TSpreadsheet::GetActiveCell(int& row, int& col) const {
    row = activeRow_;
    col = activeCol_;
}

void TSpreadsheet::SetActiveCell(int row, int col) {
    activeRow_ = std::clamp(row, 1, Sheet::MaxRows);
    activeCol_ = std::clamp(col, 1, Sheet::MaxCols);
    syncing_ = true;
    view_->selectionModel()->setCurrentIndex(model_->index(activeRow_ - 1, activeCol_ - 1),
                                             QItemSelectionModel::NoUpdate);
    syncing_ = false;
    refreshEditBar();
}

bool TSpreadsheet::putEntry(int row, int col, const QString& entry) {
    if (operatorEdit_ == 0)
        return sheet_.setEntry(row, col, entry, decimalSep());
    const Cell before = sheet_.snapshot(row, col);
    if (!sheet_.setEntry(row, col, entry, decimalSep()))
        return false;
    const Cell after = sheet_.snapshot(row, col);
    const quint32 key = quint32(row) << 8 | quint32(col - 1);
    const auto seen = recordingIndex_.constFind(key);
    if (seen != recordingIndex_.constEnd()) {  // the same cell again: keep its first state
        recording_[*seen].after = after;
        return true;
    }
    recordingIndex_.insert(key, recording_.size());
    recording_.push_back({row, col, before, after});
    return true;
}

void TSpreadsheet::beginOperatorEdit() {
    if (operatorEdit_++ == 0) {
        recording_.clear();
        recordingIndex_.clear();
    }
}

void TSpreadsheet::endOperatorEdit() {
    if (operatorEdit_ == 0 || --operatorEdit_ > 0)
        return;
    if (recording_.empty())
        return;
    undo_.push_back(std::move(recording_));
    recording_.clear();
    recordingIndex_.clear();
    if (undo_.size() > kMaxUndoSteps)
        undo_.erase(undo_.begin());
    redo_.clear();  // a new edit starts a new line of history
}

bool TSpreadsheet::replay(const UndoStep& step, bool backwards) {
    int r1 = INT_MAX, c1 = INT_MAX, r2 = 0, c2 = 0;
    bool any = false;
    auto one = [&](const CellChange& c) {
        const Cell& expected = backwards ? c.after : c.before;
        const Cell& target = backwards ? c.before : c.after;
        // A cell the program wrote since (a result from the line) keeps it.
        if (!Sheet::sameValue(sheet_.snapshot(c.row, c.col), expected))
            return;
        if (!sheet_.restore(c.row, c.col, target))
            return;
        any = true;
        r1 = std::min(r1, c.row);
        c1 = std::min(c1, c.col);
        r2 = std::max(r2, c.row);
        c2 = std::max(c2, c.col);
    };
    if (backwards)
        std::for_each(step.rbegin(), step.rend(), one);
    else
        std::for_each(step.begin(), step.end(), one);
    if (!any)
        return false;
    // The cursor goes to the change, the selection is that one cell.
    SetActiveCell(r1, c1);
    SetSelection(r1, c1, r1, c1);
    modified_ = true;
    changed(r1, c1, r2, c2);
    endRecalc();
    return true;
}

bool TSpreadsheet::Undo() {
    if (undo_.empty() || operatorEdit_ > 0)
        return false;
    UndoStep step = std::move(undo_.back());
    undo_.pop_back();
    const bool any = replay(step, true);
    redo_.push_back(std::move(step));
    return any;
}

bool TSpreadsheet::Redo() {
    if (redo_.empty() || operatorEdit_ > 0)
        return false;
    UndoStep step = std::move(redo_.back());
    redo_.pop_back();
    const bool any = replay(step, false);
    undo_.push_back(std::move(step));
    return any;
}

void TSpreadsheet::setEntryRC(int row, int col, const QString& entry) {
    if (!putEntry(row, col, entry))
        return;
    modified_ = true;
    changed(row, col, row, col);
    endRecalc();
}

QString TSpreadsheet::TextRC(int row, int col) const { return sheet_.text(row, col, decimalSep()); }

void TSpreadsheet::userEntry(int row, int col, const QString& entry) {
    OperatorEdit edit(this);
    setEntryRC(row, col, entry);
}

void TSpreadsheet::endRecalc() {
    // Inside a batch the notification waits for its end: one save for all.
    if (batch_ > 0) {
        recalcPending_ = true;
        return;
    }
    if (!OnEndRecalc)
        return;
    // What runs inside the notification (a save, a message box with its own
    // event loop, lines dispatched meanwhile) is not the operator's edit.
    const int edit = std::exchange(operatorEdit_, 0);
    OnEndRecalc();
    operatorEdit_ = edit;
}

void TSpreadsheet::beginBatch() {
    ++batch_;
}

void TSpreadsheet::endBatch() {
    if (batch_ > 0 && --batch_ == 0 && recalcPending_) {
        recalcPending_ = false;
        endRecalc();
    }
}

void TSpreadsheet::changed(int row1, int col1, int row2, int col2) {
    model_->cellsChanged(row1, col1, row2, col2);
    if (activeRow_ >= row1 && activeRow_ <= row2 && activeCol_ >= col1 && activeCol_ <= col2)
        refreshEditBar();
}

void TSpreadsheet::syncFromView() {
    if (syncing_)
        return;
    const QModelIndex cur = view_->selectionModel()->currentIndex();
    if (cur.isValid()) {
        activeRow_ = cur.row() + 1;
        activeCol_ = cur.column() + 1;
    }
    const QItemSelection sel = view_->selectionModel()->selection();
    if (sel.isEmpty()) {
        selR1_ = selR2_ = activeRow_;
        selC1_ = selC2_ = activeCol_;
    } else {
        selR1_ = selC1_ = INT_MAX;
        selR2_ = selC2_ = 0;
        for (const QItemSelectionRange& r : sel) {
            selR1_ = std::min(selR1_, r.top() + 1);
            selC1_ = std::min(selC1_, r.left() + 1);
            selR2_ = std::max(selR2_, r.bottom() + 1);
            selC2_ = std::max(selC2_, r.right() + 1);
        }
    }
    refreshEditBar();
}

void TSpreadsheet::refreshEditBar() {
    if (!editBar_->hasFocus())
        editBar_->setText(EntryRC(activeRow_, activeCol_));
}

void TSpreadsheet::setShowEditBar(bool on) {
    showEditBar_ = on;
    editBar_->setVisible(on);
    refreshEditBar();
}

void TSpreadsheet::applyColumnWidths() {
    applyingWidths_ = true;
    const int charWidth = QFontMetrics(view_->font()).averageCharWidth();
    const int standard = view_->horizontalHeader()->defaultSectionSize();
    for (int c = 1; c <= Sheet::MaxCols; ++c) {
        const uint16_t w = sheet_.columnWidth(c);
        view_->setColumnWidth(c - 1, w ? std::max(8, w * charWidth / 256) : standard);
    }
    applyingWidths_ = false;
}

QString TSpreadsheet::toTabbed(const QList<QStringList>& rows) {
    QString out;
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i)
                out += u'\t';
            QString f = row[i];
            if (f.contains(u'\t') || f.contains(u'\n') || f.contains(u'\r') || f.startsWith(u'"')) {
                f.replace(QStringLiteral("\""), QStringLiteral("\"\""));
                f = u'"' + f + u'"';
            }
            out += f;
        }
        out += QStringLiteral("\r\n");
    }
    return out;
}

QList<QStringList> TSpreadsheet::parseTabbed(const QString& text, int maxRows, int maxCols) {
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool fieldStarted = false;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto endField = [&] {
        if (row.size() < maxCols)
            row << field;
        field.clear();
        fieldStarted = false;
    };
    auto endRow = [&] {
        endField();
        if (rows.size() < maxRows)
            rows << row;
        row.clear();
    };
    while (i < n && rows.size() < maxRows) {
        const QChar c = text[i];
        if (!fieldStarted && c == u'"') {
            // quoted field: "" is a quote, the field ends at the lone quote
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            fieldStarted = true;
            continue;
        }
        fieldStarted = true;
        if (c == u'\t') {
            endField();
            ++i;
        } else if (c == u'\r' || c == u'\n') {
            endRow();
            i += (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ? 2 : 1;
        } else {
            field += c;
            ++i;
        }
    }
    if (fieldStarted || !row.isEmpty())
        endRow();
    return rows;
}

void TSpreadsheet::EditCopy() {
    // only the used part of a large selection goes to the clipboard
    const auto [usedRows, usedCols] = sheet_.usedExtent();
    const int r2 = std::min(selR2_, std::max(usedRows, selR1_));
    const int c2 = std::min(selC2_, std::max(usedCols, selC1_));
    QList<QStringList> rows;
    for (int r = selR1_; r <= r2; ++r) {
        QStringList row;
        for (int c = selC1_; c <= c2; ++c)
            row << EntryRC(r, c);
        rows << row;
    }
    QApplication::clipboard()->setText(toTabbed(rows));
}

void TSpreadsheet::clearSelectionCells() {
    OperatorEdit edit(this);
    bool any = false;
    const int r2 = std::min(selR2_, int(sheet_.rows().size()));
    for (int r = selR1_; r <= r2; ++r)
        for (int c = selC1_; c <= selC2_; ++c)
            any = putEntry(r, c, QString()) || any;
    if (any) {
        modified_ = true;
        changed(selR1_, selC1_, selR2_, selC2_);
        endRecalc();
    }
}

void TSpreadsheet::EditCut() {
    EditCopy();
    clearSelectionCells();
}

void TSpreadsheet::EditPaste() {
    const QString text = QApplication::clipboard()->text();
    if (text.isEmpty())
        return;
    OperatorEdit edit(this);
    const int top = activeRow_, left = activeCol_;
    const QList<QStringList> rows =
        parseTabbed(text, Sheet::MaxRows - top + 1, Sheet::MaxCols - left + 1);
    bool any = false;
    int right = left;
    for (qsizetype r = 0; r < rows.size(); ++r)
        for (qsizetype c = 0; c < rows[r].size(); ++c) {
            any = putEntry(top + int(r), left + int(c), rows[r][c]) || any;
            right = std::max(right, left + int(c));
        }
    if (!any)
        return;
    modified_ = true;
    changed(top, left, top + int(rows.size()) - 1, right);
    endRecalc();
}

void TSpreadsheet::ClearClipboard() { QApplication::clipboard()->clear(); }

bool TSpreadsheet::hasInputFocus() const {
    const QWidget* f = QApplication::focusWidget();
    return f && (f == this || isAncestorOf(f));
}

bool TSpreadsheet::eventFilter(QObject* watched, QEvent* event) {
    // Delete empties the selected cells, as in every spreadsheet
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Delete && k->modifiers() == Qt::NoModifier) {
            clearSelectionCells();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
