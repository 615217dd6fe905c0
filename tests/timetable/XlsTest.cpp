#include "timetable/Xls.h"
#include "timetable/EarlierResults.h"

#include "TempDir.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <functional>
#include <map>
#include <gtest/gtest.h>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double kSec = 1.0 / 86400;

void expectSameSheet(const Sheet& a, const Sheet& b) {
    size_t rows = std::max(a.rows().size(), b.rows().size());
    for (size_t r = 0; r < rows; ++r) {
        for (int c = 1; c <= Sheet::MaxCols; ++c) {
            const Cell* x = a.cell(int(r) + 1, c);
            const Cell* y = b.cell(int(r) + 1, c);
            const bool xe = !x || (x->kind == Cell::Empty && x->format == 0);
            const bool ye = !y || (y->kind == Cell::Empty && y->format == 0);
            ASSERT_EQ(xe, ye) << "row " << r + 1 << " col " << c;
            if (xe)
                continue;
            EXPECT_EQ(x->kind, y->kind) << "row " << r + 1 << " col " << c;
            EXPECT_EQ(x->text, y->text) << "row " << r + 1 << " col " << c;
            EXPECT_EQ(x->number, y->number) << "row " << r + 1 << " col " << c;
            EXPECT_EQ(a.formats()[x->format], b.formats()[y->format]) << "row " << r + 1 << " col " << c;
        }
    }
    for (int c = 1; c <= Sheet::MaxCols; ++c)
        EXPECT_EQ(a.columnWidth(c), b.columnWidth(c)) << c;
}

Sheet sampleSheet() {
    Sheet s;
    s.setName("Times");
    s.setFormat(1, 6, 256, 17, "m:ss.000");
    s.setEntry(2, 2, "Stadtlauf 2026", u'.');
    s.setEntry(3, 2, "Ergebnisliste", u'.');
    s.setEntry(6, 6, "1:58.250", u'.');
    const char* names[] = {"Müller", "Šimon", "Øre", "Nuñez", "O'Brien", "Łukasz", "日本"};
    for (int i = 0; i < 7; ++i) {
        s.setEntry(10 + i, 3, QString::fromUtf8(names[i]), u'.');
        s.setEntry(10 + i, 5, "AUT", u'.');
        s.setEntry(10 + i, 6, QStringLiteral("00:0%1:0%2.%3").arg(1 + i).arg(i).arg(100 + i), u'.');
    }
    s.setEntry(20, 2, "42", u'.');
    s.setEntry(20, 3, "0.1", u'.');          // not an RK value
    s.setEntry(20, 4, "-123456789.5", u'.');
    s.setEntry(20, 5, "TRUE", u'.');
    s.setEntry(20, 18, "#N/A", u'.');
    s.setEntry(21, 18, "tab\there\nline \\ end", u'.');
    s.setEntry(65536, 256, "far corner", u'.');
    // enough text to spread the shared strings over CONTINUE records, with a
    // wide and a narrow text each longer than one record
    s.setEntry(30, 1, QString(9000, u'x'), u'.');
    s.setEntry(31, 1, QString(5000, QChar(0x0160)), u'.');
    for (int i = 0; i < 1500; ++i)
        s.setEntry(100 + i, 1 + i % 3, QStringLiteral("Läufer %1 Š").arg(i), u'.');
    s.setColumnWidth(3, 20 * 256);
    return s;
}

TEST(Xls, WriteThenReadGivesTheSameSheet) {
    const Sheet s = sampleSheet();
    QByteArray file;
    ASSERT_TRUE(xls::write(s, file));
    Sheet back;
    QString why;
    ASSERT_TRUE(xls::read(file, back, &why)) << why.toStdString();
    EXPECT_EQ(back.name(), "Times");
    expectSameSheet(s, back);
    EXPECT_EQ(back.entry(10, 6), "1:00.100");
    EXPECT_EQ(back.text(6, 6, u'.'), "1:58.250");
}

