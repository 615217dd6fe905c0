#include "Colour.h"

#include <QGuiApplication>
#include <QPalette>

namespace colour {

namespace {
// Windows system colour indexes (COLOR_*) mapped to the nearest palette role.
QColor systemColour(int index) {
    const QPalette pal = QGuiApplication::instance() ? QGuiApplication::palette() : QPalette();
    switch (index) {
    case 1: return pal.color(QPalette::Window);           // desktop
    case 2: case 13: return pal.color(QPalette::Highlight); // active caption, highlight
    case 5: return pal.color(QPalette::Base);             // window
    case 6: return pal.color(QPalette::Shadow);           // window frame
    case 7: case 8: case 18: return pal.color(QPalette::WindowText);
    case 9: case 14: return pal.color(QPalette::HighlightedText);
    case 15: return pal.color(QPalette::Button);           // button face
    case 16: return pal.color(QPalette::Mid);              // button shadow
    case 17: return pal.color(QPalette::Disabled, QPalette::Text);
    case 20: return pal.color(QPalette::Light);
    case 21: return pal.color(QPalette::Dark);
    case 23: return pal.color(QPalette::ToolTipText);
    case 24: return pal.color(QPalette::ToolTipBase);
    default: return pal.color(QPalette::Window);
    }
}
} // namespace

std::optional<QColor> toQColor(int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    if ((v >> 24) == 0xFF)
        return systemColour(int(v & 0xFF));
    if (v == uint32_t(None) || (v >> 24) != 0)
        return std::nullopt;
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

int32_t fromQColor(const QColor& c) {
    if (!c.isValid() || c.alpha() == 0)
        return None;
    return rgb(c.red(), c.green(), c.blue());
}

} // namespace colour
