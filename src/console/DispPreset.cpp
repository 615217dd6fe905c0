// The preset time's show box; the preset rules are the core's.
#include "console/Disp.h"

#include <QCheckBox>

void Tdisplay::Vorgabezeit_sichtbarClick() {
    // In display mode the box only decides whether preset times are shown at all.
    if (!Anzeigemodus)
        core_.change([this](BoardValues& v) { v.preset.visible = Vorgabezeit_sichtbar->isChecked(); });
}
