// Hotkeys: single keys switch display elements, F9 starts display mode and
// any other key in display mode brings the setup panel back.
#include "console/Disp.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QWindow>

namespace {
constexpr uint16_t kF9 = 0x78;

// The fixed hotkeys (virtual-key codes) and the check box each toggles.
struct Hotkey {
    uint16_t code;
    const char* box;
};
const Hotkey kHotkeys[14] = {
    {0x5A, "CheckBoxZ"},      {0x52, "CheckBoxR"},          {0x4E, "CheckBoxN"},
    {0x56, "Vorgabezeit_sichtbar"},
    {0x31, "Textfeld1_Sichtbar"}, {0x32, "Textfeld2_Sichtbar"}, {0x33, "Textfeld3_Sichtbar"},
    {0x70, "Logo1_sichtbar"}, {0x71, "Logo2_sichtbar"},     {0x72, "Logo3_sichtbar"},
    {0x41, "A1_sichtbar"},    {0x42, "A2_sichtbar"},        {0x43, "A3_sichtbar"},
    {0x44, "A4_sichtbar"},
};

// Focusable controls that do not pass keys to the hotkey handler: with one
// of them focused the hotkeys do nothing.
const char* const kWithoutHotkeys[] = {
    "Logo3_sichtbar", "T2RandPixel", "T2Pixel_H", "T2Pixel_V", "T3RandPixel", "Textfeld1_ausrichtung",
    "Textfeld2_ausrichtung", "Textfeld2_Schriftart", "Textfeld2_Hintergrundfarbe", "Textfeld2_Schattenfarbe",
    "A1_sichtbar", "A2_sichtbar", "A3_sichtbar", "A4_sichtbar", "Language", "SpracheSchreiben", "SecMode",
    "StrNrSelfCB"};

const char* const kHotkeyProperty = "tdHotkeys";
} // namespace

uint16_t Tdisplay::virtualKey(const QKeyEvent* e) {
    const int k = e->key();
    const bool keypad = e->modifiers() & Qt::KeypadModifier;
    if (k >= Qt::Key_A && k <= Qt::Key_Z)
        return uint16_t(k);  // letters: the key, whatever the shift state
    if (k >= Qt::Key_0 && k <= Qt::Key_9)
        return uint16_t(keypad ? 0x60 + (k - Qt::Key_0) : k);
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24)
        return uint16_t(0x70 + (k - Qt::Key_F1));
    switch (k) {
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_Tab: return 0x09;
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    default: return 0xFF;  // some other key: no hotkey
    }
}

void Tdisplay::FormKeyDown(uint16_t key) {
    auto toggle = [this](int slot) {
        if (auto* box = canvas->findChild<QCheckBox*>(kHotkeys[slot].box, Qt::FindDirectChildrenOnly))
            box->setChecked(!box->isChecked());  // runs the box's click handler
    };
    for (int slot = 0; slot <= 9; ++slot)
        if (key == Tastencodes[size_t(slot)]) {
            toggle(slot);
            return;
        }
    if (key == kF9) {
        StartClick();
        return;
    }
    for (int slot = 10; slot <= 13; ++slot)
        if (key == Tastencodes[size_t(slot)]) {
            toggle(slot);
            return;
        }
    if (Anzeigemodus)
        Anzeige_beenden();
}

void Tdisplay::connectHotkeys() {
    for (int i = 0; i < 14; ++i)
        Tastencodes[size_t(i)] = kHotkeys[i].code;
    QList<QWidget*> targets = {this, scroller, scroller->viewport(), canvas};
    for (QObject* o : canvas->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || !(qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w)))
            continue;
        if (std::find_if(std::begin(kWithoutHotkeys), std::end(kWithoutHotkeys), [w](const char* n) {
                return w->objectName() == QLatin1String(n);
            }) == std::end(kWithoutHotkeys))
            targets << w;
    }
    for (QWidget* w : targets) {
        w->setProperty(kHotkeyProperty, true);
        w->installEventFilter(this);
    }
    setFocusPolicy(Qt::StrongFocus);
    // When a dialog of ours closes, the window itself takes the keyboard back:
    // the button that opened the dialog ("Sprache", "Schriftart" ...) may be
    // one without hotkeys, and F9 must work without a click first.
    // (Between the two the application may have no window with the keyboard.)
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* now) {
        if (!now)
            return;
        if (now != windowHandle()) {
            // A list's popup is no dialog: the list keeps the keyboard after it.
            if (now->type() == Qt::Dialog || now->modality() != Qt::NonModal)
                otherWindowHadKeyboard_ = true;
        } else if (otherWindowHadKeyboard_) {
            otherWindowHadKeyboard_ = false;
            setFocus(Qt::ActiveWindowFocusReason);
        }
    });
}

bool Tdisplay::hotkeyEvent(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::KeyPress || !watched->property(kHotkeyProperty).toBool())
        return false;
    // A key reaches its focus widget first and then, unless taken, the
    // parents: handle it once, where it arrived.
    QWidget* focus = QApplication::focusWidget();
    const bool arrivedHere = focus ? watched == focus : watched == this;
    if (arrivedHere)
        FormKeyDown(virtualKey(static_cast<QKeyEvent*>(e)));
    return false;  // the control still gets the key
}
