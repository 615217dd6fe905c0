#include "timetable/FileKind.h"

#include "timetable/Xls.h"

#include <QtEndian>

namespace filekind {
namespace {

bool startsWith(const QByteArray& b, const char* sig, qsizetype n) { return b.size() >= n && b.left(n) == QByteArray(sig, n); }

// Text: no NUL and no control byte but tab, CR, LF, form feed and the old
// end-of-file mark in the first 64 KiB. Bytes from 0x80 up are any 8-bit code page.
bool looksLikeText(const QByteArray& b) {
    const qsizetype n = std::min<qsizetype>(b.size(), 64 * 1024);
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = uchar(b[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1a)
            return false;
    }
    return true;
}

// Every one of the first few non-empty lines holds the same separator.
bool looksLikeCsv(const QByteArray& b) {
    const QList<QByteArray> lines = b.left(64 * 1024).split('\n');
    for (char sep : {';', ',', '\t'}) {
        int seen = 0;
        bool all = true;
        for (const QByteArray& l : lines) {
            if (l.trimmed().isEmpty())
                continue;
            if (!l.contains(sep)) {
                all = false;
                break;
            }
            if (++seen == 5)
                break;
        }
        if (all && seen > 0)
            return true;
    }
    return false;
}

Kind ole2(const QByteArray& bytes) {
    const auto entries = xls::containerEntries(bytes);
    if (!entries)
        return Kind::Unknown;  // the signature, but no readable directory
    auto has = [&](const char* name) { return entries->contains(QLatin1String(name), Qt::CaseInsensitive); };
    if (has("Workbook"))
        return Kind::Xls97;
    if (has("Book"))
        return Kind::Excel95;
    if (has("EncryptedPackage"))
        return Kind::Encrypted;
    return Kind::OtherOle2;
}

Kind zip(const QByteArray& bytes) {
    // The first entry of an OpenDocument file is its type, stored uncompressed.
    if (bytes.left(200).contains("application/vnd.oasis.opendocument.spreadsheet"))
        return Kind::Ods;
    // Entry names stand in clear in the local headers and the directory.
    if (bytes.contains("xl/workbook.") || bytes.contains("xl/worksheets/"))
        return Kind::Xlsx;
    return Kind::OtherZip;
}

} // namespace

Kind classify(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return Kind::Empty;
    if (startsWith(bytes, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        return ole2(bytes);
    if (startsWith(bytes, "PK\x03\x04", 4) || startsWith(bytes, "PK\x05\x06", 4))
        return zip(bytes);
    if (bytes.size() >= 4) {
        // BOF record of a bare BIFF2, BIFF3 or BIFF4 worksheet.
        const quint16 id = qFromLittleEndian<quint16>(bytes.constData());
        if (id == 0x0009 || id == 0x0209 || id == 0x0409)
            return Kind::OldExcel;
    }
    QByteArray text = bytes;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    if (!looksLikeText(text))
        return Kind::Unknown;
    if (text.trimmed().startsWith('<'))
        return Kind::Markup;
    return looksLikeCsv(text) ? Kind::Csv : Kind::Text;
}

QString describe(Kind kind, const QString& name, const QString& reason) {
    const QString save = QStringLiteral("save it as Excel 97-2003 (.xls)");
    const QString convert =
        QStringLiteral("open it in a spreadsheet program and save it as Excel 97-2003 (.xls)");
    // An Excel 97-2003 workbook with a password is read as far as the
    // password record, and the reader says so.
    if (kind == Kind::Xls97 && reason.contains(QLatin1String("encrypted")))
        kind = Kind::Encrypted;
    switch (kind) {
    case Kind::Empty: return QStringLiteral("%1 is empty; put the time table there, saved as Excel 97-2003 (.xls)").arg(name);
    case Kind::Xls97:
        return QStringLiteral("%1 is an Excel 97-2003 workbook that cannot be read (%2); open it in Excel or "
                              "LibreOffice and save it again as Excel 97-2003 (.xls)")
            .arg(name, reason.isEmpty() ? QStringLiteral("damaged") : reason);
    case Kind::Excel95: return QStringLiteral("%1 is an Excel 5.0/95 workbook; %2").arg(name, save);
    case Kind::Encrypted:
        return QStringLiteral("%1 is protected by a password; remove the password and %2").arg(name, save);
    case Kind::OtherOle2:
        return QStringLiteral("%1 is an Office document but no workbook (Word, PowerPoint?); save the time table "
                              "as Excel 97-2003 (.xls)")
            .arg(name);
    case Kind::Xlsx: return QStringLiteral("%1 is an Excel 2007+ workbook (.xlsx); %2").arg(name, save);
    case Kind::Ods: return QStringLiteral("%1 is an OpenDocument spreadsheet (.ods); %2").arg(name, save);
    case Kind::OtherZip:
        return QStringLiteral("%1 is a ZIP archive, not a workbook; save the time table as Excel 97-2003 (.xls)")
            .arg(name);
    case Kind::OldExcel: return QStringLiteral("%1 is an Excel 4.0 or older worksheet; %2").arg(name, save);
    case Kind::Csv: return QStringLiteral("%1 is a CSV text file, not a workbook; %2").arg(name, convert);
    case Kind::Markup: return QStringLiteral("%1 is a web page or XML file, not a workbook; %2").arg(name, convert);
    case Kind::Text: return QStringLiteral("%1 is a text file, not a workbook; %2").arg(name, convert);
    case Kind::Unknown: break;
    }
    return QStringLiteral("%1 is not a workbook%2; replace it by the time table saved as Excel 97-2003 (.xls)")
        .arg(name, reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason));
}

} // namespace filekind
