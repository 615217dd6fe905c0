// Fonts, background colours and visibility of the time, rank, start number,
// preset time, boards and pictures.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "display/DisplayLabel.h"
#include "display/PictureBox.h"

#include <QCheckBox>
#include <QPushButton>

namespace {
// Font dialog starting at the label's font; on OK the label takes font and colour.
bool chooseFontFor(QWidget* parent, DisplayLabel* from, bool fixedPitch, Dialogs::FontChoice& out) {
    auto chosen = Dialogs::current().chooseFont(parent, {from->font(), from->fontColour()}, fixedPitch);
    if (!chosen)
        return false;
    out = *chosen;
    return true;
}
void applyFont(DisplayLabel* l, const Dialogs::FontChoice& f) {
    l->setDisplayFont(f.font);
    l->setFontColour(f.colour);
}
} // namespace

void Tdisplay::SchriftartZeitClick() {
    Dialogs::FontChoice f;
    if (!chooseFontFor(this, Zeit_Hz, true, f))
        return;
    for (DisplayLabel* l : Zeitstellen)
        applyFont(l, f);
    Zeit_anordnen();
}

void Tdisplay::ZeitHintergrundClick() {
    if (auto c = chooseColour("ColorDialogZeit"))
        for (DisplayLabel* l : Zeitstellen)
            l->setColour(*c);
}

void Tdisplay::SchriftartRangClick() {
    Dialogs::FontChoice f;
    if (chooseFontFor(this, Rang, true, f))
        applyFont(Rang, f);
}

void Tdisplay::RangHintergrundClick() {
    if (auto c = chooseColour("ColorDialogRang"))
        Rang->setColour(*c);
}

void Tdisplay::SchriftartNummerClick() {
    Dialogs::FontChoice f;
    if (chooseFontFor(this, Nummer, true, f))
        applyFont(Nummer, f);
}

void Tdisplay::NummerHintergrundClick() {
    if (auto c = chooseColour("ColorDialogNummer"))
        Nummer->setColour(*c);
}

void Tdisplay::SchriftartVorgabezeitClick() {
    Dialogs::FontChoice f;
    if (chooseFontFor(this, Vorgabezeit, true, f))
        applyFont(Vorgabezeit, f);
}

void Tdisplay::VorgabezeitHintergrundClick() {
    if (auto c = chooseColour("ColorDialogVorgabezeit"))
        Vorgabezeit->setColour(*c);
}

void Tdisplay::SchriftartAClick(int n) {
    Dialogs::FontChoice f;
    if (chooseFontFor(this, Tafel[size_t(n - 1)].Text, false, f))
        applyFont(Tafel[size_t(n - 1)].Text, f);
}

void Tdisplay::AHintergrundClick(int n) {
    if (auto c = chooseColour(QString("ColorDialogA%1").arg(n)))
        Tafel[size_t(n - 1)].Text->setColour(*c);
}

void Tdisplay::A_sichtbarClick(int n) {
    Tafel[size_t(n - 1)].Text->setVisible(Tafel[size_t(n - 1)].sichtbar->isChecked());
}

void Tdisplay::Logo_sichtbarClick(int n) {
    // The third box only switches the automatic advertising.
    if (n == 1 || n == 2)
        Logo[size_t(n - 1)]->setVisible(Logo_sichtbar[size_t(n - 1)]->isChecked());
}
