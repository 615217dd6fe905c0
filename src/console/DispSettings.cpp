// disp.ini: read and written by looping over the key table.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "common/IntValue.h"
#include "common/SafeFile.h"
#include "common/SaveWorker.h"
#include "settings/SettingsKeys.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
const QString kIniFile = QStringLiteral("disp.ini");
const QString kIniNotice = QStringLiteral("disp.ini");
constexpr int kCheckMs = 1000;  // a change reaches the disk within two seconds

const QString kUnreadableNotice = QStringLiteral("disp.ini unreadable");

// A failed write never replaces the good file; where only the file is
// writable it is rewritten in place. A file that was no settings file is
// first moved to `aside`: it may be the operator's, and is never lost.
bool writeIni(const QByteArray& bytes, const QString& aside, QString& error) {
    if (!aside.isEmpty() && ::rename(QFile::encodeName(kIniFile).constData(), QFile::encodeName(aside).constData()) != 0 &&
        errno != ENOENT) {
        error = QStringLiteral("could not move the unreadable file to %1: %2")
                    .arg(aside, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    safefile::Options options;
    options.inPlaceWhenFolderReadOnly = true;
    return safefile::replace(kIniFile, bytes, options, &error);
}
} // namespace

void Tdisplay::Einstellungen_laden() {
    using settingsfile::Kind;
    const auto rows = settingskeys::table();
    // A missing or unreadable file leaves every setting as it is. What is on
    // disk is kept: the program writes when what it would write differs.
    if (!settingsfile::read(kIniFile, iniOnDisk_))
        iniOnDisk_.clear();
    bool anyKey = false;
    settingsfile::forEachLine(iniOnDisk_, [&](const QByteArray& line) {
        QByteArray value;
        for (const settingskeys::Row& row : rows) {
            if (!settingsfile::match(line, row.key, row.kind, value)) {
                // A known key with a value of the wrong kind still makes a settings file.
                const qsizetype k = qsizetype(qstrlen(row.key));
                anyKey = anyKey || (line.size() > k && line.startsWith(row.key) && line[k] == ' ');
                continue;
            }
            anyKey = true;
            const int number = row.kind == Kind::Switch   ? (value == "1" ? 1 : 0)
                               : row.kind == Kind::Number ? intValue(value, row.fallback)
                                                          : 0;
            row.apply(*this, number, value);
            break;
        }
    });
    pushOptions();  // lists were selected without their change actions
    // Binary junk or text without a single setting: the defaults stand, and
    // the file goes aside before the first write replaces it.
    const QString problem = settingsfile::problem(iniOnDisk_, anyKey);
    if (problem.isEmpty())
        return;
    iniOnDisk_.clear();  // so that the settings are written
    if (!iniAside_.isEmpty())
        return;  // already told (the first paint reads the file again)
    const QString path = QFileInfo(kIniFile).absoluteFilePath();
    iniAside_ = safefile::asideName(path);
    Dialogs::current().notice(this, kUnreadableNotice,
                              QStringLiteral("disp.ini is not a settings file: %1\nFile: %2\n"
                                             "Settings not read from it keep their defaults. The file is kept: "
                                             "before the settings are written it is moved to %3")
                                  .arg(problem, path, iniAside_));
}

QByteArray Tdisplay::settingsBytes() {
    QByteArray bytes;
    bytes.reserve(4096);
    for (const settingskeys::Row& row : settingskeys::table())
        bytes += settingsfile::format(row.key, row.store(*this));
    return bytes;
}

void Tdisplay::startSettingsAutosave() {
    iniWriter_ = new SaveWorker(this);
    iniTimer_ = new QTimer(this);
    iniTimer_->setInterval(kCheckMs);
    // Comparing the file's text catches every setting, however it changed.
    connect(iniTimer_, &QTimer::timeout, this, [this] {
        // Before the first paint has loaded the settings again the shadow
        // colours are not yet in place: nothing to write before that.
        if (closed_ || Neuladen || iniWriter_->busy())
            return;
        const QByteArray bytes = settingsBytes();
        if (bytes == iniOnDisk_)
            return;
        iniOnDisk_ = bytes;  // written or failed, it is not tried again until the next change or tick
        iniWriter_->submit([bytes, aside = iniAside_](QString& why) { return writeIni(bytes, aside, why); });
    });
    connect(iniWriter_, &SaveWorker::finished, this, [this](quint64, bool ok, const QString& error) {
        settingsWritten(ok, ok ? iniOnDisk_ : QByteArray(), error);
    });
    iniTimer_->start();
}

void Tdisplay::settingsWritten(bool ok, const QByteArray& bytes, const QString& error) {
    if (ok) {
        if (!iniAside_.isEmpty() && QFileInfo::exists(iniAside_))
            Dialogs::current().notice(this, kUnreadableNotice,
                                      QStringLiteral("disp.ini was not a settings file and was moved to %1\n"
                                                     "The settings are written anew to %2")
                                          .arg(iniAside_, QFileInfo(kIniFile).absoluteFilePath()));
        iniAside_.clear();
        if (!iniError_.isEmpty())
            Dialogs::current().withdrawNotice(kIniNotice);
        iniError_.clear();
        if (!bytes.isEmpty())
            iniOnDisk_ = bytes;
        return;
    }
    iniOnDisk_.clear();  // what is on disk is older: the next tick tries again
    if (error != iniError_)
        Dialogs::current().notice(this, kIniNotice,
                                  QStringLiteral("Error writing INI-File\n%1: %2\nThe settings are tried again "
                                                 "every second.")
                                      .arg(QFileInfo(kIniFile).absoluteFilePath(), error));
    iniError_ = error;
}

void Tdisplay::Einstellungen_speichern() {
    if (iniWriter_)  // a write in flight must not land after this one
        iniWriter_->waitIdle();
    const QByteArray bytes = settingsBytes();
    QString error;
    settingsWritten(writeIni(bytes, iniAside_, error), bytes, error);
}
