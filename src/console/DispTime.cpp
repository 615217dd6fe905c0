// The twelve time labels: formats, precision, seconds mode and layout (the
// running time is the core's).
#include "console/Disp.h"

#include "common/IntValue.h"
#include "display/DisplayLabel.h"
#include "display/TimeLayout.h"
#include "timetable/Control.h"

#include <QCheckBox>
#include <QComboBox>

void Tdisplay::GenauigkeitChange() {
    const std::array<bool, 4> shown = precisionPlaces(Genauigkeit->currentIndex());
    core_.change([&](BoardValues& v) {
        const int places[] = {kPt, kZ, kH, kT};
        for (int i = 0; i < 4; ++i)
            v.time[size_t(places[i])].visible = shown[size_t(i)];
    });
}

void Tdisplay::ZeitDarstellungChange() {
    BoardCore::Batch batch(core_);  // the format and the precision: one change
    const int i = ZeitDarstellung->currentIndex();
    const bool colons = !SecMode->isChecked();
    core_.change([&](BoardValues& v) {
        auto show = [&v](int place, bool on) { v.time[size_t(place)].visible = on; };
        for (int p : {kHz, kHe, kDp1, kMz, kMe, kDp2})
            show(p, false);
        if (i < 1) {
            // "Automatisch": the running time shows the leading places as it grows.
            show(kSz, false);
            return;
        }
        show(kSz, true);
        if (i >= 2) {
            show(kMe, true);
            show(kDp2, colons);
        }
        if (i >= 3)
            show(kMz, true);
        if (i >= 4) {
            show(kHe, true);
            show(kDp1, colons);
        }
        if (i == 5)
            show(kHz, true);
    });
    ZeitAutomatik = i < 1;
    pushOptions();
    // "Automatisch" shows the decimals each line brings; a fixed format
    // shows those of the chosen precision again.
    if (i >= 1 && CheckBoxZ->isChecked())
        GenauigkeitChange();
}

void Tdisplay::ZeitPixelversatzChange() {
    Pixelversatz = intValue(ZeitPixelversatz->currentText());
    Zeit_anordnen();
}

void Tdisplay::SecModeClick() {
    const bool sec = SecMode->isChecked();
    core_.change([&](BoardValues& v) {
        bool& dp1 = v.time[kDp1].visible;
        bool& dp2 = v.time[kDp2].visible;
        dp1 = dp2 = !sec;
        // A colon the time format does not show must not appear (the hours'
        // colon in "M:SS" at the first paint, for instance).
        if (CheckBoxZ->isChecked() && !ZeitAutomatik) {
            const int format = ZeitDarstellung->currentIndex();
            dp1 = !sec && format >= 4;
            dp2 = !sec && format >= 2;
        } else if (CheckBoxZ->isChecked()) {
            // "Automatisch": a colon appears once the time reaches its places.
            dp1 = !sec && core_.state().Zeitwert >= 3600000;
            dp2 = !sec && core_.state().Zeitwert >= 60000;
        } else {
            dp1 = dp2 = false;
        }
    });
    if (TimeControl)
        TimeControl->Sekundenmodus_setzen(sec);
    Zeit_anordnen();
}

void Tdisplay::CheckBoxZClick() {
    BoardCore::Batch batch(core_);
    if (CheckBoxZ->isChecked()) {
        ZeitDarstellungChange();
        core_.change([](BoardValues& v) {
            for (int p : {kSz, kSe, kPt, kZ, kH, kT})
                v.time[size_t(p)].visible = true;
        });
        // Switching the time on must not show places the precision excludes.
        GenauigkeitChange();
    } else {
        core_.change([](BoardValues& v) {
            for (BoardValues::Shown& p : v.time)
                p.visible = false;
        });
    }
}

void Tdisplay::Zeit_anordnen() {
    std::array<int, kTimePlaces> widths{};
    for (int i = 0; i < kTimePlaces; ++i)
        widths[i] = Zeitstellen[i]->width();
    const auto lefts = layoutTimePlaces(Zeit_Hz->x(), widths, Pixelversatz, SecMode->isChecked());
    const int top = Zeit_Hz->y();
    for (int i = 1; i < kTimePlaces; ++i)
        if (Zeitstellen[i]->pos() != QPoint(lefts[i], top))
            Zeitstellen[i]->move(lefts[i], top);
}

