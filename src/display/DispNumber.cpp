// The start number, and the runner's name, nation and free text from the time table.
#include "console/Disp.h"

#include "display/DisplayLabel.h"
#include "timetable/Control.h"
#include "timetable/Spreadsheet.h"

#include <QCheckBox>

void Tdisplay::Startnummer_zeigen() {
    // Only a number from 1 up names a runner; a negative one from a garbled
    // line is shown like no number at all.
    if (Startnummer <= 0) {
        Nummer->setText(QStringLiteral("   "));
        Textfeld_setzen(1, QString());
        return;
    }
    const QString shown = QString::number(Startnummer) + NummerZusatz;
    if (Nummer->text() == shown)
        return;  // same runner: the table is not read again
    Nummer->setText(shown);
    TSpreadsheet* table = timeTable();
    if (!table)
        return;
    const int row = Startnummer + 9;
    const QString first = table->TextRC(row, 3), second = table->TextRC(row, 4);
    const QString name = WholeSureName ? first + ' ' + second : first + ' ' + second.left(1) + '.';
    if (Textfeld[0].V->text() != name)
        Textfeld_setzen(1, name);
    const QString nation = table->TextRC(row, 5);
    if (Textfeld[1].V->text() != nation)
        Textfeld_setzen(2, nation);
    const QString free = table->TextRC(row, 18);
    if (Textfeld[2].V->text() != free)
        Textfeld_setzen(3, free);
}

void Tdisplay::CheckBoxNClick() {
    Nummer->setVisible(CheckBoxN->isChecked());
}
