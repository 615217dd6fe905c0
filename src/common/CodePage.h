#pragma once
#include <QByteArray>
#include <QString>

// The program's 8-bit code page (Windows-1252): received lines, disp.ini and
// the language files are bytes in it; the interface shows Unicode.
namespace codepage {

QString toUnicode(const QByteArray& bytes);
// Characters outside the code page become '?'.
QByteArray fromUnicode(const QString& text);
QByteArray fromUnicode(QChar c);
// One byte as its interface character (table lookup: used per received byte).
QChar charOf(char byte);

} // namespace codepage

// The user's locale decimal separator as one 8-bit character, read at each call.
char localeDecimalSeparator();
