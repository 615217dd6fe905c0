// The preset time of the next timing point while a runner is on course.
#include "console/Disp.h"

#include "common/CodePage.h"
#include "display/DisplayLabel.h"
#include "display/TimeFormat.h"
#include "timetable/Spreadsheet.h"

#include <QCheckBox>

void Tdisplay::Vorgabezeit_zeigen() {
    if (Zeile.size() < 4 || Zeile[3] != '.') {
        // A result line leaves the label to the rank display.
        if (Anzeigemodus && Zeitwert == 0)
            Vorgabezeit->setVisible(false);
        return;
    }
    TSpreadsheet* table = timeTable();
    const int row = Startnummer + 9;
    // The finish first, then the intermediate points A, B, E .. J.
    static const int columns[] = {6, 8, 10, 11, 12, 13, 14, 15, 16, 17};
    if (table && row >= 1) {
        for (int k : columns) {
            if (table->EntryRC(6, k).isEmpty() || !table->EntryRC(row, k).isEmpty())
                continue;
            const int preset = tableTime(6, k);
            if (int64_t(preset) - Zeitwert >= 4000)
                continue;
            const std::string text = Zeit_formatieren(uint32_t(preset), 2, localeDecimalSeparator());
            const QString shown = codepage::toUnicode(QByteArray(text.data(), qsizetype(text.size())));
            if (Vorgabezeit->text() != shown)
                Vorgabezeit->setText(shown);
            Vorgabezeit->setVisible(true);
            return;
        }
    }
    if (Anzeigemodus)
        Vorgabezeit->setVisible(false);
}

void Tdisplay::Vorgabezeit_sichtbarClick() {
    // In display mode the box only decides whether preset times are shown at all.
    if (!Anzeigemodus)
        Vorgabezeit->setVisible(Vorgabezeit_sichtbar->isChecked());
}
