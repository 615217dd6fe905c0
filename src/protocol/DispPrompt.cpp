// A finish time sent without start number ('A' at 1, 'F' at 4) takes the
// number of the last normal line, or one the operator types in.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "common/IntValue.h"
#include "display/DisplayLabel.h"
#include "protocol/Startnumberunit.h"

#include <QCheckBox>
#include <QLineEdit>

namespace {
void putNumber(std::string& L, int n) {
    L[0] = char('0' + n / 100 % 10);
    L[1] = char('0' + n / 10 % 10);
    L[2] = char('0' + n % 10);
}
} // namespace

void Tdisplay::Startnummer_einsetzen() {
    std::string& L = Zeile;
    if (L.size() < 4 || L[0] != 'A')
        return;
    if (L[3] != 'F') {
        LetzteStartnummer = 0;
        return;
    }
    if (LetzteStartnummer < 1 && StrNrSelfCB->isChecked() && StartNumberForm) {
        // The entry keeps the previous number, selected so typing replaces it.
        StartNumberForm->StartNrE->selectAll();
        if (Dialogs::current().exec(StartNumberForm) == QDialog::Accepted) {
            LetzteStartnummer = intValue(StartNumberForm->StartNrE->text());
            if (LetzteStartnummer >= 1 && LetzteStartnummer <= 999) {
                putNumber(L, LetzteStartnummer);
                L[3] = 'C';
                if (L.size() < 22)
                    L.resize(22, ' ');
                L[20] = '0';
                L[21] = '0';
                Rang->setText(QString());  // the rank display writes its new caption
            }
        }
    }
    if (LetzteStartnummer > 0)
        putNumber(L, LetzteStartnummer);
}
