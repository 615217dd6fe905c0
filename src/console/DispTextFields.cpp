// The three text fields: main label over four shadow labels, and their controls.
#include "console/Disp.h"

#include "common/Colour.h"
#include "common/Dialogs.h"
#include "common/IntValue.h"
#include "display/DisplayLabel.h"

#include <QCheckBox>
#include <QComboBox>

void Tdisplay::Textfeld_setzen(int n, const QString& text) {
    if (n < 1 || n > 3)
        return;
    core_.Textfeld_setzen(n, text);  // drawn into the main label and its shadows
}

void Tdisplay::RandPixelChange(int n) {
    if (n < 1 || n > 3)
        return;
    TextField& t = Textfeld[n - 1];
    const int b = std::max(t.RandPixel->currentIndex(), 0);
    const int h = intValue(t.Pixel_H->currentText());
    const int v = intValue(t.Pixel_V->currentText());
    // From the designed places: a shadow lies where its main label does for
    // any text, as both lay out the same text in the same font.
    const QPoint at = t.V->place();
    const int l = at.x(), top = at.y();
    t.HLO->setPlace({l + h - b, top - v - b});
    t.HLU->setPlace({l + h - b, top - v + b});
    t.HRO->setPlace({l + h + b, top - v - b});
    t.HRU->setPlace({l + h + b, top - v + b});
}

void Tdisplay::Textfeld_ausrichtungChange(int n) {
    if (n < 1 || n > 3)
        return;
    TextField& t = Textfeld[n - 1];
    const int i = t.ausrichtung->currentIndex();
    if (i >= 0 && i <= 2)
        t.V->setAlignment(DisplayLabel::Alignment(i));
    for (DisplayLabel* s : t.shadows())
        s->setAlignment(t.V->alignment());
}

namespace {

// The shadows show only under a shown field without its background box,
// whichever of the two boxes was clicked last.
void showShadows(Tdisplay::TextField& t) {
    const bool on = t.Sichtbar->isChecked() && !t.Hintergrund->isChecked();
    for (DisplayLabel* s : t.shadows())
        s->setVisible(on);
}

} // namespace

void Tdisplay::Textfeld_HintergrundClick(int n) {
    TextField& t = Textfeld[n - 1];
    t.V->setTransparent(!t.Hintergrund->isChecked());
    showShadows(t);
}

void Tdisplay::Textfeld_SichtbarClick(int n) {
    TextField& t = Textfeld[n - 1];
    core_.change([&](BoardValues& v) { v.texts[size_t(n - 1)].visible = t.Sichtbar->isChecked(); });
    showShadows(t);
}

int32_t Tdisplay::shadowColour(int n) const {
    return Textfeld[n - 1].HRU->fontColour();
}

void Tdisplay::Textfeld_SchriftartClick(int n) {
    TextField& t = Textfeld[n - 1];
    const auto chosen = Dialogs::current().chooseFont(this, {t.V->font(), t.V->fontColour()}, false);
    if (!chosen)
        return;
    const int32_t shadow = shadowColour(n);
    t.V->setDisplayFont(chosen->font);
    t.V->setFontColour(chosen->colour);
    // Only the main label takes the chosen colour; the shadows keep theirs.
    for (DisplayLabel* s : t.shadows()) {
        s->setDisplayFont(chosen->font);
        s->setFontColour(shadow);
    }
}

void Tdisplay::Textfeld_HintergrundfarbeClick(int n) {
    chooseBackground({Textfeld[n - 1].V}, QString("Textfeld%1_Colordialog").arg(n));
}

void Tdisplay::Textfeld_SchattenfarbeClick(int n) {
    auto c = chooseColour(QString("Textfeld%1_Schattenfarbedialog").arg(n));
    if (!c)
        return;
    TextField& t = Textfeld[n - 1];
    t.V->setColour(*c);
    for (DisplayLabel* s : t.shadows())
        s->setFontColour(*c);
}

std::optional<int32_t> Tdisplay::chooseColour(const QString& dialog) {
    // A colour dialog opens at the colour last chosen in it, not at the element's.
    auto c = Dialogs::current().chooseColour(this, lastColours_.value(dialog, colour::Black));
    if (c)
        lastColours_[dialog] = *c;
    return c;
}
