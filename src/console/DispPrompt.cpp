// A finish time sent without start number ('A' at 1, 'F' at 4): the core
// asks the operator here when it remembers no number.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "protocol/Startnumberunit.h"

#include <QLineEdit>

std::optional<QString> Tdisplay::askStartNumber() {
    if (!StartNumberForm)
        return std::nullopt;
    // The entry keeps the previous number, selected so typing replaces it.
    StartNumberForm->StartNrE->selectAll();
    if (Dialogs::current().exec(StartNumberForm) != QDialog::Accepted)
        return std::nullopt;
    return StartNumberForm->StartNrE->text();
}
