#include "timetable/Control.h"

#include "common/CodePage.h"
#include "common/DataFiles.h"
#include "common/Dialogs.h"
#include "common/RegularFile.h"
#include "common/SafeFile.h"
#include "common/SaveWorker.h"
#include "timetable/FileKind.h"
#include "timetable/Spreadsheet.h"
#include "timetable/Xls.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <cstdio>
#include <cstring>

TTimeControl* TimeControl = nullptr;

namespace {
const QString kDataFile = QStringLiteral("liste.xls");
const QString kTemplate = QStringLiteral("template/liste.xls");
const QString kLoadNotice = QStringLiteral("liste.xls load");
const QString kSaveNotice = QStringLiteral("liste.xls save");
constexpr int kPresetRow = 6;
constexpr int kFirstTimeCol = 6, kLastTimeCol = 17;
} // namespace

// The table as the writer thread sees it: changes queue here under the
// lock; only the writer applies them and reads the sheet.
struct WriterTable {
    std::mutex lock;
    std::vector<TSpreadsheet::BookChanges> queued;
    Sheet sheet;
    std::vector<Sheet> more;  // the workbook's further sheets
    void apply(const TSpreadsheet::BookChanges& c) {
        sheet.apply(c.first);
        more.resize(c.more.size());
        for (size_t i = 0; i < c.more.size(); ++i)
            more[i].apply(c.more[i]);
    }
};

TTimeControl::TTimeControl(QWidget* parent) : QDialog(parent), writerTable_(std::make_shared<WriterTable>()) {
    TimeControl = this;  // reachable while the creation code below runs
    setObjectName(QStringLiteral("TimeControl"));
    setWindowTitle(QStringLiteral("TimeControl"));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    setFont(f);
    move(1103, 533);
    resize(665, 480);

    TimeControlOK = new QPushButton(QStringLiteral("OK"), this);
    TimeControlOK->setObjectName(QStringLiteral("TimeControlOK"));
    TimeControlOK->setToolTip(QStringLiteral("Programmpunkt verlassen"));
    TimeControlOK->setGeometry(582, 447, 75, 25);
    TimeControlOK->setAutoDefault(false);
    connect(TimeControlOK, &QPushButton::clicked, this, &QDialog::accept);

    TimeControlCancel = new QPushButton(QStringLiteral("Vorgabezeiten löschen"), this);
    TimeControlCancel->setObjectName(QStringLiteral("TimeControlCancel"));
    TimeControlCancel->setToolTip(QStringLiteral("Drücken Sie hier um die Richtzeiten zu löschen"));
    TimeControlCancel->setGeometry(438, 447, 137, 25);
    TimeControlCancel->setAutoDefault(false);
    connect(TimeControlCancel, &QPushButton::clicked, this, &TTimeControl::TimeControlCancelClick);

    TimeControlSaveStatus = new QLabel(this);
    TimeControlSaveStatus->setObjectName(QStringLiteral("TimeControlSaveStatus"));
    TimeControlSaveStatus->setTextFormat(Qt::PlainText);
    TimeControlSaveStatus->setGeometry(8, 447, 422, 25);

    // Saving runs on a thread of its own: the board never waits for the disk.
    saver_ = new SaveWorker(this);
    connect(saver_, &SaveWorker::finished, this, &TTimeControl::saveFinished);
    retry_ = new QTimer(this);
    retry_->setSingleShot(true);
    retry_->setInterval(kRetryMs);
    connect(retry_, &QTimer::timeout, this, [this] {
        if (TimeTable->Modified())
            TimeTableEndRecalc();
    });

    FormCreate();
    // every key-down in this window passes FormShortCut before its control
    qApp->installEventFilter(this);
}

TTimeControl::~TTimeControl() {
    finishSaving();
    if (TimeControl == this)
        TimeControl = nullptr;
}

void TTimeControl::FormCreate() {
    setAttribute(Qt::WA_OpaquePaintEvent, false);  // Qt paints double-buffered
    TimeTable = new TSpreadsheet(this);
    TimeTable->setToolTip(QStringLiteral("Doppelclick rechts zum Bearbeiten"));
    TimeTable->setObjectName(QStringLiteral("TimeTable"));
    TimeTable->setGeometry(0, 0, 650, 450);
    TimeTable->SheetName(1, QStringLiteral("Times"));
    TimeTable->OnEndRecalc = [this] { TimeTableEndRecalc(); };
    TimeTable->setModified(false);
    TimeTable->show();
    DateiLadenClick();
    if (titleLoaded) {
        const QString t = title();
        titleLoaded(t.isEmpty() ? QStringLiteral(" ") : t);
    }
    LetzteTaste = 0;
}

