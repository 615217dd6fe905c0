// The start number's show box; the number rules are the core's.
#include "console/Disp.h"

#include <QCheckBox>

void Tdisplay::CheckBoxNClick() {
    core_.change([this](BoardValues& v) { v.number.visible = CheckBoxN->isChecked(); });
}
