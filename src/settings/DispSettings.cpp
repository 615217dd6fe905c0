// disp.ini: read and written by looping over the key table.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "common/IntValue.h"
#include "settings/SettingsKeys.h"

#include <QSaveFile>

namespace {
const QString kIniFile = QStringLiteral("disp.ini");
}

void Tdisplay::Einstellungen_laden() {
    using settingsfile::Kind;
    const auto rows = settingskeys::table();
    // A missing or unreadable file leaves every setting as it is.
    settingsfile::forEachLine(kIniFile, [&](const QByteArray& line) {
        QByteArray value;
        for (const settingskeys::Row& row : rows) {
            if (!settingsfile::match(line, row.key, row.kind, value))
                continue;
            const int number = row.kind == Kind::Switch   ? (value == "1" ? 1 : 0)
                               : row.kind == Kind::Number ? intValue(value, row.fallback)
                                                          : 0;
            row.apply(*this, number, value);
            break;
        }
    });
}

void Tdisplay::Einstellungen_speichern() {
    // Written beside and renamed over the old file, so a failed write (disk
    // full) never leaves a truncated disp.ini behind.
    QSaveFile f(kIniFile);
    if (!f.open(QIODevice::WriteOnly)) {
        Dialogs::current().error(this, QStringLiteral("Error writing INI-File"));
        return;
    }
    for (const settingskeys::Row& row : settingskeys::table())
        f.write(settingsfile::format(row.key, row.store(*this)));
    if (!f.commit())
        Dialogs::current().error(this, QStringLiteral("Error closing INI-File"));
}
