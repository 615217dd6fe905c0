#pragma once
#include <QColor>
#include <cstdint>
#include <optional>

// Colour values as the settings file stores them: 0x00BBGGRR for RGB,
// 0x1FFFFFFF for "no colour", top byte 0xFF for a system colour by index.
namespace colour {

constexpr int32_t None = 0x1FFFFFFF;
constexpr int32_t Black = 0x000000;
constexpr int32_t Red = 0x0000FF;
constexpr int32_t Yellow = 0x00FFFF;
constexpr int32_t Gray = 0x808080;

constexpr int32_t rgb(int r, int g, int b) {
    return int32_t((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

// nullopt for "no colour" (nothing is painted).
std::optional<QColor> toQColor(int32_t value);
int32_t fromQColor(const QColor& c);

} // namespace colour
