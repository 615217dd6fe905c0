#pragma once
#include <QDateTime>
#include <QString>

// Where the time table stands on disk, for the operator's eyes.
struct SaveStatus {
    // Unchanged: nothing written since loading; NotLoaded: no table could be
    // loaded (reason says why) and nothing has been written yet.
    enum State { Unchanged, Saved, Failed, NotLoaded };
    State state = Unchanged;
    QString path;       // the file written
    QDateTime savedAt;  // the last save that succeeded
    QString reason;     // why the last save failed, in the system's words; empty when saved
};
