#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

// What happens in a race besides what the board shows: every line received
// and every result recorded in the time table, for those who pass it on
// (the MQTT publisher).
namespace race {

struct Result {
    int number = 0;    // start number
    QString name;      // the runner's name from the time table ("" when none)
    char channel = 0;  // 'A'..'J'
    QString time;      // the line's time text, "." before the decimals
    int rank = 0;
    qint64 at = 0;     // when it was recorded, ms since the epoch
};

// Told on the board's thread. Must return at once: a hand-off, no I/O.
class Listener {
public:
    virtual ~Listener() = default;
    // A complete line as it came from the serial line (without its CR),
    // with its arrival in ms since the epoch.
    virtual void lineReceived(const QByteArray& line, qint64 at) = 0;
    virtual void resultRecorded(const Result& result) = 0;
};

} // namespace race
