#include "settings/SettingsKeys.h"

#include "common/CodePage.h"
#include "common/Fonts.h"
#include "common/WindowFrame.h"
#include "console/Disp.h"
#include "display/DisplayLabel.h"
#include "display/PictureBox.h"
#include "input/InputUrl.h"
#include "serial/WComThread.h"

#include <QCheckBox>
#include <algorithm>
#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>

namespace settingskeys {
namespace {

// Bounds of what the file may ask for: the smallest window that still shows
// a part of the panel to scroll, and places far beyond any screen but well
// inside what the window system takes.
constexpr int kMinWindowWidth = 320, kMinWindowHeight = 240;
constexpr int kMaxCoordinate = 16000;

QByteArray num(int v) { return QByteArray::number(v); }

// ---- window geometry --------------------------------------------------------

// 0 height, 1 width, 2 left, 3 top: the window's outer bounds.
template <int G>
void applyGeometry(Tdisplay& d, int v, const QByteArray&) {
    // A hostile or broken value must not leave a window too small to use or
    // too large for the window system: sizes and places are kept in bounds
    // (the start-up then brings the window onto a screen).
    v = G <= 1 ? std::clamp(v, G == 0 ? kMinWindowHeight : kMinWindowWidth, kMaxCoordinate)
               : std::clamp(v, -kMaxCoordinate, kMaxCoordinate);
    const QRect outer = windowframe::outerBounds(d);
    const int dw = outer.width() - d.width(), dh = outer.height() - d.height();
    switch (G) {
    case 0: d.resize(d.width(), v - dh); break;
    case 1: d.resize(v - dw, d.height()); break;
    case 2: windowframe::moveOuterTo(d, QPoint(v, outer.y())); break;
    case 3:
        windowframe::moveOuterTo(d, QPoint(outer.x(), v));
        d.scroller->horizontalScrollBar()->setValue(0);
        d.scroller->verticalScrollBar()->setValue(0);
        break;
    }
}
template <int G>
QByteArray storeGeometry(const Tdisplay& d) {
    // In display mode the setup placement is kept, never the full screen.
    const QRect frame = d.Anzeigemodus ? QRect(d.Fensterlage.left, d.Fensterlage.top, d.Fensterlage.width,
                                               d.Fensterlage.height)
                                       : windowframe::outerBounds(d);
    return num(G == 0 ? frame.height() : G == 1 ? frame.width() : G == 2 ? frame.x() : frame.y());
}

// ---- check boxes ------------------------------------------------------------

enum Box { bRank, bNumber, bTime, bGivenTime, bText1, bText2, bText3, bLogo1, bLogo2, bLogo3,
           bBack1, bBack2, bBack3, bA1, bA2, bA3, bA4, bSecMode, bStrNrSelf };

QCheckBox* box(const Tdisplay& d, int b) {
    switch (b) {
    case bRank: return d.CheckBoxR;
    case bNumber: return d.CheckBoxN;
    case bTime: return d.CheckBoxZ;
    case bGivenTime: return d.Vorgabezeit_sichtbar;
    case bText1: case bText2: case bText3: return d.Textfeld[size_t(b - bText1)].Sichtbar;
    case bLogo1: case bLogo2: case bLogo3: return d.Logo_sichtbar[size_t(b - bLogo1)];
    case bBack1: case bBack2: case bBack3: return d.Textfeld[size_t(b - bBack1)].Hintergrund;
    case bA1: case bA2: case bA3: case bA4: return d.Tafel[size_t(b - bA1)].sichtbar;
    case bSecMode: return d.SecMode;
    default: return d.StrNrSelfCB;
    }
}
// Setting the state runs the box's click action when the state changes.
template <int B>
void applyBox(Tdisplay& d, int v, const QByteArray&) { box(d, B)->setChecked(v != 0); }
template <int B>
QByteArray storeBox(const Tdisplay& d) { return box(d, B)->isChecked() ? "1" : "0"; }

// ---- selection lists --------------------------------------------------------

enum List { lRankEnd, lNumberEnd, lPrecision, lTimeMode, lOffset, lPrecisionGiven,
            lAlign1, lAlign2, lAlign3, lBorder1, lBorder2, lBorder3, lShiftH1, lShiftH2, lShiftH3,
            lShiftV1, lShiftV2, lShiftV3, lAddress1, lAddress2, lAddress3, lAddress4,
            lFrom1, lFrom2, lFrom3, lFrom4, lCount1, lCount2, lCount3, lCount4, lNumberAddress };

QComboBox* list(const Tdisplay& d, int l) {
    switch (l) {
    case lRankEnd: return d.RangEnde;
    case lNumberEnd: return d.NummerEnde;
    case lPrecision: return d.Genauigkeit;
    case lTimeMode: return d.ZeitDarstellung;
    case lOffset: return d.ZeitPixelversatz;
    case lPrecisionGiven: return d.GenauigkeitVorgabezeit;
    case lAlign1: case lAlign2: case lAlign3: return d.Textfeld[size_t(l - lAlign1)].ausrichtung;
    case lBorder1: case lBorder2: case lBorder3: return d.Textfeld[size_t(l - lBorder1)].RandPixel;
    case lShiftH1: case lShiftH2: case lShiftH3: return d.Textfeld[size_t(l - lShiftH1)].Pixel_H;
    case lShiftV1: case lShiftV2: case lShiftV3: return d.Textfeld[size_t(l - lShiftV1)].Pixel_V;
    case lAddress1: case lAddress2: case lAddress3: case lAddress4: return d.Tafel[size_t(l - lAddress1)].Adresse;
    case lFrom1: case lFrom2: case lFrom3: case lFrom4: return d.Tafel[size_t(l - lFrom1)].VonZeichen;
    case lCount1: case lCount2: case lCount3: case lCount4: return d.Tafel[size_t(l - lCount1)].AnzZeichen;
    default: return d.AdrNummer;
    }
}
// The entry is selected without its change action; an index outside the
// list leaves no selection (written back as -1).
template <int L>
void applyList(Tdisplay& d, int v, const QByteArray&) {
    QComboBox* c = list(d, L);
    c->setCurrentIndex(v >= 0 && v < c->count() ? v : -1);
}
template <int L>
QByteArray storeList(const Tdisplay& d) { return num(list(d, L)->currentIndex()); }

// ---- display elements -------------------------------------------------------

enum Element { eRank, eNumber, eTime, eGivenTime, eText1, eText2, eText3, eLogo1, eLogo2, eLogo3,
               eA1, eA2, eA3, eA4 };

QWidget* element(const Tdisplay& d, int e) {
    switch (e) {
    case eRank: return d.Rang;
    case eNumber: return d.Nummer;
    case eTime: return d.Zeit_Hz;  // the other time labels are laid out from it
    case eGivenTime: return d.Vorgabezeit;
    case eText1: case eText2: case eText3: return d.Textfeld[size_t(e - eText1)].V;
    case eLogo1: case eLogo2: case eLogo3: return d.Logo[size_t(e - eLogo1)];
    default: return d.Tafel[size_t(e - eA1)].Text;
    }
}
// The labels an element's colour and font go to: all twelve for the time.
QList<DisplayLabel*> labels(const Tdisplay& d, int e) {
    if (e == eTime)
        return QList<DisplayLabel*>(d.Zeitstellen.begin(), d.Zeitstellen.end());
    return {static_cast<DisplayLabel*>(element(d, e))};
}
DisplayLabel* label(const Tdisplay& d, int e) { return static_cast<DisplayLabel*>(element(d, e)); }

// The designed place, never where a label stands for the text it shows now;
// inside the panel, where scrolling reaches it.
int elementCoordinate(int v) { return std::clamp(v, 0, kMaxCoordinate); }
template <int E>
void applyX(Tdisplay& d, int v, const QByteArray&) {
    setDesignedPlace(element(d, E), QPoint(elementCoordinate(v), designedPlace(element(d, E)).y()));
}
template <int E>
void applyY(Tdisplay& d, int v, const QByteArray&) {
    setDesignedPlace(element(d, E), QPoint(designedPlace(element(d, E)).x(), elementCoordinate(v)));
}
template <int E>
QByteArray storeX(const Tdisplay& d) { return num(designedPlace(element(d, E)).x()); }
template <int E>
QByteArray storeY(const Tdisplay& d) { return num(designedPlace(element(d, E)).y()); }

template <int E>
void applyColour(Tdisplay& d, int v, const QByteArray&) {
    for (DisplayLabel* l : labels(d, E))
        l->setColour(v);
}
template <int E>
QByteArray storeColour(const Tdisplay& d) { return num(label(d, E)->colour()); }

template <int E>
void applyFontName(Tdisplay& d, int, const QByteArray& text) {
    for (DisplayLabel* l : labels(d, E)) {
        QFont f = l->font();
        // Kept as written, an empty name too, so the next save writes it back.
        f.setFamily(codepage::toUnicode(text));
        l->setDisplayFont(f);
    }
}
template <int E>
QByteArray storeFontName(const Tdisplay& d) { return codepage::fromUnicode(label(d, E)->font().family()); }

template <int E>
void applyFontColour(Tdisplay& d, int v, const QByteArray&) {
    for (DisplayLabel* l : labels(d, E))
        l->setFontColour(v);
}
template <int E>
QByteArray storeFontColour(const Tdisplay& d) { return num(label(d, E)->fontColour()); }

// The designed size of an element's font, in points.
constexpr int designSize(int e) { return e == eText1 ? 22 : 26; }

template <int E>
void applyFontSize(Tdisplay& d, int v, const QByteArray&) {
    // No size, a negative or a malformed one (0) would give an invisible
    // element: the design size stands instead.
    if (v <= 0)
        v = designSize(E);
    for (DisplayLabel* l : labels(d, E)) {
        QFont f = l->font();
        fonts::setPointSize(f, std::min(v, 1000));  // a hostile size must not ask for a huge font
        l->setDisplayFont(f);
    }
}
template <int E>
QByteArray storeFontSize(const Tdisplay& d) { return num(fonts::pointSize(label(d, E)->font())); }

// The shadow colour of a text field: the font colour of its four shadow
// labels. The main label's background has a key of its own (Text<n>Color);
// taking the shadow colour there would hide a text drawn in that colour.
template <int N>
void applyShadow(Tdisplay& d, int v, const QByteArray&) {
    for (DisplayLabel* s : d.Textfeld[N - 1].shadows())
        s->setFontColour(v);
}
template <int N>
QByteArray storeShadow(const Tdisplay& d) { return num(d.Textfeld[N - 1].HRU->fontColour()); }

void applyDisplayColour(Tdisplay& d, int v, const QByteArray&) { d.Anzeigefarbe = v; }
QByteArray storeDisplayColour(const Tdisplay& d) { return num(d.Anzeigefarbe); }

void applyLanguage(Tdisplay& d, int, const QByteArray& text) {
    d.Sprachdatei = text;
    d.Neuladen = true;
}
QByteArray storeLanguage(const Tdisplay& d) { return d.Sprachdatei; }

void applyWholeSureName(Tdisplay& d, int v, const QByteArray&) { d.WholeSureName = v != 0; }
QByteArray storeWholeSureName(const Tdisplay& d) { return d.WholeSureName ? "1" : "0"; }

// ---- web board --------------------------------------------------------------

void applyWebPort(Tdisplay& d, int v, const QByteArray&) { d.WebPort = v >= 0 && v <= 65535 ? v : 8080; }
QByteArray storeWebPort(const Tdisplay& d) { return num(d.WebPort); }

void applyWebListen(Tdisplay& d, int, const QByteArray& text) {
    d.WebListen = text.trimmed().isEmpty() ? QStringLiteral("127.0.0.1") : QString::fromLatin1(text.trimmed());
}
QByteArray storeWebListen(const Tdisplay& d) { return d.WebListen.toLatin1(); }

// ---- MQTT broker ------------------------------------------------------------
// UTF-8; user and password as they stand (a blank may belong to them).

void applyMqttHost(Tdisplay& d, int, const QByteArray& text) { d.MqttHost = QString::fromUtf8(text.trimmed()); }
QByteArray storeMqttHost(const Tdisplay& d) { return d.MqttHost.toUtf8(); }
void applyMqttPort(Tdisplay& d, int v, const QByteArray&) { d.MqttPort = v >= 1 && v <= 65535 ? v : 1883; }
QByteArray storeMqttPort(const Tdisplay& d) { return num(d.MqttPort); }
void applyMqttTopic(Tdisplay& d, int, const QByteArray& text) {
    const QByteArray t = text.trimmed();
    d.MqttTopic = t.isEmpty() ? QStringLiteral("timedisplay") : QString::fromUtf8(t);
}
QByteArray storeMqttTopic(const Tdisplay& d) { return d.MqttTopic.toUtf8(); }
void applyMqttUser(Tdisplay& d, int, const QByteArray& text) { d.MqttUser = QString::fromUtf8(text); }
QByteArray storeMqttUser(const Tdisplay& d) { return d.MqttUser.toUtf8(); }
void applyMqttPassword(Tdisplay& d, int, const QByteArray& text) { d.MqttPassword = QString::fromUtf8(text); }
QByteArray storeMqttPassword(const Tdisplay& d) { return d.MqttPassword.toUtf8(); }

// ---- serial line ----------------------------------------------------------

// A port number, or a device server as tcp://host:port.
void applyCom(Tdisplay& d, int n, const QByteArray& text) {
    if (inputurl::isTcp(QString::fromUtf8(text))) {
        d.selectStoredUrl(text.trimmed());
        return;
    }
    if (n <= 0)
        return;
    d.selectStoredPort(n, text);
}
QByteArray storeCom(const Tdisplay& d) {
    if (d.COM->currentIndex() <= 0 || d.COM->currentText() == Tdisplay::networkDeviceItem())
        return "0";
    if (inputurl::isTcp(d.COM->currentText()))
        return d.COM->currentText().toUtf8();
    return d.COM->currentText().mid(3).toLatin1();
}

void applyBaud(Tdisplay& d, int n, const QByteArray&) { d.ComThread1->setBaud(n); }
QByteArray storeBaud(const Tdisplay& d) { return num(d.ComThread1->Baud()); }

void applyDataBits(Tdisplay& d, int n, const QByteArray&) { d.ComThread1->setDataBitsCount(n == 7 ? 7 : 8); }
QByteArray storeDataBits(const Tdisplay& d) { return d.ComThread1->DataBitsCount() == 7 ? "7" : "8"; }

void applyStopBits(Tdisplay& d, int n, const QByteArray&) {
    d.ComThread1->SetStopBits(n == 2 ? comcode::StopTwo : comcode::StopOne);
}
QByteArray storeStopBits(const Tdisplay& d) { return d.ComThread1->StopBits() == comcode::StopTwo ? "2" : "1"; }

// ---- the table: every key in the order it is written ------------------------

const Row kRows[] = {
    {"DisplayHeight", Kind::Number, "765", 0, applyGeometry<0>, storeGeometry<0>},
    {"DisplayWidth", Kind::Number, "803", 0, applyGeometry<1>, storeGeometry<1>},
    {"DisplayLeft", Kind::Number, "266", 0, applyGeometry<2>, storeGeometry<2>},
    {"DisplayTop", Kind::Number, "171", 0, applyGeometry<3>, storeGeometry<3>},
    {"DisplayRank", Kind::Switch, "1", 0, applyBox<bRank>, storeBox<bRank>},
    {"DisplayNumber", Kind::Switch, "1", 0, applyBox<bNumber>, storeBox<bNumber>},
    {"DisplayTime", Kind::Switch, "1", 0, applyBox<bTime>, storeBox<bTime>},
    {"DisplayGivenTime", Kind::Switch, "1", 0, applyBox<bGivenTime>, storeBox<bGivenTime>},
    {"DisplayText1", Kind::Switch, "1", 0, applyBox<bText1>, storeBox<bText1>},
    {"DisplayText2", Kind::Switch, "1", 0, applyBox<bText2>, storeBox<bText2>},
    {"DisplayText3", Kind::Switch, "1", 0, applyBox<bText3>, storeBox<bText3>},
    {"DisplayLogo1", Kind::Switch, "1", 0, applyBox<bLogo1>, storeBox<bLogo1>},
    {"DisplayLogo2", Kind::Switch, "1", 0, applyBox<bLogo2>, storeBox<bLogo2>},
    {"DisplayLogo3", Kind::Switch, "1", 0, applyBox<bLogo3>, storeBox<bLogo3>},
    {"DisplayBkgrndTxt1", Kind::Switch, "0", 0, applyBox<bBack1>, storeBox<bBack1>},
    {"DisplayBkgrndTxt2", Kind::Switch, "0", 0, applyBox<bBack2>, storeBox<bBack2>},
    {"DisplayBkgrndTxt3", Kind::Switch, "0", 0, applyBox<bBack3>, storeBox<bBack3>},
    {"RankEnd", Kind::Number, "0", 0, applyList<lRankEnd>, storeList<lRankEnd>},
    {"NumberEnd", Kind::Number, "0", 0, applyList<lNumberEnd>, storeList<lNumberEnd>},
    {"PrecisionTime", Kind::Number, "2", 0, applyList<lPrecision>, storeList<lPrecision>},
    {"TimeMode", Kind::Number, "2", 0, applyList<lTimeMode>, storeList<lTimeMode>},
    {"TimeCharDistance", Kind::Number, "10", 0, applyList<lOffset>, storeList<lOffset>},
    {"PrecisionGivenTime", Kind::Number, "2", 0, applyList<lPrecisionGiven>, storeList<lPrecisionGiven>},
    {"AlignmentText1", Kind::Number, "0", 0, applyList<lAlign1>, storeList<lAlign1>},
    {"BorderText1", Kind::Number, "0", 0, applyList<lBorder1>, storeList<lBorder1>},
    {"PixelHText1", Kind::Number, "10", 0, applyList<lShiftH1>, storeList<lShiftH1>},
    {"PixelVText1", Kind::Number, "10", 0, applyList<lShiftV1>, storeList<lShiftV1>},
    {"AlignmentText2", Kind::Number, "0", 0, applyList<lAlign2>, storeList<lAlign2>},
    {"BorderText2", Kind::Number, "0", 0, applyList<lBorder2>, storeList<lBorder2>},
    {"PixelHText2", Kind::Number, "10", 0, applyList<lShiftH2>, storeList<lShiftH2>},
    {"PixelVText2", Kind::Number, "10", 0, applyList<lShiftV2>, storeList<lShiftV2>},
    {"AlignmentText3", Kind::Number, "0", 0, applyList<lAlign3>, storeList<lAlign3>},
    {"BorderText3", Kind::Number, "0", 0, applyList<lBorder3>, storeList<lBorder3>},
    {"PixelHText3", Kind::Number, "10", 0, applyList<lShiftH3>, storeList<lShiftH3>},
    {"PixelVText3", Kind::Number, "10", 0, applyList<lShiftV3>, storeList<lShiftV3>},
    {"COM", Kind::Number, "0", 0, applyCom, storeCom},
    {"BAUD", Kind::Number, "2400", 2400, applyBaud, storeBaud},
    {"DATABITS", Kind::Number, "8", 8, applyDataBits, storeDataBits},
    {"STOPBITS", Kind::Number, "1", 1, applyStopBits, storeStopBits},
    {"RankX", Kind::Number, "510", 0, applyX<eRank>, storeX<eRank>},
    {"RankY", Kind::Number, "0", 0, applyY<eRank>, storeY<eRank>},
    {"NumberX", Kind::Number, "511", 0, applyX<eNumber>, storeX<eNumber>},
    {"NumberY", Kind::Number, "48", 0, applyY<eNumber>, storeY<eNumber>},
    {"TimeX", Kind::Number, "500", 0, applyX<eTime>, storeX<eTime>},
    {"TimeY", Kind::Number, "96", 0, applyY<eTime>, storeY<eTime>},
    {"GivenTimeX", Kind::Number, "508", 0, applyX<eGivenTime>, storeX<eGivenTime>},
    {"GivenTimeY", Kind::Number, "152", 0, applyY<eGivenTime>, storeY<eGivenTime>},
    {"Text1X", Kind::Number, "508", 0, applyX<eText1>, storeX<eText1>},
    {"Text1Y", Kind::Number, "408", 0, applyY<eText1>, storeY<eText1>},
    {"Text2X", Kind::Number, "508", 0, applyX<eText2>, storeX<eText2>},
    {"Text2Y", Kind::Number, "488", 0, applyY<eText2>, storeY<eText2>},
    {"Text3X", Kind::Number, "508", 0, applyX<eText3>, storeX<eText3>},
    {"Text3Y", Kind::Number, "568", 0, applyY<eText3>, storeY<eText3>},
    {"Logo1X", Kind::Number, "120", 0, applyX<eLogo1>, storeX<eLogo1>},
    {"Logo1Y", Kind::Number, "648", 0, applyY<eLogo1>, storeY<eLogo1>},
    {"Logo2X", Kind::Number, "121", 0, applyX<eLogo2>, storeX<eLogo2>},
    {"Logo2Y", Kind::Number, "671", 0, applyY<eLogo2>, storeY<eLogo2>},
    {"Logo3X", Kind::Number, "440", 0, applyX<eLogo3>, storeX<eLogo3>},
    {"Logo3Y", Kind::Number, "664", 0, applyY<eLogo3>, storeY<eLogo3>},
    {"RankColor", Kind::Number, "0", 0, applyColour<eRank>, storeColour<eRank>},
    {"NumberColor", Kind::Number, "0", 0, applyColour<eNumber>, storeColour<eNumber>},
    {"TimeColor", Kind::Number, "536870911", 0, applyColour<eTime>, storeColour<eTime>},
    {"GivenTimeColor", Kind::Number, "0", 0, applyColour<eGivenTime>, storeColour<eGivenTime>},
    {"Text1Color", Kind::Number, "536870911", 0, applyColour<eText1>, storeColour<eText1>},
    {"Text1BKColor", Kind::Number, nullptr, 0, applyShadow<1>, storeShadow<1>},
    {"Text2Color", Kind::Number, "536870911", 0, applyColour<eText2>, storeColour<eText2>},
    {"Text2BKColor", Kind::Number, nullptr, 0, applyShadow<2>, storeShadow<2>},
    {"Text3Color", Kind::Number, "536870911", 0, applyColour<eText3>, storeColour<eText3>},
    {"Text3BKColor", Kind::Number, nullptr, 0, applyShadow<3>, storeShadow<3>},
    {"RankFontName", Kind::Text, "Monospac821 BT", 0, applyFontName<eRank>, storeFontName<eRank>},
    {"RankFontColor", Kind::Number, "65535", 0, applyFontColour<eRank>, storeFontColour<eRank>},
    {"RankFontSize", Kind::Number, "26", 0, applyFontSize<eRank>, storeFontSize<eRank>},
    {"NumberFontName", Kind::Text, "Monospac821 BT", 0, applyFontName<eNumber>, storeFontName<eNumber>},
    {"NumberFontColor", Kind::Number, "65535", 0, applyFontColour<eNumber>, storeFontColour<eNumber>},
    {"NumberFontSize", Kind::Number, "26", 0, applyFontSize<eNumber>, storeFontSize<eNumber>},
    {"TimeFontName", Kind::Text, "Monospac821 BT", 0, applyFontName<eTime>, storeFontName<eTime>},
    {"TimeFontColor", Kind::Number, "65535", 0, applyFontColour<eTime>, storeFontColour<eTime>},
    {"TimeFontSize", Kind::Number, "26", 0, applyFontSize<eTime>, storeFontSize<eTime>},
    {"GivenTimeFontName", Kind::Text, "Monospac821 BT", 0, applyFontName<eGivenTime>, storeFontName<eGivenTime>},
    {"GivenTimeFontColor", Kind::Number, "65535", 0, applyFontColour<eGivenTime>, storeFontColour<eGivenTime>},
    {"GivenTimeFontSize", Kind::Number, "26", 0, applyFontSize<eGivenTime>, storeFontSize<eGivenTime>},
    {"Text1FontName", Kind::Text, "Monospac821 BT", 0, applyFontName<eText1>, storeFontName<eText1>},
    {"Text1FontColor", Kind::Number, "255", 0, applyFontColour<eText1>, storeFontColour<eText1>},
    {"Text1FontSize", Kind::Number, "22", 0, applyFontSize<eText1>, storeFontSize<eText1>},
    {"Text2FontName", Kind::Text, "Monospac821 BT", 0, applyFontName<eText2>, storeFontName<eText2>},
    {"Text2FontColor", Kind::Number, "255", 0, applyFontColour<eText2>, storeFontColour<eText2>},
    {"Text2FontSize", Kind::Number, "26", 0, applyFontSize<eText2>, storeFontSize<eText2>},
    {"Text3FontName", Kind::Text, "Monospac821 BT", 0, applyFontName<eText3>, storeFontName<eText3>},
    {"Text3FontColor", Kind::Number, "255", 0, applyFontColour<eText3>, storeFontColour<eText3>},
    {"Text3FontSize", Kind::Number, "26", 0, applyFontSize<eText3>, storeFontSize<eText3>},
    {"DisplayBKColor", Kind::Number, "0", 0, applyDisplayColour, storeDisplayColour},
    {"DisplayTextA1", Kind::Switch, "1", 0, applyBox<bA1>, storeBox<bA1>},
    {"TextA1Color", Kind::Number, "0", 0, applyColour<eA1>, storeColour<eA1>},
    {"TextA1FontName", Kind::Text, "Monospac821 BT", 0, applyFontName<eA1>, storeFontName<eA1>},
    {"TextA1FontColor", Kind::Number, "65535", 0, applyFontColour<eA1>, storeFontColour<eA1>},
    {"TextA1FontSize", Kind::Number, "26", 0, applyFontSize<eA1>, storeFontSize<eA1>},
    {"TextA1Address", Kind::Number, "1", 0, applyList<lAddress1>, storeList<lAddress1>},
    {"TextA1From", Kind::Number, "0", 0, applyList<lFrom1>, storeList<lFrom1>},
    {"TextA1Count", Kind::Number, "17", 0, applyList<lCount1>, storeList<lCount1>},
    {"TextA1X", Kind::Number, "516", 0, applyX<eA1>, storeX<eA1>},
    {"TextA1Y", Kind::Number, "208", 0, applyY<eA1>, storeY<eA1>},
    {"DisplayTextA2", Kind::Switch, "1", 0, applyBox<bA2>, storeBox<bA2>},
    {"TextA2Color", Kind::Number, "0", 0, applyColour<eA2>, storeColour<eA2>},
    {"TextA2FontName", Kind::Text, "Monospac821 BT", 0, applyFontName<eA2>, storeFontName<eA2>},
    {"TextA2FontColor", Kind::Number, "65535", 0, applyFontColour<eA2>, storeFontColour<eA2>},
    {"TextA2FontSize", Kind::Number, "26", 0, applyFontSize<eA2>, storeFontSize<eA2>},
    {"TextA2Address", Kind::Number, "1", 0, applyList<lAddress2>, storeList<lAddress2>},
    {"TextA2From", Kind::Number, "0", 0, applyList<lFrom2>, storeList<lFrom2>},
    {"TextA2Count", Kind::Number, "17", 0, applyList<lCount2>, storeList<lCount2>},
    {"TextA2X", Kind::Number, "516", 0, applyX<eA2>, storeX<eA2>},
    {"TextA2Y", Kind::Number, "256", 0, applyY<eA2>, storeY<eA2>},
    {"DisplayTextA3", Kind::Switch, "1", 0, applyBox<bA3>, storeBox<bA3>},
    {"TextA3Color", Kind::Number, "0", 0, applyColour<eA3>, storeColour<eA3>},
    {"TextA3FontName", Kind::Text, "Monospac821 BT", 0, applyFontName<eA3>, storeFontName<eA3>},
    {"TextA3FontColor", Kind::Number, "65535", 0, applyFontColour<eA3>, storeFontColour<eA3>},
    {"TextA3FontSize", Kind::Number, "26", 0, applyFontSize<eA3>, storeFontSize<eA3>},
    {"TextA3Address", Kind::Number, "1", 0, applyList<lAddress3>, storeList<lAddress3>},
    {"TextA3From", Kind::Number, "0", 0, applyList<lFrom3>, storeList<lFrom3>},
    {"TextA3Count", Kind::Number, "17", 0, applyList<lCount3>, storeList<lCount3>},
    {"TextA3X", Kind::Number, "516", 0, applyX<eA3>, storeX<eA3>},
    {"TextA3Y", Kind::Number, "304", 0, applyY<eA3>, storeY<eA3>},
    {"DisplayTextA4", Kind::Switch, "1", 0, applyBox<bA4>, storeBox<bA4>},
    {"TextA4Color", Kind::Number, "0", 0, applyColour<eA4>, storeColour<eA4>},
    {"TextA4FontName", Kind::Text, "Monospac821 BT", 0, applyFontName<eA4>, storeFontName<eA4>},
    {"TextA4FontColor", Kind::Number, "65535", 0, applyFontColour<eA4>, storeFontColour<eA4>},
    {"TextA4FontSize", Kind::Number, "26", 0, applyFontSize<eA4>, storeFontSize<eA4>},
    {"TextA4Address", Kind::Number, "1", 0, applyList<lAddress4>, storeList<lAddress4>},
    {"TextA4From", Kind::Number, "0", 0, applyList<lFrom4>, storeList<lFrom4>},
    {"TextA4Count", Kind::Number, "17", 0, applyList<lCount4>, storeList<lCount4>},
    {"TextA4X", Kind::Number, "516", 0, applyX<eA4>, storeX<eA4>},
    {"TextA4Y", Kind::Number, "352", 0, applyY<eA4>, storeY<eA4>},
    {"Language", Kind::Text, "english.lng", 0, applyLanguage, storeLanguage},
    {"SecMode", Kind::Switch, "0", 0, applyBox<bSecMode>, storeBox<bSecMode>},
    {"NumberAddress", Kind::Number, "0", 0, applyList<lNumberAddress>, storeList<lNumberAddress>},
    {"WholeSureName", Kind::Number, "0", 0, applyWholeSureName, storeWholeSureName},
    {"StrNrSelf", Kind::Switch, "0", 0, applyBox<bStrNrSelf>, storeBox<bStrNrSelf>},
    // Later additions: readers that look up only the keys above are not disturbed.
    {"WebPort", Kind::Number, "8080", 8080, applyWebPort, storeWebPort},
    {"WebListen", Kind::Text, "127.0.0.1", 0, applyWebListen, storeWebListen},
    {"MqttHost", Kind::Text, "", 0, applyMqttHost, storeMqttHost},
    {"MqttPort", Kind::Number, "1883", 1883, applyMqttPort, storeMqttPort},
    {"MqttTopic", Kind::Text, "timedisplay", 0, applyMqttTopic, storeMqttTopic},
    {"MqttUser", Kind::Text, "", 0, applyMqttUser, storeMqttUser},
    {"MqttPassword", Kind::Text, "", 0, applyMqttPassword, storeMqttPassword},
};

} // namespace

std::span<const Row> table() { return kRows; }

} // namespace settingskeys
