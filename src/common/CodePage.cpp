#include "CodePage.h"

#include <QLocale>
#include <QStringDecoder>
#include <QStringEncoder>

namespace codepage {

namespace {
QString decodeAll(const QByteArray& bytes) {
    QStringDecoder decoder("windows-1252");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}
} // namespace

QString toUnicode(const QByteArray& bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = charOf(bytes[i]);
    return out;
}

QByteArray fromUnicode(const QString& text) {
    bool ascii = true;
    for (QChar c : text)
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return text.toLatin1();
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

QChar charOf(char byte) {
    static const QString table = [] {
        QByteArray all(256, '\0');
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        QString t = decodeAll(all);
        return t.size() == 256 ? t : QString::fromLatin1(all);
    }();
    return table[static_cast<unsigned char>(byte)];
}

} // namespace codepage

char localeDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    // Read for every line: an ASCII separator (nearly every locale) needs no encoder.
    if (point.size() == 1 && point.at(0).unicode() < 0x80)
        return char(point.at(0).unicode());
    const QByteArray sep = codepage::fromUnicode(point);
    return sep.size() == 1 ? sep[0] : '.';
}
