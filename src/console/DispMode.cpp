// Display mode: the window becomes the maximised, borderless scoreboard and
// every setup control is hidden; any key that is no hotkey brings it back.
#include "console/Disp.h"

#include "common/Colour.h"
#include "common/Dialogs.h"
#include "common/WindowFrame.h"
#include "display/DisplayLabel.h"
#include "display/PictureBox.h"

#include <QCheckBox>
#include <QPushButton>
#include <QScrollArea>

namespace {
// The setup controls by group, in the order they are hidden and shown.
const char* const kGroup2[] = {"CheckBoxZ", "CheckBoxR", "CheckBoxN", "SchriftartZeit", "SchriftartRang",
                               "SchriftartNummer", "Genauigkeit", "RangEnde", "NummerEnde", "Hintergrund",
                               "COM", "RangHintergrund", "NummerHintergrund", "ZeitHintergrund", "XRang", "YRang",
                               "XNummer", "YNummer", "XZeit", "YZeit",
                               "PortSettings", "StatusLine"};
const char* const kGroup3[] = {"Textfeld%1_Sichtbar", "Textfeld%1_Schriftart", "Textfeld%1_Hintergrundfarbe",
                               "Textfeld%1_Schattenfarbe", "Textfeld%1_Label1", "Textfeld%1_Label2",
                               "Textfeld%1_Label3", "T%1RandPixel", "T%1Pixel_H", "T%1Pixel_V", "XTextfeld%1",
                               "YTextfeld%1", "Textfeld%1_Hintergrund", "Textfeld%1_ausrichtung",
                               "Textfeld%1_Label4"};
const char* const kGroup4[] = {"Logo1_sichtbar", "Logo2_sichtbar", "Logo3_sichtbar", "ZeitPixelversatz",
                               "Vorgabezeit_sichtbar", "SchriftartVorgabezeit", "VorgabezeitHintergrund",
                               "GenauigkeitVorgabezeit", "XVorgabezeit", "YVorgabezeit", "ZeitDarstellung", "Time"};
const char* const kGroup5[] = {"A%1_sichtbar", "Adresse%1", "SchriftartA%1", "A%1Hintergrund",
                               "A%1VonZeichen", "A%1AnzZeichen", "XA%1", "YA%1"};
const char* const kGroup6[] = {"Language", "SecMode", "AdrNummer", "StrNrSelfCB"};
} // namespace

QList<QWidget*> Tdisplay::setupGroup(int group) const {
    QList<QWidget*> out;
    auto add = [&](const QString& name) {
        if (auto* w = canvas->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly))
            out << w;
        else if (StatusLine && name == StatusLine->objectName())  // in the scroll bar's row
            out << StatusLine;
    };
    auto family = [&](auto& names, int members) {
        for (int n = 1; n <= members; ++n)
            for (const char* pattern : names)
                add(QString(pattern).arg(n));
    };
    switch (group) {
    case 1: add("Start"); add("End"); break;
    case 2: for (const char* n : kGroup2) add(n); break;
    case 3: family(kGroup3, 3); break;
    case 4: for (const char* n : kGroup4) add(n); break;
    case 5: family(kGroup5, 4); break;
    case 6: for (const char* n : kGroup6) add(n); break;
    }
    return out;
}

void Tdisplay::StartClick() {
    if (Anzeigemodus)
        return;
    // The setup placement: outer bounds for disp.ini, the client rectangle
    // (not the frame position) to give it back exactly.
    const QRect frame = windowframe::outerBounds(*this);
    Fensterlage = {windowState() & ~Qt::WindowActive, frame.width(), frame.height(), frame.x(), frame.y(),
                   (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) ? normalGeometry() : geometry()};

    // Full screen covers panels and task bars; with a window manager it also
    // drops the frame, without one the window is simply given the screen.
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowFullScreen);
    show();
    coverScreen();
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    raise();
    activateWindow();

    Start->setVisible(false);
    End->setVisible(false);
    Anzeigemodus = true;
    pushOptions();
    for (int g : {2, 3, 4})
        for (QWidget* w : setupGroup(g))
            if (w != Time)
                w->setVisible(false);

    QPalette pal = canvas->palette();
    pal.setColor(QPalette::Window, colour::toQColor(Anzeigefarbe).value_or(Qt::black));
    canvas->setPalette(pal);
    canvas->setCursor(Qt::BlankCursor);

    Time->setVisible(false);
    core_.change([](BoardValues& v) {
        v.advert = false;
        v.preset.visible = false;
    });
    for (int g : {5, 6})
        for (QWidget* w : setupGroup(g))
            w->setVisible(false);
    // The keys now go to the window itself.
    setFocus(Qt::OtherFocusReason);
    // Nothing covers the board: notices wait for the setup panel.
    Dialogs::current().holdNotices(true);
}

void Tdisplay::Anzeige_beenden() {
    setWindowState(Fensterlage.state);
    show();
    if (!(Fensterlage.state & (Qt::WindowMaximized | Qt::WindowFullScreen)) && Fensterlage.client.isValid())
        setGeometry(Fensterlage.client);  // the client area: no frame offset to get wrong
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);  // its row holds the status line
    scroller->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    Start->setVisible(true);
    End->setVisible(true);
    Anzeigemodus = false;
    pushOptions();
    for (QWidget* w : setupGroup(2))
        w->setVisible(true);

    QPalette pal = canvas->palette();
    pal.setColor(QPalette::Window, *colour::toQColor(colour::Gray));
    canvas->setPalette(pal);
    canvas->unsetCursor();

    for (int g : {3, 4})
        for (QWidget* w : setupGroup(g))
            w->setVisible(true);
    core_.change([this](BoardValues& v) {
        v.advert = true;
        if (Vorgabezeit_sichtbar->isChecked())
            v.preset.visible = true;
    });
    for (int g : {5, 6})
        for (QWidget* w : setupGroup(g))
            w->setVisible(true);
    Dialogs::current().holdNotices(false);
    updateStatusLine();
}

void Tdisplay::HintergrundClick() {
    // Takes effect at the next start of display mode.
    if (auto c = Dialogs::current().chooseColour(this, Anzeigefarbe))
        Anzeigefarbe = *c;
}
