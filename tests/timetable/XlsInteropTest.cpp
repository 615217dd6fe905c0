// Interoperability with real peers: Debian's python3-xlrd reads what we
// write, python3-xlwt and LibreOffice write what we read.
#include "timetable/Xls.h"

#include "TempDir.h"
#include "NotAFile.h"

#include <QElapsedTimer>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

#include <map>

namespace {

// Debian's interpreter: the python3 first on PATH may lack Debian's modules.
const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kInterop = QStringLiteral(TD_SOURCE_DIR "/tests/timetable/interop/");

QByteArray run(const QString& program, const QStringList& args, int* exitCode = nullptr) {
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(120000)) << program.toStdString();
    const QByteArray err = p.readAllStandardError();
    if (exitCode)
        *exitCode = p.exitCode();
    else
        EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << ": " << err.toStdString();
    return p.readAllStandardOutput();
}

struct XlrdCell {
    int type;
    QJsonValue value;
    QString format;
};

std::map<std::pair<int, int>, XlrdCell> xlrdCells(const QString& file, QString* sheetName) {
    const QList<QByteArray> lines = run(kPython, {kInterop + "xlrd_dump.py", file}).split('\n');
    std::map<std::pair<int, int>, XlrdCell> out;
    if (lines.isEmpty())
        return out;
    *sheetName = QString::fromUtf8(lines[0]);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        const QJsonArray a = QJsonDocument::fromJson(lines[i]).array();
        out[{a[0].toInt(), a[1].toInt()}] = {a[2].toInt(), a[3], a[4].toString()};
    }
    return out;
}

// xlrd cell types
enum { kEmpty, kText, kNumber, kDate, kBool, kError, kBlank };

TEST(XlsInterop, XlrdReadsEveryCellAsWritten) {
    TempWorkDir dir;
    Sheet s;
    s.setName("Times");
    s.setFormat(1, 6, 256, 17, "m:ss.000");
    s.setFormat(1, 18, 1, 18, "###.##");
    const char* names[] = {"Müller", "Šimon", "Øre", "Nuñez", "O'Brien", "日本", "tab\there"};
    for (int i = 0; i < 7; ++i) {
        s.setEntry(10 + i, 2, QString::number(i + 1), u'.');
        s.setEntry(10 + i, 3, QString::fromUtf8(names[i]), u'.');
        s.setEntry(10 + i, 6, QStringLiteral("00:0%1:0%2.%3").arg(1 + i).arg(i).arg(100 + i), u'.');
        s.setEntry(10 + i, 8, QStringLiteral("1:2%1:00.5").arg(i), u'.');
    }
    s.setEntry(1, 18, "203.456", u'.');
    s.setEntry(20, 2, "0.1", u'.');
    s.setEntry(20, 3, "-123456789.5", u'.');
    s.setEntry(20, 4, "1e300", u'.');
    s.setEntry(20, 5, "FALSE", u'.');
    s.setEntry(20, 18, "#DIV/0!", u'.');
    s.setEntry(30, 1, QString(9000, QChar(0x0160)), u'.');
    for (int i = 0; i < 3000; ++i)
        s.setEntry(100 + i, 3, QStringLiteral("Läufer %1").arg(i), u'.');
    QByteArray file;
    ASSERT_TRUE(xls::write(s, file));
    ASSERT_TRUE(xls::saveAtomically("out.xls", file));

    QString name;
    const auto cells = xlrdCells(dir.file("out.xls"), &name);
    EXPECT_EQ(name, "Times");
    size_t checked = 0;
    for (size_t r = 0; r < s.rows().size(); ++r) {
        for (const Cell& c : s.rows()[r]) {
            const auto it = cells.find({int(r) + 1, c.col + 1});
            ASSERT_NE(it, cells.end()) << r + 1 << "," << c.col + 1;
            const XlrdCell& x = it->second;
            const QString where = QStringLiteral("%1,%2").arg(r + 1).arg(c.col + 1);
            EXPECT_EQ(x.format, s.formats()[c.format]) << where.toStdString();
            switch (c.kind) {
            case Cell::Empty: EXPECT_EQ(x.type, kBlank) << where.toStdString(); break;
            case Cell::Text:
                EXPECT_EQ(x.type, kText) << where.toStdString();
                EXPECT_EQ(x.value.toString(), c.text) << where.toStdString();
                break;
            case Cell::Number:
            case Cell::Time:
                // xlrd calls a number in a time format a date, except where its
                // guess by letter counts fails ("m:ss.000" has as many zeros)
                if (s.isTimeFormat(c.format)) {
                    EXPECT_TRUE(x.type == kDate || x.type == kNumber) << where.toStdString();
                } else {
                    EXPECT_EQ(x.type, kNumber) << where.toStdString();
                }
                EXPECT_EQ(x.value.toDouble(), c.number) << where.toStdString();
                break;
            case Cell::Bool:
                EXPECT_EQ(x.type, kBool) << where.toStdString();
                EXPECT_EQ(x.value.toInt(), int(c.number)) << where.toStdString();
                break;
            case Cell::Error:
                EXPECT_EQ(x.type, kError) << where.toStdString();
                EXPECT_EQ(x.value.toInt(), int(c.number)) << where.toStdString();
                break;
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, cells.size());  // and xlrd sees nothing we did not write
    EXPECT_GT(checked, 3000u);
}

// What xlsdump prints for a file, as row,col -> entry text.
std::map<std::pair<int, int>, QString> dump(const QString& file) {
    std::map<std::pair<int, int>, QString> out;
    const QByteArray text = run(QStringLiteral(TD_BINARY_DIR "/tools/xlsdump"), {file});
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() == 3)
            out[{f[0].toInt(), f[1].toInt()}] = QString::fromUtf8(f[2]);
    }
    return out;
}