QString TTimeControl::title() const {
    const QString first = TimeTable->EntryRC(2, 2), second = TimeTable->EntryRC(3, 2);
    if (first.trimmed().isEmpty() && second.trimmed().isEmpty())
        return {};
    // the text fields hold 8-bit text
    return codepage::toUnicode(codepage::fromUnicode(first + u' ' + second));
}

void TTimeControl::applyNumberFormat() {
    // The range is selected only for the format: the operator's selection
    // and cell cursor come back at once, so a Delete after a load or a
    // failed save empties no more than the operator chose.
    int r1, c1, r2, c2, row, col;
    TimeTable->GetSelection(r1, c1, r2, c2);
    TimeTable->GetActiveCell(row, col);
    TimeTable->SetSelection(1, kFirstTimeCol, TimeTable->MaxCol(), kLastTimeCol);
    TimeTable->setNumberFormat(Sekundenformat ? QStringLiteral("###.##") : QStringLiteral("m:ss.000"));
    TimeTable->SetSelection(r1, c1, r2, c2);
    TimeTable->SetActiveCell(row, col);
}

void TTimeControl::DateiLadenClick() {
    // Start-up goes on whatever the file is; the operator is told without
    // being stopped. A new event starts from the shipped empty table:
    // titles and channel columns, no runners. "liste.xls" appears with the
    // first change.
    const QString path = QFileInfo(kDataFile).absoluteFilePath();
    QString source = kDataFile;
    if (!QFile::exists(kDataFile))
        source = datafiles::shipped(kTemplate);
    if (source.isEmpty()) {
        setSaveStatus(SaveStatus::NotLoaded, QStringLiteral("%1 does not exist").arg(kDataFile));
        Dialogs::current().notice(this, kLoadNotice,
                                  QStringLiteral("Data File does not exist\n%1\n"
                                                 "A new one is made with the first result.")
                                      .arg(path));
        return;
    }
    if (TimeTable->ReadEx(source) == 8) {
        // What the file really is, in words that say what to do with it.
        const QString shown = source == kDataFile ? kDataFile : QFileInfo(source).absoluteFilePath();
        QByteArray bytes;
        const QString what = regularfile::read(source, xls::kMaxFileSize, bytes)
                                 ? filekind::describe(filekind::classify(bytes), shown, TimeTable->lastError())
                                 : QStringLiteral("%1: %2").arg(shown, TimeTable->lastError());
        setSaveStatus(SaveStatus::NotLoaded, what);
        if (source != kDataFile) {  // the shipped template: nothing of the operator's to keep
            Dialogs::current().notice(this, kLoadNotice, QStringLiteral("Could not read Data File\n%1").arg(what));
            return;
        }
        // Never overwritten: the first save moves it aside under a name
        // that says what it is.
        unreadableReason_ = what;
        unreadableAside_ = safefile::asideName(path);
        movedAside_ = std::make_shared<std::atomic<bool>>(false);
        Dialogs::current().notice(this, kLoadNotice,
                                  QStringLiteral("Could not read Data File\n%1\nFile: %2\n"
                                                 "The file is kept: before the first save it is moved to %3")
                                      .arg(unreadableReason_, path, unreadableAside_));
        return;
    }
    applyNumberFormat();
    TimeTable->setModified(false);
    // the writer gets the whole table now, at start-up, not with the first result
    std::lock_guard hold(writerTable_->lock);
    writerTable_->queued.push_back(TimeTable->takeChanges());
}

void TTimeControl::TimeTableEndRecalc() {
    if (TimeTable->Modified()) {
        int r = 1, c = 1;
        TimeTable->GetActiveCell(r, c);
        applyNumberFormat();
        requestSave();
        TimeTable->SetSelection(r, c, r, c);
        TimeTable->SetActiveCell(r, c);
    }
    TimeTable->setModified(false);
}

void TTimeControl::requestSave() {
    // One save at a time; changes meanwhile are written together by the
    // next one, from the table as it is then.
    if (saver_->busy()) {
        saveQueued_ = true;
        return;
    }
    submitSnapshot();
}