// A workbook of several sheets: each comes back with its cells, formats,
// widths and name, in its place; a reader of the first sheet sees only it.
TEST(Xls, FurtherSheetsComeBackInTheirPlace) {
    const Sheet first = sampleSheet();
    Sheet table;
    table.setEntry(10, 3, "Müller", u'.');
    table.setFormat(10, 6, 10, 6, "m:ss.000");
    table.setEntry(10, 6, "1:02.345", u'.');
    table.setFormat(11, 6, 11, 6, "###.##");  // in no other sheet
    table.setEntry(11, 6, "62.5", u'.');
    std::vector<Sheet> more(3);
    more[0].setName("Earlier results");
    earlier::append(more[0], table, 10, 6, 'C', QDateTime(QDate(2026, 5, 1), QTime(14, 3, 22)));
    earlier::append(more[0], table, 11, 6, 'C', QDateTime(QDate(2026, 5, 1), QTime(14, 3, 23)));
    earlier::append(more[0], table, 12, 6, 'C', QDateTime::currentDateTime());  // an empty cell: nothing
    more[1].setName("times");  // the same name but for case: made unique
    more[1].setEntry(1, 1, "Notiz", u'.');
    more[2].setName("Leer");
    QByteArray file;
    ASSERT_TRUE(xls::write(first, file, nullptr, more));

    Sheet back;
    std::vector<Sheet> moreBack;
    QString why;
    ASSERT_TRUE(xls::read(file, back, &why, &moreBack)) << why.toStdString();
    expectSameSheet(first, back);
    ASSERT_EQ(moreBack.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        expectSameSheet(more[i], moreBack[i]);
    EXPECT_EQ(moreBack[0].name(), "Earlier results");
    EXPECT_EQ(moreBack[1].name(), "times (2)");
    EXPECT_EQ(moreBack[2].name(), "Leer");
    // What the earlier results hold, as a spreadsheet shows them.
    const Sheet& e = moreBack[0];
    EXPECT_EQ(e.text(1, 1, u'.'), "Start number");
    EXPECT_EQ(e.text(2, 1, u'.'), "1");
    EXPECT_EQ(e.text(2, 2, u'.'), "Müller");
    EXPECT_EQ(e.text(2, 3, u'.'), "C");
    EXPECT_EQ(e.text(2, 4, u'.'), "1:02.345");
    EXPECT_EQ(e.text(2, 5, u'.'), "2026-05-01 14:03:22");
    EXPECT_EQ(e.text(3, 4, u'.'), "62.5");
    EXPECT_EQ(e.formatOf(3, 4), "###.##");
    EXPECT_EQ(e.rows().size(), 3u);

    // A reader of the time table alone: the first sheet, as before.
    Sheet only;
    ASSERT_TRUE(xls::read(file, only, &why)) << why.toStdString();
    expectSameSheet(first, only);
    // Written again from what was read: the same bytes.
    EXPECT_EQ(xls::workbookStream(back, moreBack), xls::workbookStream(first, more));
}

// Excel refuses records whose length differs from their layout: every
// record we write has the size the format gives it.
TEST(Xls, EveryRecordHasItsLayoutsSize) {
    const std::map<uint16_t, int> sizes = {
        {0x0809, 16}, {0x00E1, 2}, {0x00C1, 2}, {0x00E2, 0}, {0x005C, 112}, {0x0042, 2}, {0x0161, 2},
        {0x013D, 2}, {0x009C, 2}, {0x0019, 2}, {0x0012, 2}, {0x0013, 2}, {0x01AF, 2}, {0x01BC, 2},
        {0x0040, 2}, {0x008D, 2}, {0x003D, 18}, {0x0022, 2}, {0x000E, 2}, {0x01B7, 2}, {0x00DA, 2},
        {0x00E0, 20}, {0x0293, 4}, {0x0160, 2}, {0x000A, 0}, {0x000D, 2}, {0x000C, 2}, {0x000F, 2},
        {0x0011, 2}, {0x0010, 8}, {0x005F, 2}, {0x002A, 2}, {0x002B, 2}, {0x0082, 2}, {0x0080, 8},
        {0x0225, 4}, {0x0081, 2}, {0x0014, 0}, {0x0015, 0}, {0x0083, 2}, {0x0084, 2}, {0x00A1, 34},
        {0x0055, 2}, {0x007D, 12}, {0x0200, 14}, {0x0208, 16}, {0x0201, 6}, {0x027E, 10},
        {0x0203, 14}, {0x00FD, 10}, {0x0205, 8}, {0x023E, 18}};
    Sheet s = sampleSheet();
    s.setEntry(40, 1, "TRUE", u'.');
    s.setFormat(41, 1, 41, 1, "0.00");
    const QByteArray stream = xls::workbookStream(s);
    std::map<uint16_t, int> seen;
    qsizetype pos = 0;
    while (pos + 4 <= stream.size()) {
        const auto* p = reinterpret_cast<const uint8_t*>(stream.constData() + pos);
        const uint16_t id = uint16_t(p[0] | p[1] << 8), len = uint16_t(p[2] | p[3] << 8);
        ASSERT_LE(len, 8224) << std::hex << id;
        if (const auto it = sizes.find(id); it != sizes.end())
            EXPECT_EQ(len, it->second) << "record 0x" << std::hex << id;
        else if (id == 0x00BE)  // MULBLANK: row, first column, XFs, last column
            EXPECT_EQ(len % 2, 0);
        else
            EXPECT_TRUE(id == 0x0031 || id == 0x041E || id == 0x0085 || id == 0x00FC || id == 0x003C)
                << "unexpected record 0x" << std::hex << id;
        ++seen[id];
        pos += 4 + len;
        if (id == 0x000A && seen[0x000A] == 2)
            break;
    }
    EXPECT_EQ(seen[0x0809], 2);
    EXPECT_EQ(seen[0x00E0], 16 + 3);  // style XFs, then one per format in use: General, m:ss.000, 0.00
}

TEST(Xls, EmptySheetIsAValidWorkbook) {
    QByteArray file;
    ASSERT_TRUE(xls::write(Sheet(), file));
    Sheet back;
    back.setEntry(1, 1, "old", u'.');
    ASSERT_TRUE(xls::read(file, back));
    EXPECT_TRUE(back.isEmpty());
}

TEST(Xls, EveryTruncationIsRejectedOrReadWithoutHarm) {
    Sheet s;
    s.setEntry(1, 1, "a", u'.');
    s.setEntry(2, 2, "1:02.500", u'.');
    QByteArray file;
    ASSERT_TRUE(xls::write(s, file));
    int rejected = 0;
    for (qsizetype n = 0; n < file.size(); n += 7) {
        Sheet out;
        QString why;
        if (!xls::read(file.left(n), out, &why)) {
            ++rejected;
            EXPECT_FALSE(why.isEmpty());
        }
    }
    EXPECT_GT(rejected, 0);
}

// Builds a Workbook stream by hand: globals with one sheet, then the sheet.
struct Biff {
    QByteArray globals, sheet;
    static void rec(QByteArray& out, uint16_t id, const QByteArray& data) {
        const uint16_t len = uint16_t(data.size());
        out.append(char(id & 0xFF)).append(char(id >> 8)).append(char(len & 0xFF)).append(char(len >> 8));
        out.append(data);
    }
    static QByteArray le(std::initializer_list<uint32_t> v, int width = 2) {
        QByteArray b;
        for (uint32_t x : v)
            for (int i = 0; i < width; ++i)
                b.append(char((x >> (8 * i)) & 0xFF));
        return b;
    }
    QByteArray stream(uint32_t sheetPosDelta = 0) const {
        QByteArray out;
        rec(out, 0x0809, le({0x0600, 0x0005, 0, 0, 0, 0, 6, 0}));
        out += globals;
        QByteArray bs = le({0}, 4) + le({0}) + QByteArray("\x05\x00Times", 7);
        const qsizetype bsAt = out.size() + 4;
        rec(out, 0x0085, bs);
        rec(out, 0x000A, {});
        const uint32_t pos = uint32_t(out.size()) + sheetPosDelta;
        std::memcpy(out.data() + bsAt, &pos, 4);
        rec(out, 0x0809, le({0x0600, 0x0010, 0, 0, 0, 0, 6, 0}));
        out += sheet;
        rec(out, 0x000A, {});
        return out;
    }
    bool read(Sheet& s, QString* why = nullptr, uint32_t delta = 0) const {
        QByteArray file;
        EXPECT_TRUE(xls::container(stream(delta), file));
        return xls::read(file, s, why);
    }
};

QByteArray sst(uint32_t total, uint32_t unique, const QByteArray& strings) {
    return Biff::le({total, unique}, 4) + strings;
}
QByteArray str8(const QByteArray& s) { return Biff::le({uint32_t(s.size())}) + QByteArray(1, '\0') + s; }

TEST(Xls, ReadsEveryCellRecordKind) {
    Biff b;
    // FORMAT 164 "m:ss.000", XF 0 General, XF 1 time, XF 2 date (built-in 14)
    Biff::rec(b.globals, 0x041E, Biff::le({164}) + str8("m:ss.000"));
    Biff::rec(b.globals, 0x00E0, Biff::le({0, 0}) + QByteArray(16, '\0'));
    Biff::rec(b.globals, 0x00E0, Biff::le({0, 164}) + QByteArray(16, '\0'));
    Biff::rec(b.globals, 0x00E0, Biff::le({0, 14}) + QByteArray(16, '\0'));
    Biff::rec(b.globals, 0x0022, Biff::le({1}));  // 1904 dates
    // SST whose second string continues in a CONTINUE record as UTF-16
    QByteArray cont = QByteArray(1, '\x01') + QByteArray("\x60\x01", 2);  // "Š"
    Biff::rec(b.globals, 0x00FC, sst(2, 2, str8("abc") + Biff::le({2}) + QByteArray(1, '\0') + "x"));
    Biff::rec(b.globals, 0x003C, cont);
    double d = 0.1, t = 83.5 * kSec;
    auto dbl = [](double v) { return QByteArray(reinterpret_cast<const char*>(&v), 8); };
    Biff::rec(b.sheet, 0x00FD, Biff::le({0, 0, 0}) + Biff::le({1}, 4));                   // LABELSST "xŠ"
    // LABEL whose text goes on in two CONTINUE records, the second in UTF-16
    Biff::rec(b.sheet, 0x0204, Biff::le({0, 1, 0}) + Biff::le({7}) + QByteArray(1, '\0') + "lab");
    Biff::rec(b.sheet, 0x003C, QByteArray(1, '\0') + "el");
    Biff::rec(b.sheet, 0x003C, QByteArray("\x01\x60\x01\x21\x00", 5));
    Biff::rec(b.sheet, 0x027E, Biff::le({1, 0, 0}) + Biff::le({(7u << 2) | 2u}, 4));      // RK 7
    Biff::rec(b.sheet, 0x027E, Biff::le({1, 1, 0}) + Biff::le({(1234u << 2) | 3u}, 4));   // RK 12.34
    Biff::rec(b.sheet, 0x00BD, Biff::le({2, 0, 0}) + Biff::le({(1u << 2) | 2u}, 4) + Biff::le({1}) +
                                   Biff::le({(2u << 2) | 2u}, 4) + Biff::le({1}));        // MULRK 1, 2
    Biff::rec(b.sheet, 0x0203, Biff::le({3, 0, 0}) + dbl(d));                             // NUMBER
    Biff::rec(b.sheet, 0x0203, Biff::le({3, 1, 1}) + dbl(t));                             // time
    Biff::rec(b.sheet, 0x0203, Biff::le({3, 2, 2}) + dbl(0));                             // 1904 date
    Biff::rec(b.sheet, 0x0006, Biff::le({4, 0, 0}) + dbl(2.5) + QByteArray(8, '\0'));     // FORMULA 2.5
    Biff::rec(b.sheet, 0x0006, Biff::le({4, 1, 0}) + QByteArray("\0\0\0\0\0\0\xff\xff", 8) +
                                   QByteArray(8, '\0'));                                  // string result
    Biff::rec(b.sheet, 0x0207, str8("fromformula"));
    Biff::rec(b.sheet, 0x0006, Biff::le({4, 2, 0}) + QByteArray("\x01\0\x01\0\0\0\xff\xff", 8) +
                                   QByteArray(8, '\0'));                                  // bool result
    Biff::rec(b.sheet, 0x0205, Biff::le({5, 0, 0}) + QByteArray("\x07\x01", 2));          // #DIV/0!
    Biff::rec(b.sheet, 0x0205, Biff::le({5, 1, 0}) + QByteArray("\x00\x00", 2));          // FALSE
    Biff::rec(b.sheet, 0x0201, Biff::le({6, 0, 1}));                                      // BLANK, time
    Biff::rec(b.sheet, 0x00BE, Biff::le({7, 3, 1, 1, 4}));                                // MULBLANK 3..4
    Sheet s;
    QString why;
    ASSERT_TRUE(b.read(s, &why)) << why.toStdString();
    EXPECT_EQ(s.entry(1, 1), "xŠ");
    EXPECT_EQ(s.entry(1, 2), "labelŠ!");
    EXPECT_EQ(s.entry(2, 1), "7");
    EXPECT_EQ(s.entry(2, 2), "12.34");
    EXPECT_EQ(s.entry(3, 1), "1");
    EXPECT_EQ(s.entry(3, 2), "48:00:00.000");  // two days in a time format
    EXPECT_EQ(s.text(3, 2, u'.'), "0:00.000");
    EXPECT_EQ(s.entry(4, 1), "0.1");
    EXPECT_EQ(s.entry(4, 2), "1:23.500");
    EXPECT_EQ(s.text(4, 3, u'.'), "1/1/1904");
    EXPECT_EQ(s.entry(5, 1), "2.5");
    EXPECT_EQ(s.entry(5, 2), "fromformula");
    EXPECT_EQ(s.entry(5, 3), "TRUE");
    EXPECT_EQ(s.entry(6, 1), "#DIV/0!");
    EXPECT_EQ(s.entry(6, 2), "FALSE");
    EXPECT_EQ(s.formatOf(7, 1), "m:ss.000");
    EXPECT_EQ(s.formatOf(8, 4), "m:ss.000");
    EXPECT_EQ(s.formatOf(8, 5), "m:ss.000");
    s.setEntry(7, 1, "12.5", u'.');  // a formatted blank takes seconds
    EXPECT_EQ(s.entry(7, 1), "12.500");
}

struct BadCase {
    const char* what;
    QByteArray globals, sheet;
    uint32_t delta = 0;
};

TEST(Xls, RejectsHostileStreams) {
    auto dbl = [](double v) { return QByteArray(reinterpret_cast<const char*>(&v), 8); };
    std::vector<BadCase> cases;
    {
        BadCase c{"shared string index past the table", {}, {}};
        Biff::rec(c.globals, 0x00FC, sst(5, 5, str8("one")));  // the count lies
        Biff::rec(c.sheet, 0x00FD, Biff::le({0, 0, 0}) + Biff::le({1}, 4));
        cases.push_back(c);
    }
    {
        BadCase c{"text longer than its record", {}, {}};
        Biff::rec(c.sheet, 0x0204, Biff::le({0, 0, 0}) + Biff::le({5000}) + QByteArray(1, '\0') + "abc");
        cases.push_back(c);
    }
    {
        BadCase c{"shared string longer than SST and CONTINUE", {}, {}};
        Biff::rec(c.globals, 0x00FC, sst(1, 1, Biff::le({60000}) + QByteArray(1, '\x01') + "ab"));
        cases.push_back(c);
    }
    {
        BadCase c{"rich text runs past the end", {}, {}};
        Biff::rec(c.globals, 0x00FC, sst(1, 1, Biff::le({1}) + QByteArray("\x0c", 1) + Biff::le({2}) +
                                                   Biff::le({0x7fffffff}, 4) + "a"));
        cases.push_back(c);
    }
    {
        BadCase c{"column past 256", {}, {}};
        Biff::rec(c.sheet, 0x0203, Biff::le({0, 300, 0}) + dbl(1));
        cases.push_back(c);
    }
    {
        BadCase c{"MULRK running past column 256", {}, {}};
        QByteArray m = Biff::le({0, 250});
        for (int i = 0; i < 10; ++i)
            m += Biff::le({0}) + Biff::le({2}, 4);
        Biff::rec(c.sheet, 0x00BD, m + Biff::le({259}));
        cases.push_back(c);
    }
    {
        BadCase c{"encrypted", {}, {}};
        Biff::rec(c.globals, 0x002F, QByteArray(6, '\0'));
        cases.push_back(c);
    }
    {
        BadCase c{"sheet offset past the end", {}, {}, 1000000};
        cases.push_back(c);
    }
    {
        BadCase c{"record length past the end", {}, {}};
        c.sheet = QByteArray("\x03\x02\xff\x7f", 4);
        cases.push_back(c);
    }
    {
        BadCase c{"number record too short", {}, {}};
        Biff::rec(c.sheet, 0x0203, Biff::le({0, 0}));
        cases.push_back(c);
    }
    for (const BadCase& c : cases) {
        Biff b;
        b.globals = c.globals;
        b.sheet = c.sheet;
        Sheet s;
        s.setEntry(1, 1, "kept", u'.');
        QString why;
        EXPECT_FALSE(b.read(s, &why, c.delta)) << c.what;
        EXPECT_FALSE(why.isEmpty()) << c.what;
        EXPECT_EQ(s.entry(1, 1), "kept") << c.what;
    }
}

// Broken compound files: chains that loop, tables and sizes past the end.
TEST(Xls, RejectsBrokenCompoundFiles) {
    QByteArray good;
    ASSERT_TRUE(xls::write(sampleSheet(), good));
    auto u32 = [](QByteArray& f, qsizetype at) -> uint32_t& { return *reinterpret_cast<uint32_t*>(f.data() + at); };
    auto u16 = [](QByteArray& f, qsizetype at) -> uint16_t& { return *reinterpret_cast<uint16_t*>(f.data() + at); };
    const qsizetype fat = 512 + qsizetype(u32(good, 0x4C)) * 512;  // first FAT sector
    struct Variant {
        const char* what;
        std::function<void(QByteArray&)> breakIt;
    } variants[] = {
        {"chain looping on itself", [&](QByteArray& f) {
             for (int i = 0; i < 128; ++i)
                 if (u32(f, fat + 4 * i) == uint32_t(i + 1)) {
                     u32(f, fat + 4 * i) = uint32_t(i);
                     break;
                 }
         }},
        {"chain looping back", [&](QByteArray& f) {
             for (int i = 3; i < 128; ++i)
                 if (u32(f, fat + 4 * i) == uint32_t(i + 1)) {
                     u32(f, fat + 4 * i) = uint32_t(i - 2);
                     break;
                 }
         }},
        {"chain running past the end", [&](QByteArray& f) { u32(f, fat + 8) = 0x7FFFFFF0u; }},
        {"directory past the end", [&](QByteArray& f) { u32(f, 0x30) = 0x00FFFFF0u; }},
        {"FAT sector past the end", [&](QByteArray& f) { u32(f, 0x4C) = 0x00FFFFF0u; }},
        {"huge sector size", [&](QByteArray& f) { u16(f, 0x1E) = 30; }},
        {"FAT count lying", [&](QByteArray& f) { u32(f, 0x2C) = 0x7FFFFFFFu; }},
        {"cut in half", [&](QByteArray& f) { f.truncate(f.size() / 2); }},
    };
    for (const Variant& v : variants) {
        QByteArray bad = good;
        v.breakIt(bad);
        ASSERT_NE(bad, good) << v.what;
        Sheet s;
        QString why;
        EXPECT_FALSE(xls::read(bad, s, &why)) << v.what;
        EXPECT_FALSE(why.isEmpty()) << v.what;
    }
}

TEST(Xls, RejectsWhatIsNotABiff8Workbook) {
    Sheet s;
    QString why;
    EXPECT_FALSE(xls::read(QByteArray(), s, &why));
    EXPECT_FALSE(xls::read(QByteArray("Name,Nation\nMüller,AUT\n"), s, &why));
    QByteArray file;
    QByteArray biff5 = Biff::le({0x0809, 8, 0x0500, 0x0005, 0, 0});
    ASSERT_TRUE(xls::container(biff5, file));
    EXPECT_FALSE(xls::read(file, s, &why));
    EXPECT_TRUE(why.contains("BIFF8")) << why.toStdString();
}

TEST(XlsSave, ReplacesTheFileAndLeavesNoTemporaryFile) {
    TempWorkDir dir;
    dir.write("liste.xls", "old contents");
    ASSERT_TRUE(xls::saveAtomically("liste.xls", "new contents"));
    EXPECT_EQ(dir.read("liste.xls"), "new contents");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"liste.xls"});
}

