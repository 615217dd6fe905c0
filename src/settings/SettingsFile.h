#pragma once
#include <QByteArray>
#include <QString>
#include <functional>

// The line format of disp.ini: 8-bit text, one "key value" per line, lines
// written with CR LF and read up to LF (a CR right before the LF is not part
// of the line; the end of the file ends the last line).
namespace settingsfile {

enum class Kind {
    Switch,  // "1" or "0" right after the blank; anything after it is ignored
    Number,  // the rest of the line as an integer; malformed gives the fallback
    Text,    // the rest of the line verbatim, possibly empty
};

// Lines longer than this are cut there: the file is untrusted and no key or
// value of the program comes near it.
constexpr qsizetype kMaxLine = 4096;

// Reads the whole file (a regular file only, within a size limit) into
// `bytes`; false when it cannot be read.
bool read(const QString& path, QByteArray& bytes);

// Calls `line` for every line of the file's text in order.
void forEachLine(const QByteArray& bytes, const std::function<void(const QByteArray& line)>& line);

// Both: false when the file cannot be read.
bool forEachLine(const QString& path, const std::function<void(const QByteArray& line)>& line);

// The value of `line` for `key` of `kind`, or false when the line does not
// start with the key and its blank (for a switch: the key, the blank and
// "0" or "1").
bool match(const QByteArray& line, const QByteArray& key, Kind kind, QByteArray& value);

// Why `bytes` is no settings file, or empty when it may be one: binary
// data, or text in which not one line is a setting (`anyKey` false). An
// empty file, or one of blanks only, is none of these.
QString problem(const QByteArray& bytes, bool anyKey);

// One written line: key, blank, value, CR LF.
QByteArray format(const QByteArray& key, const QByteArray& value);

} // namespace settingsfile
