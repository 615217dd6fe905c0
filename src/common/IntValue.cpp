#include "IntValue.h"

#include <cstdint>

int intValue(std::string_view s, int fallback) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size())
        return fallback;
    uint64_t value = 0;
    for (; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return fallback;
        value = value * (hex ? 16 : 10) + digit;
        // Hex takes the full 32 bits (colours such as $FF000005); decimal must fit a signed int.
        if (hex ? value > 0xFFFFFFFFull : value > (negative ? 0x80000000ull : 0x7FFFFFFFull))
            return fallback;
    }
    const uint32_t bits = static_cast<uint32_t>(value);
    return static_cast<int>(negative ? 0u - bits : bits);
}

int intValue(const QString& text, int fallback) {
    return intValue(text.toLatin1(), fallback);
}