TEST(XlsSave, TemporaryFilesOfCrashedSavesAreRemovedLater) {
    TempWorkDir dir;
    dir.write(".liste.xls.abc123", "left by a killed save");
    dir.write(".liste.xls.def456", "a save still running");
    dir.write(".other.xls.abc123", "not ours");
    QFile old(dir.file(".liste.xls.abc123"));
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600), QFileDevice::FileModificationTime));
    old.close();
    ASSERT_TRUE(xls::saveAtomically("liste.xls", "new contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{".liste.xls.def456", ".other.xls.abc123", "liste.xls"}));
}

TEST(XlsSave, FailedSaveKeepsTheOldFile) {
    TempWorkDir dir;
    // a folder in the way of the file: the rename fails
    QDir(dir.path()).mkdir("busy.xls");
    dir.write("busy.xls/inside", "x");
    QString why;
    EXPECT_FALSE(xls::saveAtomically(dir.file("busy.xls"), "new contents", &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"busy.xls"});  // no temporary file left behind
}

TEST(XlsSave, ReadOnlyFolderKeepsTheOldFile) {
    TempWorkDir dir;
    // Root writes into read-only folders: the save runs as nobody, as
    // setpriv --reuid=nobody --regid=nogroup --clear-groups would start it.
    const bool root = ::geteuid() == 0;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    QDir(dir.path()).mkdir("ro");
    const QString target = dir.file("ro/liste.xls");
    dir.write("ro/liste.xls", "old contents");
    ::chmod(QFile::encodeName(target).constData(), 0666);
    QFile::setPermissions(dir.file("ro"), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    auto save = [&] {
        QString why;
        const bool ok = xls::saveAtomically(target, "new contents", &why);
        return ok ? 0 : why.contains("Permission denied") ? 1 : 2;
    };
    int result;
    if (root) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::setgroups(0, nullptr) != 0 || ::setresgid(nobody->pw_gid, nobody->pw_gid, nobody->pw_gid) != 0 ||
                ::setresuid(nobody->pw_uid, nobody->pw_uid, nobody->pw_uid) != 0)
                ::_exit(3);
            ::_exit(save());
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        result = WEXITSTATUS(status);
    } else {
        result = save();
    }
    QFile::setPermissions(dir.file("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(result, 1);  // refused, for the folder's sake
    EXPECT_EQ(dir.read("ro/liste.xls"), "old contents");
    EXPECT_EQ(QDir(dir.file("ro")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"liste.xls"});
}

// A writer killed at random moments never leaves a file that does not read.
TEST(XlsSave, KilledSavesLeaveACompleteFile) {
    TempWorkDir dir;
    Sheet big = sampleSheet();
    QByteArray first;
    ASSERT_TRUE(xls::write(big, first));
    ASSERT_TRUE(xls::saveAtomically("liste.xls", first));
    for (int round = 0; round < 8; ++round) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Sheet s = big;
            for (int i = 0;; ++i) {
                s.setEntry(5, 1, QString::number(i), u'.');
                QByteArray bytes;
                xls::write(s, bytes);
                xls::saveAtomically("liste.xls", bytes);
            }
        }
        ::usleep(useconds_t(20000 + 13000 * round));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        Sheet back;
        QString why;
        ASSERT_TRUE(xls::readFile("liste.xls", back, &why)) << why.toStdString();
        EXPECT_EQ(back.entry(31, 1), big.entry(31, 1));
    }
}

} // namespace
