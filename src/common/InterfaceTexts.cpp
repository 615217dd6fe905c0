#include "InterfaceTexts.h"

#include <array>

namespace uitext {
namespace {

const std::array<QString, Count> kBuiltIn = {
    QStringLiteral("Schriftart"),
    QStringLiteral("Farbe"),
};
std::array<QString, Count> g_texts = kBuiltIn;

} // namespace

const QString& get(Id id) {
    return g_texts[size_t(id)];
}

void set(Id id, const QString& text) {
    g_texts[size_t(id)] = text;
}

void reset() {
    g_texts = kBuiltIn;
}

} // namespace uitext
