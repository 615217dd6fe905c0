#pragma once
#include <QString>
#include <QStringList>

// Where the program finds its shipped files (pictures, language files, the
// empty time table). A bare name is looked up in the working folder first,
// then in the data folders, in order. The working folder always wins, so an
// operator's own file replaces the shipped one.
namespace datafiles {

// The data folders of an executable in `appDir`, in search order:
//   <appDir>/../share/timedisplay  an installed tree, wherever its prefix is
//   TD_DATA_INSTALL_DIR            the folder this build installs into
//   the source tree's data/        only for an executable inside the build tree
// Folders that do not exist are left out.
QStringList defaultFolders(const QString& appDir);

// Set once at start-up; until then (as in tests) nothing but the working
// folder is searched.
void setFolders(const QStringList& folders);
QStringList folders();

// The path to open for `name`: `name` itself when it names a path (has a
// folder part) or exists in the working folder, else the first data folder
// that holds it, else `name` (so that a message names what was missing).
QString locate(const QString& name);

// `relative` inside the first data folder that holds it; empty if none does.
QString shipped(const QString& relative);

} // namespace datafiles
