// The twelve time labels: formats, precision, seconds mode, layout and the
// running time.
#include "console/Disp.h"

#include "common/CodePage.h"
#include "common/IntValue.h"
#include "display/DisplayLabel.h"
#include "display/TimeLayout.h"
#include "timetable/Control.h"

#include <QCheckBox>
#include <QComboBox>

void Tdisplay::GenauigkeitChange() {
    const std::array<bool, 4> shown = precisionPlaces(Genauigkeit->currentIndex());
    DisplayLabel* places[] = {Zeit_Pt, Zeit_z, Zeit_h, Zeit_t};
    for (int i = 0; i < 4; ++i)
        places[i]->setVisible(shown[i]);
}

void Tdisplay::ZeitDarstellungChange() {
    const int i = ZeitDarstellung->currentIndex();
    for (DisplayLabel* l : {Zeit_Hz, Zeit_He, Zeit_Dp1, Zeit_Mz, Zeit_Me, Zeit_Dp2})
        l->setVisible(false);
    if (i < 1) {
        // "Automatisch": the running time shows the leading places as it grows.
        Zeit_Sz->setVisible(false);
        ZeitAutomatik = true;
        return;
    }
    ZeitAutomatik = false;
    Zeit_Sz->setVisible(true);
    const bool colons = !SecMode->isChecked();
    if (i >= 2) {
        Zeit_Me->setVisible(true);
        Zeit_Dp2->setVisible(colons);
    }
    if (i >= 3)
        Zeit_Mz->setVisible(true);
    if (i >= 4) {
        Zeit_He->setVisible(true);
        Zeit_Dp1->setVisible(colons);
    }
    if (i == 5)
        Zeit_Hz->setVisible(true);
    // "Automatisch" shows the decimals each line brings; a fixed format
    // shows those of the chosen precision again.
    if (CheckBoxZ->isChecked())
        GenauigkeitChange();
}

void Tdisplay::ZeitPixelversatzChange() {
    Pixelversatz = intValue(ZeitPixelversatz->currentText());
    Zeit_anordnen();
}

void Tdisplay::SecModeClick() {
    const bool sec = SecMode->isChecked();
    Zeit_Dp1->setVisible(!sec);
    Zeit_Dp2->setVisible(!sec);
    // A colon the time format does not show must not appear (the hours'
    // colon in "M:SS" at the first paint, for instance).
    if (CheckBoxZ->isChecked() && !ZeitAutomatik) {
        const int format = ZeitDarstellung->currentIndex();
        Zeit_Dp1->setVisible(!sec && format >= 4);
        Zeit_Dp2->setVisible(!sec && format >= 2);
    } else if (CheckBoxZ->isChecked()) {
        // "Automatisch": a colon appears once the time reaches its places.
        Zeit_Dp1->setVisible(!sec && Zeitwert >= 3600000);
        Zeit_Dp2->setVisible(!sec && Zeitwert >= 60000);
    } else if (!CheckBoxZ->isChecked()) {
        Zeit_Dp1->setVisible(false);
        Zeit_Dp2->setVisible(false);
    }
    if (TimeControl)
        TimeControl->Sekundenmodus_setzen(sec);
    Zeit_anordnen();
}

void Tdisplay::CheckBoxZClick() {
    if (CheckBoxZ->isChecked()) {
        ZeitDarstellungChange();
        for (DisplayLabel* l : {Zeit_Sz, Zeit_Se, Zeit_Pt, Zeit_z, Zeit_h, Zeit_t})
            l->setVisible(true);
        // Switching the time on must not show places the precision excludes.
        GenauigkeitChange();
    } else {
        for (DisplayLabel* l : Zeitstellen)
            l->setVisible(false);
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

void Tdisplay::putChar(DisplayLabel* label, char b) {
    const QChar c = codepage::charOf(b);
    if (label->text().size() != 1 || label->text()[0] != c)
        label->setText(QString(c));
}

void Tdisplay::Laufende_Zeit_zeigen() {
    const std::string& L = Zeile;
    if (L.size() < size_t(19))
        return;  // dispatch hands over complete lines only
    auto at = [&L](size_t pos) { return L[pos - 1]; };
    const int T = Zeitwert;
    const bool A = ZeitAutomatik;
    // In seconds mode the colons take no width: shown, they would lie on a digit.
    const bool colons = !SecMode->isChecked();
    const bool has20 = L.size() >= 20;

    putChar(Zeit_z, at(18));
    putChar(Zeit_Se, at(16));
    if (T >= 10000) {
        if (A)
            Zeit_Sz->setVisible(true);
        putChar(Zeit_Sz, at(15));
    } else {
        if (A)
            Zeit_Sz->setVisible(false);
        putChar(Zeit_Sz, ' ');
    }
    putChar(Zeit_h, has20 && T != 0 ? at(19) : ' ');
    if (T >= 60000) {
        if (A) {
            Zeit_Me->setVisible(true);
            Zeit_Dp2->setVisible(colons);
        }
        putChar(Zeit_Me, at(13));
        putChar(Zeit_Dp2, at(14));
    } else if (A) {
        Zeit_Me->setVisible(false);
        Zeit_Dp2->setVisible(false);
    } else {
        putChar(Zeit_Me, ' ');
        putChar(Zeit_Dp2, ' ');
    }
    if (A) {
        if (at(4) == '.') {
            Zeit_h->setVisible(false);
            Zeit_t->setVisible(false);
        } else if (at(19) != ' ' && !Zeit_z->isHidden()) {
            // Hundredths only behind the point and the tenths ("sec" hides them).
            Zeit_h->setVisible(true);
            if (has20 && at(20) != ' ')
                Zeit_t->setVisible(true);
        }
        Zeit_Mz->setVisible(T >= 600000);
        Zeit_He->setVisible(T >= 3600000);
        Zeit_Dp1->setVisible(colons && T >= 3600000);
        Zeit_Hz->setVisible(T >= 36000000);
    }
    putChar(Zeit_Mz, at(12));
    putChar(Zeit_He, at(10));
    putChar(Zeit_Hz, at(9));
    if (!has20)
        Zeit_t->setText(QStringLiteral(" "));
    else
        putChar(Zeit_t, at(20));
}
