// What a file that should be liste.xls really is, and what the operator is
// told to do with it.
#include "timetable/FileKind.h"
#include "timetable/Xls.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

using filekind::Kind;

QByteArray fixture(const char* name) {
    QFile f(QStringLiteral(TD_SOURCE_DIR "/") + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

QByteArray workbook() {
    Sheet s;
    s.setEntry(10, 3, QStringLiteral("Huber"), u'.');
    QByteArray file;
    EXPECT_TRUE(xls::write(s, file));
    return file;
}

// Our own compound file with its one stream renamed, as Excel 95 (a "Book"
// stream), a password-protected .xlsx ("EncryptedPackage") or Word
// ("WordDocument") name theirs.
QByteArray renamedStream(const char* name) {
    QByteArray file = workbook();
    const QByteArray old = QByteArray("W\0o\0r\0k\0b\0o\0o\0k\0", 16);
    const qsizetype at = file.indexOf(old);
    EXPECT_GE(at, 0);
    QByteArray entry(64, '\0');
    const int n = int(qstrlen(name));
    for (int i = 0; i < n; ++i)
        entry[2 * i] = name[i];
    file.replace(at, 64, entry);
    const quint16 bytes = quint16(2 * (n + 1));  // with the terminating NUL
    file[at + 0x40] = char(bytes & 0xFF);
    file[at + 0x41] = char(bytes >> 8);
    return file;
}

TEST(FileKind, TellsWhatAFileIs) {
    const struct {
        const char* name;
        QByteArray bytes;
        Kind kind;
    } cases[] = {
        {"nothing", QByteArray(), Kind::Empty},
        {"our own .xls", workbook(), Kind::Xls97},
        {"LibreOffice's .xls", fixture("tests/timetable/fixtures/libreoffice-plain.xls"), Kind::Xls97},
        {"Excel 5/95", renamedStream("Book"), Kind::Excel95},
        {"password-protected .xlsx", renamedStream("EncryptedPackage"), Kind::Encrypted},
        {"Word 97 document", renamedStream("WordDocument"), Kind::OtherOle2},
        {"OLE2 signature, no directory", QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(600, 'x'),
         Kind::Unknown},
        {".xlsx", fixture("tests/timetable/fixtures/kinds/liste.xlsx"), Kind::Xlsx},
        {".ods", fixture("tests/timetable/fixtures/kinds/liste.ods"), Kind::Ods},
        {".docx", fixture("tests/timetable/fixtures/kinds/letter.docx"), Kind::OtherZip},
        {"Excel 2.1 worksheet", QByteArray("\x09\x00\x04\x00\x02\x00\x10\x00", 8) + QByteArray(40, '\0'), Kind::OldExcel},
        {"Excel 4.0 worksheet", QByteArray("\x09\x04\x06\x00\x00\x00\x10\x00", 8) + QByteArray(40, '\0'), Kind::OldExcel},
        {"LibreOffice's CSV", fixture("tests/timetable/fixtures/libreoffice-plain.csv"), Kind::Csv},
        {"CSV with semicolons, Latin-1", "Nr;Name;Nation\r\n1;M\xfcller;AUT\r\n2;Huber;GER\r\n", Kind::Csv},
        {"CSV with tabs, UTF-8 mark", "\xEF\xBB\xBFNr\tName\n1\tHuber\n", Kind::Csv},
        {"flat ODF spreadsheet", fixture("tests/timetable/fixtures/libreoffice-formats.fods"), Kind::Markup},
        {"web page", "<html><body><table><tr><td>1</td></tr></table></body></html>", Kind::Markup},
        {"XML Spreadsheet 2003", "  <?xml version=\"1.0\"?>\n<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\">",
         Kind::Markup},
        {"notes", "Startliste\nHuber\nMaier\n", Kind::Text},
        {"a picture", fixture("data/logo1.bmp"), Kind::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.kind == Kind::Empty || !c.bytes.isEmpty());
        EXPECT_EQ(int(filekind::classify(c.bytes)), int(c.kind));
    }
}

TEST(FileKind, SaysWhatToDoAndNamesTheFile) {
    const struct {
        Kind kind;
        const char* said;
    } cases[] = {
        {Kind::Xlsx, "liste.xls is an Excel 2007+ workbook (.xlsx); save it as Excel 97-2003 (.xls)"},
        {Kind::Ods, "liste.xls is an OpenDocument spreadsheet (.ods); save it as Excel 97-2003 (.xls)"},
        {Kind::Excel95, "liste.xls is an Excel 5.0/95 workbook; save it as Excel 97-2003 (.xls)"},
        {Kind::OldExcel, "liste.xls is an Excel 4.0 or older worksheet; save it as Excel 97-2003 (.xls)"},
        {Kind::Encrypted,
         "liste.xls is protected by a password; remove the password and save it as Excel 97-2003 (.xls)"},
        {Kind::Csv, "liste.xls is a CSV text file, not a workbook; open it in a spreadsheet program and save it as "
                    "Excel 97-2003 (.xls)"},
        {Kind::Xls97, "liste.xls is an Excel 97-2003 workbook that cannot be read (record cut short); open it in "
                      "Excel or LibreOffice and save it again as Excel 97-2003 (.xls)"},
        {Kind::Unknown, "liste.xls is not a workbook (record cut short); replace it by the time table saved as "
                        "Excel 97-2003 (.xls)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(filekind::describe(c.kind, "liste.xls", "record cut short").toStdString(), c.said);
    // A password on an Excel 97-2003 workbook, as the reader says it.
    EXPECT_EQ(filekind::describe(Kind::Xls97, "liste.xls", "the workbook is encrypted"),
              filekind::describe(Kind::Encrypted, "liste.xls"));
    // Every kind names the file and says what to do.
    for (int k = int(Kind::Empty); k <= int(Kind::Unknown); ++k) {
        const QString said = filekind::describe(Kind(k), "/race/liste.xls");
        EXPECT_TRUE(said.startsWith("/race/liste.xls is ")) << said.toStdString();
        EXPECT_TRUE(said.contains("Excel 97-2003 (.xls)")) << said.toStdString();
    }
}

} // namespace
