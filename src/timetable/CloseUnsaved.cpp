// Closing while the time table is not on disk: the operator decides, and
// whatever way the program ends, the results are written somewhere.
#include "timetable/Control.h"

#include "common/Dialogs.h"
#include "common/SafeFile.h"
#include "timetable/Spreadsheet.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

namespace {
const QString kDataFile = QStringLiteral("liste.xls");
enum Answer { Retry, QuitAnyway, Stay };
} // namespace

QStringList TTimeControl::emergencyFolders() {
    // Beside the table first, where the operator looks; then the home
    // folder, which outlives a reboot; the temporary places last.
    QStringList folders{QFileInfo(kDataFile).absolutePath()};
    for (const QString& f : {qEnvironmentVariable("HOME"), qEnvironmentVariable("XDG_RUNTIME_DIR"),
                             QStandardPaths::writableLocation(QStandardPaths::TempLocation)}) {
        const QString clean = f.isEmpty() ? QString() : QDir::cleanPath(QDir(f).absolutePath());
        if (!clean.isEmpty() && !folders.contains(clean))
            folders << clean;
    }
    return folders;
}

bool TTimeControl::confirmClose() {
    if (TimeTable && TimeTable->Modified())
        TimeTableEndRecalc();
    waitForSaves();
    while (saveStatus_.state == SaveStatus::Failed) {
        // over the window the operator sees: this one is mostly hidden
        QWidget* over = isVisible() || !parentWidget() ? this : parentWidget();
        const int answer = Dialogs::current().ask(
            over, QStringLiteral("Time table not saved"),
            QStringLiteral("The time table could not be saved.\n%1: %2\n\n"
                           "Retry: try to save it again.\n"
                           "Quit anyway: a copy is written to another place, if one takes it.\n"
                           "Cancel: the program stays open and keeps the results.")
                .arg(saveStatus_.path, saveStatus_.reason),
            {QStringLiteral("Retry"), QStringLiteral("Quit anyway"), QStringLiteral("Cancel")}, Stay);
        if (answer == Stay)
            return false;
        if (answer != Retry)  // or nobody there to answer
            return true;
        requestSave();
        waitForSaves();
    }
    return true;
}

void TTimeControl::finishSaving() {
    if (TimeTable && TimeTable->Modified())
        TimeTableEndRecalc();
    waitForSaves();
    if (saveStatus_.state != SaveStatus::Failed || emergencyWritten_)  // the copy holds it all, and said so
        return;
    std::fprintf(stderr, "timedisplay: %s not saved: %s\n", qPrintable(saveStatus_.path),
                 qPrintable(saveStatus_.reason));
    writeEmergencyCopy();
}

void TTimeControl::writeEmergencyCopy() {
    emergencyCopy_.clear();
    QByteArray bytes;
    QString why;
    if (!encodeTable(bytes, &why)) {
        std::fprintf(stderr, "timedisplay: the unsaved time table could not be encoded: %s\n", qPrintable(why));
        return;
    }
    const QString name =
        kDataFile + QStringLiteral(".unsaved-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QStringList tried;
    for (const QString& folder : emergencyFolders()) {
        QString path = QDir(folder).filePath(name);
        for (int n = 2; QFileInfo::exists(path); ++n)  // never over an earlier copy
            path = QDir(folder).filePath(name + u'~' + QString::number(n));
        if (safefile::replace(path, bytes, safefile::Options(), &why)) {
            emergencyCopy_ = path;
            emergencyWritten_ = true;
            std::fprintf(stderr, "timedisplay: the unsaved time table was written to %s\n", qPrintable(path));
            return;
        }
        tried << path + QStringLiteral(": ") + why;
    }
    std::fprintf(stderr, "timedisplay: no place took the unsaved time table:\n  %s\n",
                 qPrintable(tried.join(QStringLiteral("\n  "))));
}
