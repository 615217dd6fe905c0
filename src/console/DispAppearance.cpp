// Fonts, background colours and visibility of the time, rank, start number,
// preset time, boards and pictures.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "display/DisplayLabel.h"
#include "display/PictureBox.h"

#include <QCheckBox>
#include <QPushButton>

namespace {
// Font dialog starting at the label's font; on OK the labels take font and colour.
void chooseFontFor(QWidget* parent, const QList<DisplayLabel*>& targets, bool fixedPitch) {
    const DisplayLabel* from = targets.first();
    const auto chosen = Dialogs::current().chooseFont(parent, {from->font(), from->fontColour()}, fixedPitch);
    if (!chosen)
        return;
    for (DisplayLabel* l : targets) {
        l->setDisplayFont(chosen->font);
        l->setFontColour(chosen->colour);
    }
}
} // namespace

void Tdisplay::chooseBackground(const QList<DisplayLabel*>& targets, const QString& dialog) {
    if (auto c = chooseColour(dialog))
        for (DisplayLabel* l : targets)
            l->setColour(*c);
}

void Tdisplay::SchriftartZeitClick() {
    const QList<DisplayLabel*> all(Zeitstellen.begin(), Zeitstellen.end());
    chooseFontFor(this, all, true);
    Zeit_anordnen();
}

void Tdisplay::ZeitHintergrundClick() {
    chooseBackground(QList<DisplayLabel*>(Zeitstellen.begin(), Zeitstellen.end()), "ColorDialogZeit");
}

void Tdisplay::SchriftartRangClick() { chooseFontFor(this, {Rang}, true); }
void Tdisplay::RangHintergrundClick() { chooseBackground({Rang}, "ColorDialogRang"); }
void Tdisplay::SchriftartNummerClick() { chooseFontFor(this, {Nummer}, true); }
void Tdisplay::NummerHintergrundClick() { chooseBackground({Nummer}, "ColorDialogNummer"); }
void Tdisplay::SchriftartVorgabezeitClick() { chooseFontFor(this, {Vorgabezeit}, true); }
void Tdisplay::VorgabezeitHintergrundClick() { chooseBackground({Vorgabezeit}, "ColorDialogVorgabezeit"); }
void Tdisplay::SchriftartAClick(int n) { chooseFontFor(this, {Tafel[size_t(n - 1)].Text}, false); }

void Tdisplay::AHintergrundClick(int n) {
    chooseBackground({Tafel[size_t(n - 1)].Text}, QString("ColorDialogA%1").arg(n));
}

void Tdisplay::A_sichtbarClick(int n) {
    core_.change([&](BoardValues& v) { v.boards[size_t(n - 1)].visible = Tafel[size_t(n - 1)].sichtbar->isChecked(); });
}

void Tdisplay::Logo_sichtbarClick(int n) {
    // The third box only switches the automatic advertising.
    if (n == 1 || n == 2)
        Logo[size_t(n - 1)]->setVisible(Logo_sichtbar[size_t(n - 1)]->isChecked());
}
