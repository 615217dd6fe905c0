#pragma once
#include "SaveStatus.h"

#include <QDialog>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QKeyEvent;
class QPushButton;
class QTimer;
class SaveWorker;
class TSpreadsheet;

// The time table window: the spreadsheet over "liste.xls", written back
// after every change, with the button that empties the preset times.
class TTimeControl : public QDialog {
    Q_OBJECT
public:
    explicit TTimeControl(QWidget* parent = nullptr);
    ~TTimeControl() override;

    TSpreadsheet* TimeTable = nullptr;
    QPushButton* TimeControlOK = nullptr;
    QPushButton* TimeControlCancel = nullptr;
    class QLabel* TimeControlSaveStatus = nullptr;  // where the table stands on disk

    bool Sekundenformat = false;  // time columns as "###.##" instead of "m:ss.000"
    uint16_t LetzteTaste = 0;     // last key-down no clipboard shortcut took

    void FormCreate();
    void DateiLadenClick();
    void TimeTableEndRecalc();
    void TimeControlCancelClick();
    void Sekundenmodus_setzen(bool f);
    // key: a Windows virtual-key code; handled is false on entry.
    void FormShortCut(uint16_t key, bool& handled);
    void FormShow();
    void FormResize();

    // Windows virtual-key code of a Qt key (letters and digits as ASCII).
    static uint16_t virtualKey(int qtKey);

    // The event's title: the entries of B2 and B3 joined by a blank, as
    // text field 3 shows it; empty when both cells are empty.
    QString title() const;
    // Told the title (" " when there is none) once the table is loaded at
    // creation: the board puts it into text field 3.
    static inline std::function<void(const QString&)> titleLoaded;

    const SaveStatus& saveStatus() const { return saveStatus_; }

    // Waits for the save running and the one queued behind it, and takes
    // their results. A clean close calls it (after saving what changed).
    void waitForSaves();
    // The last save, and when the table is still not on disk, a copy of it
    // wherever one can be written (see emergencyCopy). Never asks anybody.
    void finishSaving();
    // Before a close the operator asked for: when the table could not be
    // saved, asks whether to try again, quit anyway or stay. False: stay.
    bool confirmClose();
    // Where the last close put the table it could not save; empty if nowhere.
    const QString& emergencyCopy() const { return emergencyCopy_; }
    // Folders tried in turn for that copy: the working folder first.
    static QStringList emergencyFolders();
    // The writer, for benchmarks that slow it down.
    SaveWorker* saveWorker() const { return saver_; }
    // Seconds between tries while saving fails.
    static constexpr int kRetryMs = 3000;

signals:
    void saveStatusChanged(const SaveStatus& status);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyNumberFormat();
    // Ctrl+Z undoes the operator's last edit; Ctrl+Y and Ctrl+Shift+Z redo.
    bool undoKey(const QKeyEvent* k, const QWidget* target);
    void setSaveStatus(SaveStatus::State state, const QString& reason);
    void requestSave();
    void submitSnapshot();
    void saveFinished(quint64 job, bool ok, const QString& error);
    void writeEmergencyCopy();
    // The whole table in .xls form; only while no save runs.
    bool encodeTable(QByteArray& bytes, QString* error);
    QString emergencyCopy_;
    bool emergencyWritten_ = false;  // for the table as it is now
    SaveStatus saveStatus_;
    SaveWorker* saver_ = nullptr;
    QTimer* retry_ = nullptr;
    bool saveQueued_ = false;  // a change waits for the running save to end
    // An unreadable liste.xls goes there before the first save replaces it.
    QString unreadableAside_, unreadableReason_;
    std::shared_ptr<std::atomic<bool>> movedAside_;
    // The writer's copy of the table, brought up to date by the changes
    // handed over with each save.
    std::shared_ptr<struct WriterTable> writerTable_;
};

extern TTimeControl* TimeControl;