TEST(XlsInterop, ReadsWhatXlwtWrites) {
    TempWorkDir dir;
    run(kPython, {kInterop + "xlwt_make.py", dir.file("xlwt.xls")});
    Sheet s;
    QString why;
    ASSERT_TRUE(xls::readFile("xlwt.xls", s, &why)) << why.toStdString();
    EXPECT_EQ(s.name(), "Times");
    EXPECT_EQ(s.entry(2, 2), "Stadtlauf");
    EXPECT_EQ(s.entry(6, 6), "1:58.250");
    EXPECT_EQ(s.text(6, 6, u'.'), "1:58.250");
    const char* names[] = {"Müller", "Šimon", "Øre", "Nuñez", "日本"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s.entry(10 + i, 2), QString::number(i + 1));
        EXPECT_EQ(s.entry(10 + i, 3), QString::fromUtf8(names[i]));
        EXPECT_EQ(s.entry(10 + i, 6), QStringLiteral("1:0%1.125").arg(i));
        EXPECT_EQ(s.entry(10 + i, 8), QStringLiteral("1:00:0%1.000").arg(i));
        EXPECT_EQ(s.text(10 + i, 8, u'.'), QStringLiteral("1:00:0%1.000").arg(i));
    }
    EXPECT_EQ(s.entry(21, 2), "0.1");
    EXPECT_EQ(s.entry(21, 3), "-123456789.5");
    EXPECT_EQ(s.entry(21, 4), "TRUE");
    EXPECT_EQ(s.entry(21, 5), "1.5e+300");
    EXPECT_EQ(s.entry(21, 6), QString(9000, u'x'));
    EXPECT_EQ(s.entry(2099, 3), "Läufer 1998");
    // xlsdump prints the same entries, escaped
    const auto d = dump(dir.file("xlwt.xls"));
    EXPECT_EQ(d.at({10, 3}), "Müller");
    EXPECT_EQ(d.at({11, 6}), "1:01.125");
    EXPECT_EQ(d.size(), 2 + 1 + 5 * 5 + 5 + 2000u);
}

