#pragma once
#include <QByteArray>
#include <QString>
#include <string_view>

// Integer value of a text: leading blanks, optional sign, then decimal digits
// to the end, or hex digits after "$", "x", "X", "0x" or "0X". Anything else
// (empty text, trailing characters, overflow) gives the fallback.
int intValue(std::string_view text, int fallback = 0);
inline int intValue(const QByteArray& text, int fallback = 0) {
    return intValue(std::string_view(text.constData(), size_t(text.size())), fallback);
}
int intValue(const QString& text, int fallback = 0);
