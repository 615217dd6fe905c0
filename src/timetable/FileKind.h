#pragma once
#include <QByteArray>
#include <QString>

// What a file that should be the time table really is, told from its bytes,
// so that the operator learns what to do with one the program cannot read.
namespace filekind {

enum class Kind {
    Empty,      // no bytes at all
    Xls97,      // an Excel 97-2003 workbook (BIFF8 "Workbook" stream)
    Excel95,    // an Excel 5.0/95 workbook (BIFF5 "Book" stream)
    Encrypted,  // protected by a password: an OLE2 "EncryptedPackage" (Excel 2007+); an
                // Excel 97-2003 workbook with a password is told by the reader's reason
    OtherOle2,  // another compound file: a Word or PowerPoint document ...
    Xlsx,       // a ZIP with "xl/": Excel 2007+ (.xlsx, .xlsm, .xlsb)
    Ods,        // a ZIP with the OpenDocument spreadsheet type
    OtherZip,   // any other ZIP archive
    OldExcel,   // a bare BIFF2-4 worksheet (Excel 4.0 or older)
    Csv,        // text with separators on its lines
    Markup,     // HTML or XML (a web page, an XML Spreadsheet 2003)
    Text,       // other text
    Unknown,
};

// Pure: looks at the bytes only.
Kind classify(const QByteArray& bytes);

// One sentence for the operator: what `name` is and what to do with it.
// `reason` (the reader's words) is added where the kind alone does not say
// what is wrong, as for a damaged Excel 97-2003 workbook.
QString describe(Kind kind, const QString& name, const QString& reason = QString());

} // namespace filekind