TEST(XlsInterop, RoundTripThroughXlwtFileKeepsEverything) {
    TempWorkDir dir;
    run(kPython, {kInterop + "xlwt_make.py", dir.file("liste.xls")});
    Sheet s;
    ASSERT_TRUE(xls::readFile("liste.xls", s));
    const auto before = dump(dir.file("liste.xls"));
    ASSERT_TRUE(s.setEntry(12, 6, "1:59.999", u'.'));
    QByteArray file;
    ASSERT_TRUE(xls::write(s, file));
    ASSERT_TRUE(xls::saveAtomically("liste.xls", file));
    auto after = dump(dir.file("liste.xls"));
    EXPECT_EQ(after.at({12, 6}), "1:59.999");
    after[{12, 6}] = before.at({12, 6});
    EXPECT_EQ(after, before);
}

TEST(XlsDump, EscapesAndReportsRejectedFiles) {
    TempWorkDir dir;
    Sheet s;
    s.setEntry(1, 1, "a\\b\tc\nd\re", u'.');
    s.setEntry(2, 3, "2:03.456", u'.');
    QByteArray file;
    ASSERT_TRUE(xls::write(s, file));
    dir.write("t.xls", file);
    EXPECT_EQ(run(QStringLiteral(TD_BINARY_DIR "/tools/xlsdump"), {dir.file("t.xls")}),
              "1\t1\ta\\\\b\\tc\\nd\\re\n2\t3\t2:03.456\n");
    dir.write("bad.xls", "not a workbook");
    QProcess p;
    p.start(QStringLiteral(TD_BINARY_DIR "/tools/xlsdump"), {dir.file("bad.xls")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(p.readAllStandardError().contains("OLE2")) ;
}

TEST(XlsDump, RefusesWhatIsNotAFileAtOnce) {
    const char* reasons[] = {"FIFO", "device", "directory", "too large"};
    for (NotAFile kind : kNotAFiles) {
        SCOPED_TRACE(name(kind));
        TempWorkDir dir;
        ASSERT_TRUE(makeNotAFile(kind, dir.file("odd.xls"), xls::kMaxFileSize + 1));
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.start(QStringLiteral(TD_BINARY_DIR "/tools/xlsdump"), {dir.file("odd.xls")});
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_LT(t.elapsed(), 5000);
        EXPECT_EQ(p.exitCode(), 1);
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
        EXPECT_TRUE(p.readAllStandardError().contains(reasons[int(kind)]));
    }
}

} // namespace

namespace {

// Every cell xlrd sees in a file, as our reader sees it.
void expectSameAsXlrd(const QString& file, const Sheet& s) {
    QString name;
    const auto cells = xlrdCells(file, &name);
    EXPECT_EQ(s.name(), name);
    ASSERT_FALSE(cells.empty());
    for (const auto& [at, x] : cells) {
        const Cell* c = s.cell(at.first, at.second);
        const std::string where = file.toStdString() + " " + std::to_string(at.first) + "," + std::to_string(at.second);
        ASSERT_NE(c, nullptr) << where;
        EXPECT_EQ(s.formats()[c->format], x.format) << where;
        switch (x.type) {
        case kText: EXPECT_EQ(c->text, x.value.toString()) << where; break;
        case kNumber:
        case kDate: EXPECT_EQ(c->number, x.value.toDouble()) << where; break;
        case kBool: EXPECT_EQ(c->kind, Cell::Bool) << where; EXPECT_EQ(c->number, x.value.toInt()) << where; break;
        case kError: EXPECT_EQ(c->kind, Cell::Error) << where; EXPECT_EQ(c->number, x.value.toInt()) << where; break;
        case kBlank: EXPECT_EQ(c->kind, Cell::Empty) << where; break;
        }
    }
}

TEST(XlsInterop, ReadsWhatLibreOfficeWrites) {
    const QString dir = QStringLiteral(TD_SOURCE_DIR "/tests/timetable/fixtures/");
    Sheet f;
    QString why;
    ASSERT_TRUE(xls::readFile(dir + "libreoffice-formats.xls", f, &why)) << why.toStdString();
    expectSameAsXlrd(dir + "libreoffice-formats.xls", f);
    EXPECT_EQ(f.name(), "Times");
    EXPECT_EQ(f.entry(1, 1), "Müller Šimon Øre");
    EXPECT_EQ(f.entry(1, 2), "2:03.456");
    EXPECT_EQ(f.text(1, 2, u'.'), "2:03.456");
    EXPECT_EQ(f.entry(1, 3), "25:01:02.500");
    EXPECT_EQ(f.text(1, 3, u'.'), "25:01:02.50");
    EXPECT_EQ(f.text(1, 4, u'.'), "3.14");
    EXPECT_EQ(f.text(1, 5, u'.'), "2026-12-10");
    EXPECT_EQ(f.entry(2, 1), "2.5");      // formula with its cached number
    EXPECT_EQ(f.entry(2, 3), "TRUE");     // cached boolean
    EXPECT_EQ(f.entry(2, 4), "#DIV/0!");  // cached error
    EXPECT_EQ(f.entry(2, 5), "-7");
    EXPECT_EQ(f.entry(3, 1), "line one\nline two");
    EXPECT_EQ(f.entry(3, 2), "123456789012");
    EXPECT_EQ(f.entry(3, 3), "0.1");

    Sheet p;
    ASSERT_TRUE(xls::readFile(dir + "libreoffice-plain.xls", p, &why)) << why.toStdString();
    expectSameAsXlrd(dir + "libreoffice-plain.xls", p);
    EXPECT_EQ(p.entry(2, 2), "Müller");
    EXPECT_EQ(p.entry(3, 2), "Šimon");
    EXPECT_EQ(p.entry(4, 2), "Øre");
    EXPECT_EQ(p.entry(5, 2), "Nuñez, Jr.");
    EXPECT_EQ(p.entry(5, 3), "José");
    EXPECT_EQ(p.entry(2, 5), "83.5");
    EXPECT_EQ(p.entry(3, 6), "-3");
    EXPECT_EQ(p.entry(4, 5), "");
    EXPECT_EQ(p.entry(5, 6), "100000");
}

} // namespace

namespace {

TEST(DemoTable, IsMadeFromItsCsvAndHoldsThe30Runners) {
    TempWorkDir dir;
    run(QStringLiteral(TD_BINARY_DIR "/tools/csv2xls"),
        {QStringLiteral(TD_SOURCE_DIR "/tools/demo-table.csv"), dir.file("made.xls")});
    const auto committed = dump(QStringLiteral(TD_SOURCE_DIR "/data/liste.xls"));
    EXPECT_EQ(committed, dump(dir.file("made.xls")));  // data/liste.xls is up to date
    Sheet s;
    ASSERT_TRUE(xls::readFile(QStringLiteral(TD_SOURCE_DIR "/data/liste.xls"), s));
    EXPECT_EQ(s.name(), "Times");
    EXPECT_FALSE(s.entry(2, 2).isEmpty());
    EXPECT_FALSE(s.entry(3, 2).isEmpty());
    EXPECT_EQ(s.entry(6, 6), "36.000");  // the preset finish of a simulated race
    EXPECT_EQ(s.formatOf(6, 6), "m:ss.000");
    for (int n = 1; n <= 30; ++n) {
        EXPECT_EQ(s.entry(n + 9, 2), QString::number(n));
        EXPECT_FALSE(s.entry(n + 9, 3).isEmpty()) << n;
        EXPECT_FALSE(s.entry(n + 9, 4).isEmpty()) << n;
        EXPECT_EQ(s.entry(n + 9, 5).size(), 3) << n;
        EXPECT_FALSE(s.entry(n + 9, 18).isEmpty()) << n;
    }
    EXPECT_EQ(s.entry(10, 3), "Müller");
    EXPECT_EQ(s.entry(40, 3), "");
}

} // namespace
