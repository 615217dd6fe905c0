#pragma once
#include <QDateTime>
#include <QString>

// Where the time table stands on disk, for the operator's eyes.
struct SaveStatus {
    enum State { Unchanged, Saved, Failed };  // Unchanged: nothing written since loading
    State state = Unchanged;
    QString path;       // the file written
    QDateTime savedAt;  // the last save that succeeded
    QString reason;     // why the last save failed, in the system's words; empty when saved
};
