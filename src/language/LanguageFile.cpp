#include "language/LanguageFile.h"

namespace language {

QString fileProblem(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return QStringLiteral("it is UTF-16 text; save it as 8-bit text (ANSI, Windows-1252)");
    // Any 8-bit code page is text; control bytes other than the line ends,
    // tab and the old end-of-file mark are not.
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != 0x1a)
            return QStringLiteral("it is not a text file (byte 0x%1 at offset %2)")
                .arg(c, 2, 16, QLatin1Char('0'))
                .arg(i);
    }
    return {};
}

} // namespace language
