// The display elements of the main window: design look, pictures, text fields.
#include "console/Disp.h"

#include "common/Colour.h"
#include "common/DataFiles.h"
#include "common/Dialogs.h"
#include "common/Fonts.h"
#include "display/DisplayLabel.h"
#include "display/PictureBox.h"

#include <QComboBox>
#include <QStringList>

namespace {

const QString kMoveHint = QStringLiteral("Linke Maustaste: verschieben");

struct ElementDesign {
    const char* name;
    int left, top;
    const char* text;
    DisplayLabel::Alignment alignment;
    int32_t fontColour;
    int32_t colour;      // colour::None: not filled
    bool handCursor;
};

// The single labels; the time digits follow Zeit_Hz (laid out by Zeit_anordnen).
const ElementDesign kLabels[] = {
    {"Rang", 510, 0, "00", DisplayLabel::Right, colour::Yellow, colour::Black, true},
    {"Nummer", 511, 48, "000", DisplayLabel::Right, colour::Yellow, colour::Black, true},
    {"Vorgabezeit", 508, 152, "00.00", DisplayLabel::Center, colour::Yellow, colour::Black, false},
    {"Zeit_Hz", 500, 96, "0", DisplayLabel::Center, colour::Yellow, colour::None, false},
    {"Zeit_He", 500, 96, "0", DisplayLabel::Center, colour::Yellow, colour::None, false},
    {"Zeit_Dp1", 500, 96, ":", DisplayLabel::Center, colour::Yellow, colour::None, false},
    {"Zeit_Mz", 500, 96, "0", DisplayLabel::Center, colour::Yellow, colour::None, false},
    {"Zeit_Me", 500, 96, "0", DisplayLabel::Center, colour::Yellow, colour::None, false},
    {"Zeit_Dp2", 500, 96, ":", DisplayLabel::Center, colour::Yellow, colour::None, false},
    {"Zeit_Sz", 500, 96, "0", DisplayLabel::Center, colour::Yellow, colour::None, false},
    {"Zeit_Se", 500, 96, "0", DisplayLabel::Center, colour::Yellow, colour::None, false},
    {"Zeit_Pt", 500, 96, ".", DisplayLabel::Center, colour::Yellow, colour::None, false},
    {"Zeit_z", 500, 96, "0", DisplayLabel::Center, colour::Yellow, colour::None, false},
    {"Zeit_h", 500, 96, "0", DisplayLabel::Center, colour::Yellow, colour::None, false},
    {"Zeit_t", 500, 96, "0", DisplayLabel::Center, colour::Yellow, colour::None, false},
};

constexpr int kElementHeight = 35;  // character height of the design font, pixels
constexpr int kTextField1Height = 29;
constexpr int kTextFieldTop[3] = {408, 488, 568};
constexpr int kBoardTop[4] = {208, 256, 304, 352};
constexpr QPoint kLogoPos[3] = {{120, 648}, {121, 671}, {440, 664}};

DisplayLabel* makeLabel(QWidget* parent, const QString& name, int left, int top, const QString& text,
                        DisplayLabel::Alignment a, int32_t fontColour, int32_t colour, int height) {
    auto* l = new DisplayLabel(parent);
    l->setObjectName(name);
    l->setDisplayFont(fonts::make(fonts::kDigits, height, true));
    l->setAlignment(a);
    l->setFontColour(fontColour);
    l->setColour(colour);
    // Only the text fields switch between transparent and filled; the others
    // paint their colour unless it is "no colour".
    l->setTransparent(false);
    l->setText(text);
    l->setReferenceText(text);  // the design text defines the place
    l->setPlace(QPoint(left, top));
    l->setToolTip(kMoveHint);
    return l;
}

} // namespace

void Tdisplay::createDisplayElements() {
    for (const ElementDesign& d : kLabels) {
        DisplayLabel* l = makeLabel(canvas, d.name, d.left, d.top, d.text, d.alignment, d.fontColour,
                                    d.colour, kElementHeight);
        if (d.handCursor)
            l->setCursor(Qt::PointingHandCursor);
    }
    Rang = canvas->findChild<DisplayLabel*>("Rang");
    Nummer = canvas->findChild<DisplayLabel*>("Nummer");
    Vorgabezeit = canvas->findChild<DisplayLabel*>("Vorgabezeit");
    DisplayLabel** places[] = {&Zeit_Hz, &Zeit_He, &Zeit_Dp1, &Zeit_Mz, &Zeit_Me, &Zeit_Dp2,
                               &Zeit_Sz, &Zeit_Se, &Zeit_Pt,  &Zeit_z,  &Zeit_h,  &Zeit_t};
    for (size_t i = 0; i < Zeitstellen.size(); ++i) {
        *places[i] = canvas->findChild<DisplayLabel*>(kLabels[3 + i].name);
        Zeitstellen[i] = *places[i];
    }

    for (int i = 0; i < 4; ++i) {
        Board& b = Tafel[i];
        b.Text = makeLabel(canvas, QString("TextA%1").arg(i + 1), 516, kBoardTop[i], QString("Adr%1").arg(i + 1),
                           DisplayLabel::Left, colour::Yellow, colour::Black, kElementHeight);
        b.Text->setCursor(Qt::PointingHandCursor);
    }

    // Shadow labels first, so the main label is drawn above them.
    for (int i = 0; i < 3; ++i) {
        TextField& t = Textfeld[i];
        const int n = i + 1;
        const int height = n == 1 ? kTextField1Height : kElementHeight;
        const QString text = QString("Text%1").arg(n);
        DisplayLabel** shadows[] = {&t.HLO, &t.HLU, &t.HRO, &t.HRU};
        const char* suffix[] = {"HLO", "HLU", "HRO", "HRU"};
        for (int s = 0; s < 4; ++s)
            *shadows[s] = makeLabel(canvas, QString("Textfeld%1_%2").arg(n).arg(suffix[s]), 508, kTextFieldTop[i],
                                    text, DisplayLabel::Center, colour::Black, colour::None, height);
        t.V = makeLabel(canvas, QString("Textfeld%1_V").arg(n), 508, kTextFieldTop[i], text, DisplayLabel::Center,
                        colour::Red, colour::None, height);
        t.V->setTransparent(true);  // "Hintergrund" is not ticked
    }

    for (int i = 0; i < 3; ++i) {
        auto* p = new PictureBox(canvas);
        p->setObjectName(QString("Logo%1").arg(i + 1));
        p->move(kLogoPos[i]);
        p->setToolTip(kMoveHint);
        p->setCursor(Qt::PointingHandCursor);
        Logo[i] = p;
    }

    for (QObject* o : canvas->children())
        if (o->isWidgetType())
            o->installEventFilter(this);
}

void Tdisplay::loadPictures() {
    QStringList unreadable;
    for (int i = 0; i < 3; ++i) {
        const QString file = QString("logo%1.bmp").arg(i + 1);
        if (!Logo[i]->load(datafiles::locate(file)))
            unreadable << file;
    }
    // Reported once, without waiting: start-up goes on with empty pictures.
    if (!unreadable.isEmpty())
        Dialogs::current().notice(this, QStringLiteral("picture"),
                                  "Could not read picture file: " + unreadable.join(", "));
    else
        Dialogs::current().withdrawNotice(QStringLiteral("picture"));
}
