// Closing while the time table is not on disk: the operator decides, and
// whatever way the program ends, the results are written somewhere.
#include "timetable/Control.h"

#include "common/Dialogs.h"
#include "common/SafeFile.h"
#include "timetable/Spreadsheet.h"

#include <QDateTime>
#include <QFileInfo>

#include <cstdio>

namespace {
const QString kDataFile = QStringLiteral("liste.xls");
enum Answer { Retry, QuitAnyway, Stay };
} // namespace

QStringList TTimeControl::emergencyFolders() {
    return safefile::rescueFolders(QFileInfo(kDataFile).absolutePath());
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
    const QString path = safefile::rescue(QFileInfo(kDataFile).absolutePath(), name, bytes, &tried);
    if (!path.isEmpty()) {
        emergencyCopy_ = path;
        emergencyWritten_ = true;
        std::fprintf(stderr, "timedisplay: the unsaved time table was written to %s\n", qPrintable(path));
        return;
    }
    std::fprintf(stderr, "timedisplay: no place took the unsaved time table:\n  %s\n",
                 qPrintable(tried.join(QStringLiteral("\n  "))));
}
