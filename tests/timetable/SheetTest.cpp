#include "timetable/Sheet.h"

#include "protocol/TimeText.h"

#include <gtest/gtest.h>

namespace {

constexpr double kSec = 1.0 / 86400;

struct EntryCase {
    const char* entry;
    bool timeCell;
    QChar sep;
    Cell::Kind kind;
    double number;  // Time: seconds
};

TEST(SheetEntry, ParsesNumbersTimesAndTexts) {
    const EntryCase cases[] = {
        {"00:02:03.456", false, u'.', Cell::Time, 123.456},
        {"  1:23:45.678", false, u'.', Cell::Time, 5025.678},
        {"2:03.456", false, u'.', Cell::Time, 123.456},
        {"2:03,456", false, u',', Cell::Time, 123.456},
        {"1:00:00", false, u'.', Cell::Time, 3600},
        {"9.5", true, u'.', Cell::Time, 9.5},          // seconds in a time cell
        {"9.5", false, u'.', Cell::Number, 9.5},
        {"9,5", false, u',', Cell::Number, 9.5},
        {"0203.456", false, u'.', Cell::Number, 203.456},
        {"-1.5e3", false, u'.', Cell::Number, -1500},
        {"-3", true, u'.', Cell::Number, -3},          // no negative times
        {"TRUE", false, u'.', Cell::Bool, 1},
        {"#DIV/0!", false, u'.', Cell::Error, 7},
        {"1:2.5", false, u'.', Cell::Text, 0},         // seconds need two digits
        {"12:34", false, u'.', Cell::Text, 0},         // h:mm or m:ss? stays a text
        {"1:60.000", false, u'.', Cell::Text, 0},
        {"   12 34.567", false, u'.', Cell::Text, 0},
        {"9,5", false, u'.', Cell::Text, 0},
        {"'123", false, u'.', Cell::Text, 0},
        {"Müller", false, u'.', Cell::Text, 0},
        {"1e999", false, u'.', Cell::Text, 0},
        {"nan", false, u'.', Cell::Text, 0},
    };
    for (const auto& c : cases) {
        const ParsedEntry p = parseEntry(QString::fromUtf8(c.entry), c.timeCell, c.sep);
        EXPECT_EQ(p.kind, c.kind) << c.entry;
        if (p.kind == Cell::Time) {
            EXPECT_NEAR(p.number, c.number * kSec, 1e-12) << c.entry;
        } else if (p.kind != Cell::Text) {
            EXPECT_DOUBLE_EQ(p.number, c.number) << c.entry;
        }
    }
    EXPECT_EQ(parseEntry("'123", false, u'.').text, "123");
    EXPECT_EQ(parseEntry("  a b ", false, u'.').text, "  a b ");
}

TEST(SheetEntry, TimeEntriesUseTheFormsOfTimingLines) {
    const std::pair<double, const char*> cases[] = {
        {123.456, "2:03.456"}, {5025.678, "1:23:45.678"}, {9.5, "9.500"}, {0, "0.000"},
        {59.9996, "1:00.000"}, {36000, "10:00:00.000"}, {0.0004, "0.000"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(timeEntry(seconds * kSec), text) << seconds;
}

// The scoreboard writes the time field of a line into the table and later
// compares what it reads back: both must give the same milliseconds.
TEST(SheetEntry, TimeEntriesConvertBackToTheSameMilliseconds) {
    const char* written[] = {"00:02:03.456", " 1:23:45.678", "00:00:09.500", "       9.500", "   2:05.100",
                             "00:59:59.999", "10:00:00.001", "0:40.000", "00:01:00.000"};
    for (QChar sep : {QChar(u'.'), QChar(u',')}) {
        for (bool timeCell : {true, false}) {
            Sheet s;
            if (timeCell)
                s.setFormat(1, 1, 1, 1, "m:ss.000");
            for (const char* w : written) {
                QString text = QString::fromLatin1(w);
                if (sep == u',')
                    text.replace(u'.', u',');  // the line after the locale separator went in
                s.setEntry(1, 1, text, sep);
                const QByteArray entry = s.entry(1, 1).toLatin1();
                EXPECT_EQ(Zeit_in_ms(entry.toStdString(), char(sep.unicode()), false),
                          Zeit_in_ms(text.toLatin1().toStdString(), char(sep.unicode()), false))
                    << w << " as " << entry.toStdString();
            }
        }
    }
}

// In seconds mode the scoreboard writes minutes and seconds without the
// colon ("0203.456") into cells formatted "###.##".
TEST(SheetEntry, SecondsModeEntriesConvertBackToTheSameMilliseconds) {
    const char* written[] = {"0203.456", "0003.456", "1203.450", "5959.999", "0000.001", "  09.5  "};
    for (bool secMode : {false, true}) {
        Sheet s;
        s.setFormat(1, 1, 1, 1, "###.##");
        for (const char* w : written) {
            s.setEntry(1, 1, QString::fromLatin1(w), u'.');
            EXPECT_EQ(s.cell(1, 1)->kind, Cell::Number) << w;
            const QByteArray entry = s.entry(1, 1).toLatin1();
            EXPECT_EQ(Zeit_in_ms(entry.toStdString(), '.', secMode), Zeit_in_ms(w, '.', secMode))
                << w << " as " << entry.toStdString() << (secMode ? " in seconds mode" : "");
        }
    }
}

TEST(SheetEntry, NumberEntriesReadBackExactly) {
    EXPECT_EQ(numberEntry(100000), "100000");
    EXPECT_EQ(numberEntry(0.00001), "0.00001");
    EXPECT_EQ(numberEntry(1e21), "1e+21");
    for (double v : {0.1, 1.0 / 3, 203.456, -0.001, 1e20, 123456789.125, 5e-324, 1e-7}) {
        const ParsedEntry p = parseEntry(numberEntry(v), false, u'.');
        ASSERT_EQ(p.kind, Cell::Number) << v;
        EXPECT_EQ(p.number, v);
    }
}

class SheetTest : public ::testing::Test {
protected:
    Sheet s;
};

TEST_F(SheetTest, EntryAndTextOfEachKind) {
    s.setFormat(1, 6, 20, 17, "m:ss.000");
    ASSERT_TRUE(s.setEntry(10, 6, "00:02:03.456", u'.'));
    EXPECT_EQ(s.entry(10, 6), "2:03.456");
    EXPECT_EQ(s.text(10, 6, u'.'), "2:03.456");
    ASSERT_TRUE(s.setEntry(10, 3, "Müller", u'.'));
    EXPECT_EQ(s.entry(10, 3), "Müller");
    EXPECT_EQ(s.text(10, 3, u'.'), "Müller");
    s.setEntry(10, 2, "7", u'.');
    EXPECT_EQ(s.entry(10, 2), "7");
    s.setEntry(11, 2, "1:23.456", u'.');  // a typed time gets a time format
    EXPECT_EQ(s.text(11, 2, u'.'), "1:23.456");
    s.setEntry(12, 2, "2:00:00", u'.');
    EXPECT_EQ(s.text(12, 2, u'.'), "2:00:00.000");
    EXPECT_EQ(s.entry(99, 99), "");
    EXPECT_EQ(s.entry(0, 1), "");
    EXPECT_EQ(s.entry(70000, 1), "");
}

// The board asks, for every line, whether cells hold anything: the answer is
// the entry text's, for every kind of cell.
TEST_F(SheetTest, HasEntryIsWhetherTheEntryTextIsEmpty) {
    s.setEntry(10, 6, "1:07.250", u'.');
    s.setEntry(10, 3, "Müller", u'.');
    s.setEntry(10, 2, "7", u'.');
    s.setEntry(10, 4, "TRUE", u'.');
    s.setEntry(10, 5, "#DIV/0!", u'.');
    s.setEntry(10, 7, "x", u'.');
    s.setEntry(10, 7, "", u'.');   // emptied
    s.touch(10, 8)->kind = Cell::Text;  // a text cell without text, as a file may hold one
    s.touch(10, 9);                 // made, never filled
    int filled = 0;
    for (int row : {0, 9, 10, 11, 70000})
        for (int col : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 300}) {
            EXPECT_EQ(s.hasEntry(row, col), !s.entry(row, col).isEmpty()) << row << ", " << col;
            filled += s.hasEntry(row, col);
        }
    EXPECT_EQ(filled, 5);
}

TEST_F(SheetTest, EmptyingAndUnchangedEntriesAreNoChange) {
    EXPECT_FALSE(s.setEntry(5, 5, "", u'.'));  // nothing to empty
    EXPECT_TRUE(s.setEntry(5, 5, "x", u'.'));
    EXPECT_FALSE(s.setEntry(5, 5, "x", u'.'));
    EXPECT_TRUE(s.setEntry(5, 5, "", u'.'));
    EXPECT_EQ(s.cell(5, 5), nullptr);  // rows stay sparse
    EXPECT_TRUE(s.isEmpty());
    EXPECT_FALSE(s.setEntry(5, 0, "x", u'.'));
    EXPECT_FALSE(s.setEntry(5, 257, "x", u'.'));
}

TEST_F(SheetTest, NumberFormatsTurnTimesIntoSecondsAndBack) {
    s.setEntry(7, 6, "2:03.456", u'.');
    s.setEntry(7, 7, "-1", u'.');
    s.setEntry(7, 8, "x", u'.');
    EXPECT_TRUE(s.setFormat(1, 6, 256, 17, "###.##"));
    EXPECT_FALSE(s.setFormat(1, 6, 256, 17, "###.##"));
    EXPECT_EQ(s.entry(7, 6), "123.456");  // the seconds of the time
    EXPECT_EQ(s.text(7, 6, u'.'), "123.46");
    s.setEntry(7, 6, "", u'.');
    EXPECT_EQ(s.formatOf(7, 6), "###.##");  // an emptied cell keeps its format
    s.setEntry(7, 6, "0203.456", u'.');
    EXPECT_EQ(s.text(7, 6, u'.'), "203.46");
    EXPECT_EQ(s.entry(7, 6), "203.456");
    EXPECT_TRUE(s.setFormat(1, 6, 256, 17, "m:ss.000"));
    EXPECT_EQ(s.entry(7, 6), "3:23.456");
    EXPECT_EQ(s.entry(7, 7), "-1");  // no negative times
    EXPECT_EQ(s.entry(7, 8), "x");
    EXPECT_EQ(s.formatOf(300, 6), "General");
}

TEST_F(SheetTest, CellsAreFoundAmongManyRowsAndColumns) {
    for (int c = 256; c >= 1; c -= 3)
        s.setEntry(1000, c, QString::number(c), u'.');
    for (int c = 1; c <= 256; ++c)
        EXPECT_EQ(s.entry(1000, c), (256 - c) % 3 == 0 ? QString::number(c) : QString()) << c;
    s.setEntry(65536, 256, "last", u'.');
    EXPECT_EQ(s.entry(65536, 256), "last");
}

} // namespace
