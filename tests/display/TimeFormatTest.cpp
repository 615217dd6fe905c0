#include "display/TimeFormat.h"

#include <gtest/gtest.h>

TEST(ZeitFormatieren, Table) {
    struct Case {
        uint32_t ms;
        int digits;
        char sep;
        const char* text;
    } cases[] = {
        {3723456, 2, '.', "1:02:03.45"},   // cut, not rounded
        {123456, 2, '.', "2:03.45"},
        {3456, 2, '.', "3.45"},
        {50, 2, '.', "0.05"},
        {123456, 0, '.', "2:03"},
        {123456, 3, '.', "2:03.456"},
        {123456, 1, ',', "2:03,4"},
        {3456, 2, ',', "3,45"},
        {86400000, 2, '.', "0.00"},         // a day or more shows zero
        {86399999, 3, '.', "23:59:59.999"},
        {uint32_t(-1500), 2, '.', "0.00"},  // negative counts too
        {60000, 2, '.', "1:00.00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Zeit_formatieren(c.ms, c.digits, c.sep), c.text) << c.ms << " " << c.digits;
}

TEST(FormatDifference, SignAndRounding) {
    struct Case {
        int64_t ms;
        char sep;
        const char* text;
    } cases[] = {
        {1500, '.', "+1.50"}, {-1500, '.', "-1.50"}, {0, '.', "+0.00"},   {1505, '.', "+1.51"},
        {1504, '.', "+1.50"}, {-1505, ',', "-1,51"}, {-3, '.', "-0.00"},  {61234, '.', "+61.23"},
        {-4294967295LL, '.', "-4294967.30"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatDifference(c.ms, c.sep), c.text) << c.ms;
}
