#include "timetable/CellFormat.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kSec = 1.0 / 86400;

struct FormatCase {
    double value;
    const char* code;
    const char* shown;
};

TEST(CellFormat, FormatsTimesNumbersAndDates) {
    const FormatCase cases[] = {
        // the two formats of the time table
        {123.456 * kSec, "m:ss.000", "2:03.456"},
        {(3600 + 123.456) * kSec, "m:ss.000", "2:03.456"},  // hours are not shown
        {9.5 * kSec, "m:ss.000", "0:09.500"},
        {59.9996 * kSec, "m:ss.000", "1:00.000"},           // rounds up into the minute
        {203.456, "###.##", "203.46"},
        {0.5, "###.##", ".5"},
        {0, "###.##", "."},
        {12, "###.##", "12."},
        {-1.234, "###.##", "-1.23"},
        // formats common in real files
        {1.5, "General", "1.5"},
        {1234567890123.0, "General", "1.23457E+12"},
        {1.0 / 3, "General", "0.333333333"},
        {-2, "General", "-2"},
        {3.14159, "0.00", "3.14"},
        {1234567.891, "#,##0.00", "1,234,567.89"},
        {1234, "#,##0", "1,234"},
        {0.256, "0.0%", "25.6%"},
        {12345, "0.00E+00", "1.23E+04"},
        {-5, "0.00;(0.00)", "(5.00)"},
        {0, "0;-0;\"zero\"", "zero"},
        {7, "000", "007"},
        {(3600 * 25 + 61.5) * kSec, "[h]:mm:ss.000", "25:01:01.500"},
        {(3600 + 61) * kSec, "h:mm:ss", "1:01:01"},
        {61.26 * kSec, "mm:ss.0", "01:01.3"},
        {(13 * 3600 + 5 * 60) * kSec, "h:mm AM/PM", "1:05 PM"},
        {45000, "yyyy-mm-dd", "2023-03-15"},
        {45000.5, "dd.mm.yyyy hh:mm", "15.03.2023 12:00"},
        {45000, "d-mmm-yy", "15-Mar-23"},
        {1, "\"Lap \"0", "Lap 1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cellfmt::format(c.value, QString::fromUtf8(c.code), u'.'), QString::fromUtf8(c.shown))
            << c.code << " of " << c.value;
}

TEST(CellFormat, OddFormatsGiveTextNotCrashes) {
    const QString many = QStringLiteral("0.") + QString(500, u'0');
    EXPECT_EQ(cellfmt::format(1.5, many, u'.').size(), 2 + 30);  // a double has no more digits
    EXPECT_EQ(cellfmt::format(1.5, QString(400, u'0'), u'.').size(), 400);
    for (const char* code : {"", ";", ";;;", "\\", "\"", "[", "[h", "E+", "0E+", ".", ",", "%%%", "@",
                             "[hhhhhh]:mm", "yyyyyyyy", "mmmmmmmm", "a/p", "00.00.00", "#,##0,,", "?/?"}) {
        for (double v : {0.0, -1.5, 1e300, 45000.25, 1e-300})
            (void)cellfmt::format(v, QString::fromLatin1(code), u'.');
    }
    EXPECT_EQ(cellfmt::format(1234567, "#,##0,", u'.'), "1,235");
    EXPECT_EQ(cellfmt::format(std::nan(""), "0.00", u'.'), "#NUM!");
}

TEST(CellFormat, LocaleSeparatorReplacesThePoint) {
    EXPECT_EQ(cellfmt::format(123.456 * kSec, "m:ss.000", u','), "2:03,456");
    EXPECT_EQ(cellfmt::format(203.456, "###.##", u','), "203,46");
    EXPECT_EQ(cellfmt::format(1.5, "General", u','), "1,5");
}

TEST(CellFormat, ClassifiesFormats) {
    using K = cellfmt::Kind;
    const std::pair<const char*, K> cases[] = {
        {"m:ss.000", K::Time}, {"[h]:mm:ss.000", K::Time}, {"mm:ss.0", K::Time}, {"h:mm AM/PM", K::Time},
        {"###.##", K::Number}, {"General", K::Number}, {"0.00", K::Number}, {"\"h\"0", K::Number},
        {"yyyy-mm-dd", K::Date}, {"mmm", K::Date}, {"[Red]d/m/yy h:mm", K::Date},
    };
    for (const auto& [code, kind] : cases)
        EXPECT_EQ(cellfmt::classify(code), kind) << code;
}

TEST(CellFormat, BuiltinIdsRoundTrip) {
    for (int id = 0; id < 50; ++id) {
        const QString code = cellfmt::builtin(id);
        if (!code.isEmpty()) {
            EXPECT_EQ(cellfmt::builtinId(code), id) << id;
        }
    }
    EXPECT_EQ(cellfmt::builtin(21), "h:mm:ss");
    EXPECT_EQ(cellfmt::builtin(47), "mm:ss.0");
    EXPECT_EQ(cellfmt::builtinId("m:ss.000"), -1);
}

} // namespace
