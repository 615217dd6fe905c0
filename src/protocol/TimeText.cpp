#include "TimeText.h"

#include "common/IntValue.h"

#include <cstdint>
#include <string>

namespace {
// 1-based position of the first c, 0 when absent.
size_t pos(const std::string& t, char c) {
    const size_t p = t.find(c);
    return p == std::string::npos ? 0 : p + 1;
}
// Characters from..to (1-based, inclusive).
std::string_view piece(const std::string& t, size_t from, size_t to) {
    if (from < 1 || to < from || from > t.size())
        return {};
    return std::string_view(t).substr(from - 1, to - from + 1);
}
// Seconds mode: a device may put anything where the colons belong, three
// places before the seconds' end (minutes) and six places (hours).
// `end` is the 1-based place of the separator.
void colonPlaces(std::string& t, size_t end) {
    if (end >= 4)
        t[end - 4] = ':';
    if (end >= 7)
        t[end - 7] = ':';
}
} // namespace

int Zeit_in_ms(std::string_view text, char d, bool secMode) {
    if (text.empty())
        return 0;
    std::string t(text);
    if (const size_t dot = t.find('.'); dot != std::string::npos)
        t[dot] = d;
    while (t.size() < pos(t, d) + 3)
        t += '0';
    for (char& c : t)
        if (c == ' ')
            c = '0';

    // Unsigned arithmetic: absurd texts wrap like the 32-bit original instead of overflowing.
    uint32_t v = 0;
    const size_t p = pos(t, d);
    if (p >= 2) {
        const int s = p >= 3 ? intValue(piece(t, p - 2, p - 1)) : intValue(piece(t, p - 1, p - 1));
        const int f = intValue(piece(t, p + 1, t.size()));
        v = uint32_t(s) * 1000u + uint32_t(f);
        if (secMode)
            colonPlaces(t, p);
    } else if (secMode && t.size() > 2) {
        colonPlaces(t, t.size() + 1);  // as if a separator followed
    }

    if (size_t k = pos(t, ':'); k != 0) {
        int m = k >= 2 ? intValue(piece(t, 1, k - 1)) : 0;
        t.erase(0, k);
        if (const size_t k2 = pos(t, ':'); k2 != 0) {
            v += uint32_t(m) * 3600000u;
            if (k2 >= 2)
                m = intValue(piece(t, 1, k2 - 1));
        }
        v += uint32_t(m) * 60000u;
    }
    return int(v);
}