void TTimeControl::submitSnapshot() {
    saveQueued_ = false;
    // Only what changed crosses over (shared rows, no copy of the table),
    // so handing a save over costs the board next to nothing.
    const auto table = writerTable_;
    {
        TSpreadsheet::BookChanges changes = TimeTable->takeChanges();
        auto changed = [](const Sheet::Changes& c) { return c.all || !c.rows.empty(); };
        if (changed(changes.first) || std::any_of(changes.more.begin(), changes.more.end(), changed))
            emergencyWritten_ = false;  // an emergency copy no longer holds everything
        std::lock_guard hold(table->lock);
        table->queued.push_back(std::move(changes));
    }
    const QString path = QFileInfo(kDataFile).absoluteFilePath();
    const QString aside = unreadableAside_;
    const auto moved = movedAside_;
    saver_->submit([table, path, aside, moved](QString& error) {
        std::vector<TSpreadsheet::BookChanges> changes;
        {
            std::lock_guard hold(table->lock);
            changes.swap(table->queued);
        }
        for (const TSpreadsheet::BookChanges& c : changes)
            table->apply(c);
        if (!aside.isEmpty() && !moved->load()) {
            if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0 &&
                errno != ENOENT) {
                error = QStringLiteral("could not move the unreadable file to %1: %2")
                            .arg(aside, QString::fromLocal8Bit(std::strerror(errno)));
                return false;
            }
            moved->store(true);
        }
        if (safefile::isReadOnly(path, &error))  // no table to encode for a file that stays
            return false;
        QByteArray bytes;
        if (!xls::write(table->sheet, bytes, &error, table->more))
            return false;
        safefile::Options options;
        options.respectReadOnly = true;
        return safefile::replace(path, bytes, options, &error);
    });
}

void TTimeControl::saveFinished(quint64, bool ok, const QString& error) {
    if (!unreadableAside_.isEmpty() && movedAside_->load()) {
        Dialogs::current().notice(this, kLoadNotice,
                                  QStringLiteral("Could not read Data File\n%1\nFile: %2\nThe file was moved to %3")
                                      .arg(unreadableReason_, QFileInfo(kDataFile).absoluteFilePath(),
                                           unreadableAside_));
        unreadableAside_.clear();
    }
    if (ok) {
        if (saveStatus_.state == SaveStatus::Failed)
            Dialogs::current().withdrawNotice(kSaveNotice);
        retry_->stop();
        setSaveStatus(SaveStatus::Saved, QString());
    } else {
        // What could not be written stays in the table: tried again on the
        // next change and every few seconds.
        TimeTable->setModified(true);
        if (saveStatus_.state != SaveStatus::Failed || saveStatus_.reason != error) {
            setSaveStatus(SaveStatus::Failed, error);
            Dialogs::current().notice(
                this, kSaveNotice,
                QStringLiteral("Could not write Data File\n%1: %2\n"
                               "The results are kept and saving is tried again every few seconds.")
                    .arg(saveStatus_.path, error));
        }
        if (!retry_->isActive())
            retry_->start();
    }
    if (saveQueued_)
        submitSnapshot();
}

void TTimeControl::waitForSaves() {
    // the running save, then the one its result may have started
    saver_->waitIdle();
    saver_->waitIdle();
}


bool TTimeControl::encodeTable(QByteArray& bytes, QString* error) {
    // The writer is idle: its copy is the table as last handed over, plus
    // whatever has not been handed over yet.
    saver_->waitIdle();
    std::lock_guard hold(writerTable_->lock);
    if (TimeTable)
        writerTable_->queued.push_back(TimeTable->takeChanges());
    for (const TSpreadsheet::BookChanges& c : writerTable_->queued)
        writerTable_->apply(c);
    writerTable_->queued.clear();
    return xls::write(writerTable_->sheet, bytes, error, writerTable_->more);
}

