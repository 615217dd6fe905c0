// Placing the display elements: a click picks an element up, it follows the
// pointer, a second click puts it down. The X and Y labels show positions.
#include "console/Disp.h"

#include "display/DisplayLabel.h"
#include "display/PictureBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>

namespace {
QString posText(const char* axis, int v) {
    return QString::fromLatin1(axis) + QString::number(v);
}
} // namespace

void Tdisplay::connectMouse() {
    auto bind = [this](auto* element, Movable m) {
        element->onClick = [this, m] { elementClick(m); };
        element->onMouseMove = [this, m](int x, int y) { elementMouseMove(m, x, y); };
    };
    for (DisplayLabel* l : Zeitstellen)
        bind(l, MoveTime);
    bind(Rang, MoveRang);
    bind(Nummer, MoveNummer);
    bind(Vorgabezeit, MoveVorgabezeit);
    for (int i = 0; i < 3; ++i)
        bind(Textfeld[size_t(i)].V, Movable(MoveText1 + i));
    for (int i = 0; i < 4; ++i)
        bind(Tafel[size_t(i)].Text, Movable(MoveA1 + i));
    for (int i = 0; i < 3; ++i)
        bind(Logo[size_t(i)], Movable(MoveLogo1 + i));
}

QWidget* Tdisplay::movableWidget(Movable m) const {
    switch (m) {
    case MoveTime: return Zeit_Hz;
    case MoveRang: return Rang;
    case MoveNummer: return Nummer;
    case MoveVorgabezeit: return Vorgabezeit;
    case MoveText1: case MoveText2: case MoveText3: return Textfeld[size_t(m - MoveText1)].V;
    case MoveA1: case MoveA2: case MoveA3: case MoveA4: return Tafel[size_t(m - MoveA1)].Text;
    case MoveLogo1: case MoveLogo2: case MoveLogo3: return Logo[size_t(m - MoveLogo1)];
    case kMovables: break;
    }
    return nullptr;
}

void Tdisplay::elementClick(Movable m) {
    bool& on = Verschiebemodus[size_t(m)];
    on = !on;
    if (m != MoveTime)
        return;
    if (on) {
        // Every place shows while the time is carried, so it can be aimed.
        core_.change([this](BoardValues& v) {
            for (int p : {kHz, kHe, kMz, kMe})
                v.time[size_t(p)].visible = true;
            if (!SecMode->isChecked())
                v.time[kDp1].visible = v.time[kDp2].visible = true;
        });
    } else {
        ZeitDarstellungChange();
    }
}

void Tdisplay::placeElement(Movable m, int left, int top) {
    QWidget* w = movableWidget(m);
    if (m == MoveLogo1 && !(left + w->width() < width() && top + w->height() < height()))
        return;  // the first picture stays inside the window
    w->move(left, top);
    switch (m) {
    case MoveTime: Zeit_anordnen(); break;
    case MoveText1: case MoveText2: case MoveText3: RandPixelChange(1 + (m - MoveText1)); break;
    default: break;
    }
}

void Tdisplay::elementMouseMove(Movable m, int x, int y) {
    if (!Verschiebemodus[size_t(m)])
        return;
    // The time group moves by the pointer offset in whichever of its labels reports it.
    QWidget* w = movableWidget(m);
    placeElement(m, w->x() + x, w->y() + y);
    Positionen_anzeigen();
}

void Tdisplay::FormMouseMove(int x, int y) {
    static const Movable order[] = {MoveTime, MoveNummer, MoveRang, MoveText1, MoveText2, MoveText3, MoveLogo1,
                                    MoveLogo2, MoveLogo3, MoveVorgabezeit, MoveA1, MoveA2, MoveA3, MoveA4};
    for (Movable m : order)
        if (Verschiebemodus[size_t(m)])
            placeElement(m, x, y);
    Positionen_anzeigen();
}

void Tdisplay::Positionen_anzeigen() {
    // Canvas coordinates: positions in the whole scrollable window. The
    // designed place, as disp.ini stores it.
    auto show = [](QLabel* xl, QLabel* yl, const QWidget* w) {
        const QPoint at = designedPlace(w);
        const QString xs = posText("X:", at.x()), ys = posText("Y:", at.y());
        if (xl->text() != xs)
            xl->setText(xs);
        if (yl->text() != ys)
            yl->setText(ys);
    };
    show(XRang, YRang, Rang);
    show(XNummer, YNummer, Nummer);
    show(XZeit, YZeit, Zeit_Hz);
    show(XVorgabezeit, YVorgabezeit, Vorgabezeit);
    for (TextField& t : Textfeld)
        show(t.X, t.Y, t.V);
    for (Board& b : Tafel)
        show(b.X, b.Y, b.Text);
}
