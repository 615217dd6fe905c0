#pragma once
#include "settings/SettingsFile.h"

#include <QByteArray>
#include <span>

class Tdisplay;

// The keys of disp.ini in the order they are written. The reader tries them
// in this order on every line; no key is a prefix of another.
namespace settingskeys {

using settingsfile::Kind;

struct Row {
    const char* key;
    Kind kind;
    // The value in force when the file lacks the key (as the file would
    // write it; nullptr when it depends on other settings).
    const char* absent;
    // Number: the value a malformed text gives.
    int fallback;
    // Applies a matched line: `number` is the converted value (switch: 0/1,
    // number: the value or the fallback), `text` the value text as written.
    void (*apply)(Tdisplay& d, int number, const QByteArray& text);
    // The value to write.
    QByteArray (*store)(const Tdisplay& d);
};

std::span<const Row> table();

} // namespace settingskeys