void TTimeControl::setSaveStatus(SaveStatus::State state, const QString& reason) {
    saveStatus_.state = state;
    saveStatus_.path = QFileInfo(kDataFile).absoluteFilePath();
    saveStatus_.reason = reason;
    if (state == SaveStatus::Saved)
        saveStatus_.savedAt = QDateTime::currentDateTime();
    QString shown;
    switch (state) {
    case SaveStatus::Failed: shown = QStringLiteral("Not saved: %1: %2").arg(saveStatus_.path, reason); break;
    case SaveStatus::NotLoaded: shown = QStringLiteral("No table loaded: %1").arg(reason); break;
    default:
        shown = QStringLiteral("Saved %1: %2").arg(saveStatus_.savedAt.toString(QStringLiteral("HH:mm:ss")),
                                                   saveStatus_.path);
    }
    TimeControlSaveStatus->setText(shown);
    TimeControlSaveStatus->setToolTip(shown);
    TimeControlSaveStatus->setStyleSheet(state != SaveStatus::Saved ? QStringLiteral("color: #c00000; font-weight: bold")
                                                                     : QString());
    emit saveStatusChanged(saveStatus_);
}

void TTimeControl::TimeControlCancelClick() {
    // one change, saved once and undone with one Ctrl+Z
    TSpreadsheet::Batch batch(TimeTable);
    TSpreadsheet::OperatorEdit edit(TimeTable);
    for (int c = 2; c <= 17; ++c)
        TimeTable->setEntryRC(kPresetRow, c, QString());
}

void TTimeControl::Sekundenmodus_setzen(bool f) {
    Sekundenformat = f;
    TimeTableEndRecalc();
}

void TTimeControl::FormShortCut(uint16_t key, bool& handled) {
    constexpr uint16_t kCtrl = 0x11, kShift = 0x10, kInsert = 0x2D, kDelete = 0x2E;
    if (LetzteTaste == kCtrl && (key == 'C' || key == kInsert)) {
        handled = false;
        if (TimeTable->hasInputFocus()) {
            TimeTable->ClearClipboard();
            TimeTable->EditCopy();
            handled = true;
        }
    }
    if ((LetzteTaste == kCtrl && key == 'V') || (LetzteTaste == kShift && key == kInsert)) {
        handled = false;
        if (TimeTable->hasInputFocus()) {
            TimeTable->EditPaste();
            handled = true;
        }
    }
    if ((LetzteTaste == kCtrl && key == 'X') || (LetzteTaste == kShift && key == kDelete)) {
        handled = false;
        if (TimeTable->hasInputFocus()) {
            TimeTable->EditCut();
            handled = true;
        }
    }
    if (!handled)
        LetzteTaste = key;
}

void TTimeControl::FormShow() { TimeTable->setShowEditBar(true); }

void TTimeControl::FormResize() {
    if (!TimeTable)
        return;
    const QRect outer = frameGeometry();
    TimeTable->resize(outer.width() - 10, outer.height() - 70);
    // the buttons keep their distance to the right and bottom edges
    TimeControlOK->move(width() - 8 - 75, height() - 8 - 25);
    TimeControlCancel->move(width() - 90 - 137, height() - 8 - 25);
    TimeControlSaveStatus->setGeometry(8, height() - 8 - 25, std::max(0, width() - 90 - 137 - 16), 25);
}

uint16_t TTimeControl::virtualKey(int k) {
    if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9))
        return uint16_t(k);
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24)
        return uint16_t(0x70 + (k - Qt::Key_F1));
    switch (k) {
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    default: return uint16_t(k & 0xFF);
    }
}

bool TTimeControl::undoKey(const QKeyEvent* k, const QWidget* target) {
    // An open cell editor and the edit line undo their own typing.
    if (qobject_cast<const QLineEdit*>(target))
        return false;
    const Qt::KeyboardModifiers mods = k->modifiers() & ~Qt::KeypadModifier;
    if (k->key() == Qt::Key_Z && mods == Qt::ControlModifier) {
        TimeTable->Undo();
        return true;
    }
    if ((k->key() == Qt::Key_Y && mods == Qt::ControlModifier) ||
        (k->key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier))) {
        TimeTable->Redo();
        return true;
    }
    return false;
}

bool TTimeControl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        // a key event travels from the focus widget up to its parents: look
        // at it once, where it starts
        auto* w = qobject_cast<QWidget*>(watched);
        const QWidget* focus = QApplication::focusWidget();
        const bool start = w && (w == focus || (!focus && w == this));
        if (start && (w == this || isAncestorOf(w))) {
            if (undoKey(static_cast<QKeyEvent*>(event), w))
                return true;
            bool handled = false;
            FormShortCut(virtualKey(static_cast<QKeyEvent*>(event)->key()), handled);
            if (handled)
                return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TTimeControl::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TTimeControl::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FormResize();
}
