// The setup panel: every control of the main window, made from one table.
#include "console/Disp.h"
#include "serial/PortListBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <string_view>

namespace {

enum class Kind { Check, Button, List, Caption };
enum class Items { None, Suffix, Precision, TimeMode, Offset, Border, Shift, Alignment, Address, From, Count, Ports };

// `name`, `caption` and `hint` may hold %1 for the member number of a family;
// "a|b|c" gives member n its own text.
struct ControlDesign {
    const char* name;
    Kind kind;
    int left, top, width, height;
    const char* caption;
    const char* hint;
    Items items = Items::None;
    bool checked = false;
};

struct Family {
    int count;  // 1: a single control
    int step;   // pixels between members
    std::initializer_list<ControlDesign> controls;
};

constexpr int kBoxW = 157, kBoxH = 17, kBtnW = 75, kBtnH = 25, kListW = 89, kListH = 21, kPosW = 45, kPosH = 13;

const char* const kSelectFont = "Auswahl der angezeigten Schriftart";
const char* const kSelectColour = "Auswahl der Hintergrundfarbe";
const char* const kSuffixHint = "Es kann am Ende ein zus. Zeichen eingestellt werden";
const char* const kPrecisionHint = "Genauigkeit der Darstellung";
const char* const kAddressHint = "Adresse einstellen";

const Family kPanel[] = {
    {1, 0, {
        // rank
        {"CheckBoxR", Kind::Check, 16, 8, kBoxW, kBoxH, "Darstellen des Rangs",
         "Anzeige des Ranges ein und ausschalten  Hotkey: r", Items::None, true},
        {"SchriftartRang", Kind::Button, 176, 8, kBtnW, kBtnH, "Schriftart", kSelectFont},
        {"RangHintergrund", Kind::Button, 256, 8, kBtnW, kBtnH, "Hintergrund", kSelectColour},
        {"RangEnde", Kind::List, 336, 8, kListW, kListH, "", kSuffixHint, Items::Suffix},
        {"XRang", Kind::Caption, 432, 8, kPosW, kPosH, "X:", ""},
        {"YRang", Kind::Caption, 480, 8, kPosW, kPosH, "Y:", ""},
        // start number
        {"CheckBoxN", Kind::Check, 16, 56, kBoxW, kBoxH, "Darstellen der Startnummer",
         "Anzeige der Startnummer ein und ausschalten  Hotkey: n", Items::None, true},
        {"SchriftartNummer", Kind::Button, 176, 56, kBtnW, kBtnH, "Schriftart", kSelectFont},
        {"NummerHintergrund", Kind::Button, 256, 56, kBtnW, kBtnH, "Hintergrund", kSelectColour},
        {"NummerEnde", Kind::List, 336, 56, kListW, kListH, "", kSuffixHint, Items::Suffix},
        {"XNummer", Kind::Caption, 432, 56, kPosW, kPosH, "X:", ""},
        {"YNummer", Kind::Caption, 480, 56, kPosW, kPosH, "Y:", ""},
        {"AdrNummer", Kind::List, 40, 72, 97, kListH, "", kAddressHint, Items::Address},
        {"StrNrSelfCB", Kind::Check, 162, 79, 170, kBoxH, "Frage nach Startnummer",
         "Die Startnummer wird nach dem Zieldurchlauf eingegeben"},
        // time
        {"CheckBoxZ", Kind::Check, 16, 104, kBoxW, kBoxH, "Darstellen der Zeit",
         "Anzeige der Zeit ein und ausschalten  Hotkey: z", Items::None, true},
        {"SchriftartZeit", Kind::Button, 176, 104, kBtnW, kBtnH, "Schriftart", kSelectFont},
        {"ZeitHintergrund", Kind::Button, 256, 104, kBtnW, kBtnH, "Hintergrund", kSelectColour},
        {"Genauigkeit", Kind::List, 336, 104, kListW, kListH, "", kPrecisionHint, Items::Precision},
        {"XZeit", Kind::Caption, 432, 104, kPosW, kPosH, "X:", ""},
        {"YZeit", Kind::Caption, 480, 104, kPosW, kPosH, "Y:", ""},
        {"ZeitPixelversatz", Kind::List, 40, 124, 57, kListH, "",
         "Pixelversatz zwischen den Zahlen und den Zeichen (Doppelpunkt,+Punkt)", Items::Offset},
        {"ZeitDarstellung", Kind::List, 336, 131, kListW, kListH, "", "Anzeigeeinstellung der Zeit", Items::TimeMode},
        {"SecMode", Kind::Check, 160, 136, 120, kBoxH, "Sekundenmodus", "Sekundenmodus: Keine Doppelpunkte sichtbar"},
        // preset time
        {"Vorgabezeit_sichtbar", Kind::Check, 16, 160, kBoxW, kBoxH, "Darstellen der Vorgabezeit",
         "Anzeige der Zeit ein und ausschalten  Hotkey: v", Items::None, true},
        {"SchriftartVorgabezeit", Kind::Button, 176, 160, kBtnW, kBtnH, "Schriftart", kSelectFont},
        {"VorgabezeitHintergrund", Kind::Button, 256, 160, kBtnW, kBtnH, "Hintergrund", kSelectColour},
        {"GenauigkeitVorgabezeit", Kind::List, 336, 160, kListW, kListH, "", kPrecisionHint, Items::Precision},
        {"XVorgabezeit", Kind::Caption, 432, 160, kPosW, kPosH, "X:", ""},
        {"YVorgabezeit", Kind::Caption, 480, 160, kPosW, kPosH, "Y:", ""},
        // pictures
        {"Logo1_sichtbar", Kind::Check, 16, 648, 120, kBoxH, "Logo 1 sichtbar",
         "Anzeige des Logos1 sichtbar Hotkey: F1", Items::None, true},
        {"Logo2_sichtbar", Kind::Check, 17, 671, 120, kBoxH, "Logo 2 sichtbar",
         "Anzeige des Logos2 sichtbar  Hotkey: F2", Items::None, true},
        {"Logo3_sichtbar", Kind::Check, 448, 640, 130, kBoxH, "Werbung automatik",
         "Anzeige der Werbung sichtbar Hotkey: F3", Items::None, true},
        // bottom row
        {"COM", Kind::List, 17, 698, 73, kListH, "", "Schnittstelle auswählen", Items::Ports},
        {"Language", Kind::Button, 97, 698, 81, kBtnH, "Sprache", "Bitte wählen Sie eine Sprache"},
        {"Time", Kind::Button, 185, 698, 97, kBtnH, "Zeiten kontrollieren",
         "Hier kann man die empfangenen Zeiten konrollieren"},
        {"Hintergrund", Kind::Button, 289, 698, 97, kBtnH, "Hintergrundfarbe",
         "Vorsicht: Die Hintergrundfarbe wird erst mir drücken des Startknopfes umgestellt!"},
        {"Start", Kind::Button, 393, 698, 89, kBtnH, "Starten",
         "Anzeige starten und Bedienelemente ausschalten, zurück mit irgeneiner Taste Hotkey: F9"},
        {"End", Kind::Button, 489, 698, kBtnW, kBtnH, "Beenden", "Programm beenden"},
        {"SpracheSchreiben", Kind::Button, 569, 698, 97, kBtnH, "SpracheSchreiben", ""},
        {"PortSettings", Kind::Button, 569, 698, 97, kBtnH, "Port settings…",
         "Baud rate, data bits and stop bits of the port"},
    }},
    // addressed boards, rows at 208, 256, 304, 352
    {4, 48, {
        {"A%1_sichtbar", Kind::Check, 16, 208, kBoxW, kBoxH, "Zeige Adressierte Tafel %1",
         "Anzeige der Zeit ein und ausschalten  Hotkey: a|Anzeige der Zeit ein und ausschalten  Hotkey: B|"
         "Anzeige der Zeit ein und ausschalten  Hotkey: C|Anzeige der Zeit ein und ausschalten  Hotkey: D",
         Items::None, true},
        {"SchriftartA%1", Kind::Button, 176, 208, kBtnW, kBtnH, "Schriftart",
         "Einstellen der Schriftart für die Zeitdarstellung"},
        {"A%1Hintergrund", Kind::Button, 256, 208, kBtnW, kBtnH, "Hintergrund", kSelectColour},
        {"A%1VonZeichen", Kind::List, 336, 208, kListW, kListH, "", "Von welchem Zeichen im Protokoll", Items::From},
        {"XA%1", Kind::Caption, 432, 208, kPosW, kPosH, "X:", ""},
        {"YA%1", Kind::Caption, 480, 208, kPosW, kPosH, "Y:", ""},
        {"Adresse%1", Kind::List, 40, 224, 97, kListH, "", kAddressHint, Items::Address},
        {"A%1AnzZeichen", Kind::List, 336, 232, kListW, kListH, "", "Anzahl der dargestellten Zeichen", Items::Count},
    }},
    // text fields, rows at 408, 488, 568
    {3, 80, {
        {"Textfeld%1_Sichtbar", Kind::Check, 16, 408, kBoxW, kBoxH,
         "Läufername Sichtbar|Nation Sichtbar|Textfeld 3 Sichtbar",
         "Anzeige des Läufernamens sichtbar  Hotkey: 1|Anzeige der Nation sichbar  Hotkey: 2|"
         "Anzeige des Textfeldes sichtbar  Hotkey: 3",
         Items::None, true},
        {"Textfeld%1_Schriftart", Kind::Button, 176, 408, kBtnW, kBtnH, "Schriftart", kSelectFont},
        {"Textfeld%1_Hintergrundfarbe", Kind::Button, 256, 408, kBtnW, kBtnH, "Hintergrund", kSelectColour},
        {"Textfeld%1_Schattenfarbe", Kind::Button, 336, 408, kListW, kBtnH, "Schattenfarbe", "Auswahl der Schattenfarbe"},
        {"XTextfeld%1", Kind::Caption, 432, 408, kPosW, kPosH, "X:", ""},
        {"YTextfeld%1", Kind::Caption, 480, 408, kPosW, kPosH, "Y:", ""},
        {"Textfeld%1_Label4", Kind::Caption, 80, 440, 80, kPosH, "Ausrichtung", ""},
        {"Textfeld%1_Label1", Kind::Caption, 176, 440, 70, kPosH, "Rand", ""},
        {"Textfeld%1_Label2", Kind::Caption, 256, 440, 70, kPosH, "Horizontal", ""},
        {"Textfeld%1_Label3", Kind::Caption, 336, 440, 70, kPosH, "Vertikal", ""},
        {"Textfeld%1_ausrichtung", Kind::List, 80, 456, kListW, kListH, "", "Ausrichtung des Textes", Items::Alignment},
        {"T%1RandPixel", Kind::List, 176, 456, 73, kListH, "", "Größe des Randes", Items::Border},
        {"T%1Pixel_H", Kind::List, 256, 456, 73, kListH, "", "Horizontale verschiebung des Randes", Items::Shift},
        {"T%1Pixel_V", Kind::List, 336, 456, 73, kListH, "", "Vertikale Verschiebung des Randes", Items::Shift},
        {"Textfeld%1_Hintergrund", Kind::Check, 416, 456, 90, kBoxH, "Hintergrund",
         "Ein und ausblenden des Hintergrundes"},
    }},
};

QStringList numbers(int from, int to) {
    QStringList l;
    for (int i = from; i <= to; ++i)
        l << QString::number(i);
    return l;
}

QStringList itemsOf(Items items) {
    switch (items) {
    case Items::None: return {};
    case Items::Suffix:
        return {"Kein zus. Zeichen", "Dezimalpunkt .", "Strichpunkt ;", "Doppelpunkt :", "Rufezeichen !"};
    case Items::Precision: return {"sec", "1/10", "1/100", "1/1000"};
    case Items::TimeMode: return {"Automatisch", "SS", "M:SS", "MM:SS", "H:MM:SS", "HH:MM:SS"};
    case Items::Offset:
    case Items::Shift: return numbers(-10, 10);
    case Items::Border: return numbers(0, 10);
    case Items::Alignment: return {"Linksbündig", "Zentriert", "Rechtsbündig"};
    case Items::Address: return {"Keine", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J"};
    case Items::From: return numbers(1, 22);
    case Items::Count: return numbers(1, 23);
    case Items::Ports: return {"none"};
    }
    return {};
}

// Member n's text of "a|b|c" with %1 replaced by n.
QString textFor(const char* pattern, int n) {
    const QStringList alternatives = QString::fromUtf8(pattern).split('|');
    QString t = alternatives.size() > 1 ? alternatives.value(n - 1) : alternatives.first();
    return t.contains("%1") ? t.arg(n) : t;
}

QWidget* makeControl(QWidget* parent, const ControlDesign& d, int n, int dy) {
    QWidget* w = nullptr;
    switch (d.kind) {
    case Kind::Check: {
        auto* c = new QCheckBox(textFor(d.caption, n), parent);
        c->setChecked(d.checked);
        w = c;
        break;
    }
    case Kind::Button:
        w = new QPushButton(textFor(d.caption, n), parent);
        break;
    case Kind::List: {
        auto* c = d.items == Items::Ports ? new PortListBox(parent) : new QComboBox(parent);
        c->addItems(itemsOf(d.items));
        c->setMaxVisibleItems(24);
        w = c;
        break;
    }
    case Kind::Caption: {
        auto* l = new QLabel(textFor(d.caption, n), parent);
        l->setTextFormat(Qt::PlainText);
        // Read-outs only: a click goes to the element placed under them.
        if (d.caption == std::string_view("X:") || d.caption == std::string_view("Y:"))
            l->setAttribute(Qt::WA_TransparentForMouseEvents);
        w = l;
        break;
    }
    }
    w->setObjectName(textFor(d.name, n));
    w->setGeometry(d.left, d.top + dy, d.width, d.height);
    if (*d.hint)
        w->setToolTip(textFor(d.hint, n));
    return w;
}

} // namespace

void Tdisplay::createSetupControls() {
    for (const Family& f : kPanel)
        for (int n = 1; n <= f.count; ++n)
            for (const ControlDesign& d : f.controls)
                makeControl(canvas, d, n, (n - 1) * f.step);

    auto child = [this]<typename T>(T*& member, const QString& name) {
        member = canvas->findChild<T*>(name, Qt::FindDirectChildrenOnly);
        Q_ASSERT_X(member, "createSetupControls", qPrintable(name));
    };
#define BIND(member) child(member, QStringLiteral(#member))
    BIND(CheckBoxZ); BIND(CheckBoxR); BIND(CheckBoxN); BIND(Vorgabezeit_sichtbar); BIND(SecMode);
    BIND(StrNrSelfCB); BIND(RangEnde); BIND(NummerEnde); BIND(AdrNummer); BIND(Genauigkeit);
    BIND(ZeitDarstellung); BIND(ZeitPixelversatz); BIND(GenauigkeitVorgabezeit); BIND(COM);
    BIND(SchriftartRang); BIND(RangHintergrund); BIND(SchriftartNummer); BIND(NummerHintergrund);
    BIND(SchriftartZeit); BIND(ZeitHintergrund); BIND(SchriftartVorgabezeit); BIND(VorgabezeitHintergrund);
    BIND(Language); BIND(SpracheSchreiben); BIND(Time); BIND(Hintergrund); BIND(Start); BIND(End); BIND(PortSettings);
    BIND(XRang); BIND(YRang); BIND(XNummer); BIND(YNummer); BIND(XZeit); BIND(YZeit);
    BIND(XVorgabezeit); BIND(YVorgabezeit);
#undef BIND
    for (int i = 0; i < 3; ++i) {
        const int n = i + 1;
        TextField& t = Textfeld[i];
        const QString f = QString("Textfeld%1_").arg(n);
        child(t.Sichtbar, f + "Sichtbar");
        child(t.Hintergrund, f + "Hintergrund");
        child(t.Schriftart, f + "Schriftart");
        child(t.Hintergrundfarbe, f + "Hintergrundfarbe");
        child(t.Schattenfarbe, f + "Schattenfarbe");
        child(t.ausrichtung, f + "ausrichtung");
        child(t.Label1, f + "Label1");
        child(t.Label2, f + "Label2");
        child(t.Label3, f + "Label3");
        child(t.Label4, f + "Label4");
        child(t.RandPixel, QString("T%1RandPixel").arg(n));
        child(t.Pixel_H, QString("T%1Pixel_H").arg(n));
        child(t.Pixel_V, QString("T%1Pixel_V").arg(n));
        child(t.X, QString("XTextfeld%1").arg(n));
        child(t.Y, QString("YTextfeld%1").arg(n));
    }
    for (int i = 0; i < 4; ++i) {
        const int n = i + 1;
        Board& b = Tafel[i];
        child(b.sichtbar, QString("A%1_sichtbar").arg(n));
        child(b.Adresse, QString("Adresse%1").arg(n));
        child(b.Schriftart, QString("SchriftartA%1").arg(n));
        child(b.Hintergrund, QString("A%1Hintergrund").arg(n));
        child(b.VonZeichen, QString("A%1VonZeichen").arg(n));
        child(b.AnzZeichen, QString("A%1AnzZeichen").arg(n));
        child(b.X, QString("XA%1").arg(n));
        child(b.Y, QString("YA%1").arg(n));
    }
    for (int i = 0; i < 3; ++i) {
        child(Logo_sichtbar[i], QString("Logo%1_sichtbar").arg(i + 1));
        // The boxes reach into the pictures beside them: a click on a picture
        // must pick it up, wherever on it it lands.
        Logo_sichtbar[i]->lower();
    }
    SpracheSchreiben->setVisible(false);

    // Lists react to the operator's choice only (`activated`); check boxes to
    // every change of state, from code too.
    connect(Genauigkeit, &QComboBox::activated, this, [this] { GenauigkeitChange(); });
    connect(ZeitDarstellung, &QComboBox::activated, this, [this] { ZeitDarstellungChange(); });
    connect(ZeitPixelversatz, &QComboBox::activated, this, [this] { ZeitPixelversatzChange(); });
    connect(COM, &QComboBox::activated, this, [this] { COMChange(); });
    connect(PortSettings, &QPushButton::clicked, this, [this] { PortSettingsClick(); });
    connect(SecMode, &QCheckBox::toggled, this, [this] { SecModeClick(); });
    connect(CheckBoxZ, &QCheckBox::toggled, this, [this] { CheckBoxZClick(); });
    connect(CheckBoxR, &QCheckBox::toggled, this, [this] { CheckBoxRClick(); });
    connect(CheckBoxN, &QCheckBox::toggled, this, [this] { CheckBoxNClick(); });
    connect(Vorgabezeit_sichtbar, &QCheckBox::toggled, this, [this] { Vorgabezeit_sichtbarClick(); });
    connect(RangEnde, &QComboBox::activated, this, [this] { RangEndeChange(); });
    connect(NummerEnde, &QComboBox::activated, this, [this] { NummerEndeChange(); });
    connect(Time, &QPushButton::clicked, this, [this] { TimeClick(); });
    connect(Start, &QPushButton::clicked, this, [this] { StartClick(); });
    connect(Language, &QPushButton::clicked, this, [this] { LanguageClick(); });
    connect(SpracheSchreiben, &QPushButton::clicked, this, [this] { SpracheSchreibenClick(); });
    connect(Hintergrund, &QPushButton::clicked, this, [this] { HintergrundClick(); });
    connect(SchriftartZeit, &QPushButton::clicked, this, [this] { SchriftartZeitClick(); });
    connect(ZeitHintergrund, &QPushButton::clicked, this, [this] { ZeitHintergrundClick(); });
    connect(SchriftartRang, &QPushButton::clicked, this, [this] { SchriftartRangClick(); });
    connect(RangHintergrund, &QPushButton::clicked, this, [this] { RangHintergrundClick(); });
    connect(SchriftartNummer, &QPushButton::clicked, this, [this] { SchriftartNummerClick(); });
    connect(NummerHintergrund, &QPushButton::clicked, this, [this] { NummerHintergrundClick(); });
    connect(SchriftartVorgabezeit, &QPushButton::clicked, this, [this] { SchriftartVorgabezeitClick(); });
    connect(VorgabezeitHintergrund, &QPushButton::clicked, this, [this] { VorgabezeitHintergrundClick(); });
    for (int i = 0; i < 4; ++i) {
        const int n = i + 1;
        connect(Tafel[i].Schriftart, &QPushButton::clicked, this, [this, n] { SchriftartAClick(n); });
        connect(Tafel[i].Hintergrund, &QPushButton::clicked, this, [this, n] { AHintergrundClick(n); });
        connect(Tafel[i].sichtbar, &QCheckBox::toggled, this, [this, n] { A_sichtbarClick(n); });
    }
    for (int i = 0; i < 3; ++i) {
        const int n = i + 1;
        connect(Logo_sichtbar[i], &QCheckBox::toggled, this, [this, n] { Logo_sichtbarClick(n); });
    }
    connect(End, &QPushButton::clicked, this, [this] { EndClick(); });
    for (int i = 0; i < 3; ++i) {
        const int n = i + 1;
        TextField& t = Textfeld[i];
        connect(t.ausrichtung, &QComboBox::activated, this, [this, n] { Textfeld_ausrichtungChange(n); });
        for (QComboBox* list : {t.RandPixel, t.Pixel_H, t.Pixel_V})
            connect(list, &QComboBox::activated, this, [this, n] { RandPixelChange(n); });
        connect(t.Hintergrund, &QCheckBox::toggled, this, [this, n] { Textfeld_HintergrundClick(n); });
        connect(t.Sichtbar, &QCheckBox::toggled, this, [this, n] { Textfeld_SichtbarClick(n); });
        connect(t.Schriftart, &QPushButton::clicked, this, [this, n] { Textfeld_SchriftartClick(n); });
        connect(t.Hintergrundfarbe, &QPushButton::clicked, this, [this, n] { Textfeld_HintergrundfarbeClick(n); });
        connect(t.Schattenfarbe, &QPushButton::clicked, this, [this, n] { Textfeld_SchattenfarbeClick(n); });
    }
}
