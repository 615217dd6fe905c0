#include "CodePage.h"

#include <QLocale>
#include <QStringDecoder>
#include <QStringEncoder>

namespace codepage {

QString toUnicode(const QByteArray& bytes) {
    QStringDecoder decoder("windows-1252");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

QByteArray fromUnicode(const QString& text) {
    QStringEncoder encoder("windows-1252");
    if (!encoder.isValid())
        return text.toLatin1();
    QByteArray out = encoder.encode(text);
    // ICU marks characters it cannot map with 0x1A (SUB); show them as '?'.
    out.replace('\x1a', '?');
    return out;
}

QByteArray fromUnicode(QChar c) {
    return fromUnicode(QString(c));
}

} // namespace codepage

char localeDecimalSeparator() {
    const QByteArray sep = codepage::fromUnicode(QLocale().decimalPoint());
    return sep.size() == 1 ? sep[0] : '.';
}
