#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

// Replacing a file so that no failure at any moment (full disk, file size
// limit, crash, kill) leaves anything but the old or the new complete file.
namespace safefile {

struct Options {
    // A file without write permission is the operator's "do not touch": it
    // is not replaced, and the call fails saying so.
    bool respectReadOnly = false;
    // When the folder is not writable but the file is, the file is
    // rewritten in place (room reserved first, so a full disk fails before
    // a byte of the old content is touched).
    bool inPlaceWhenFolderReadOnly = false;
};

// Whether path is a file without write permission (see respectReadOnly);
// error then says so.
bool isReadOnly(const QString& path, QString* error = nullptr);

// Temporary file beside path, every write checked, fsync, close checked,
// the old file's permissions (and owner, where allowed), rename over path,
// fsync of the folder. On failure path is untouched and error says why in
// the system's words.
bool replace(const QString& path, const QByteArray& bytes, const Options& options, QString* error = nullptr);

// The name a file the program cannot read is moved to before it is
// replaced, beside it: "<path>.unreadable-<yyyyMMdd>-<HHmmss>", with "~2",
// "~3" ... added where that name is taken.
QString asideName(const QString& path);

// Where a copy of what could not be saved goes: `first` (beside the
// original, where the operator looks), then the home folder, which outlives
// a reboot, then the runtime and temporary folders, emptied at logout or
// reboot.
QStringList rescueFolders(const QString& first);

// Writes bytes as `name` into the first of rescueFolders(first) that takes
// them, never over an earlier file (name~2, name~3 ...). The path written,
// or empty with each place tried and why in *tried.
QString rescue(const QString& first, const QString& name, const QByteArray& bytes, QStringList* tried = nullptr);

} // namespace safefile
