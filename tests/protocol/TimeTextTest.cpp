#include "protocol/TimeText.h"

#include <gtest/gtest.h>

struct TimeCase {
    const char* text;
    char separator;
    bool secMode;
    int ms;
};

void PrintTo(const TimeCase& c, std::ostream* os) {
    *os << '"' << c.text << "\" sep '" << c.separator << "'" << (c.secMode ? " secmode" : "") << " -> " << c.ms;
}

class ZeitInMs : public ::testing::TestWithParam<TimeCase> {};

TEST_P(ZeitInMs, Converts) {
    const TimeCase& c = GetParam();
    EXPECT_EQ(Zeit_in_ms(c.text, c.separator, c.secMode), c.ms);
}

INSTANTIATE_TEST_SUITE_P(Table, ZeitInMs, ::testing::Values(
    TimeCase{"", '.', false, 0},
    TimeCase{"            ", '.', false, 0},
    TimeCase{"       9.5  ", '.', false, 9500},
    TimeCase{"    2:05.10 ", '.', false, 125100},
    TimeCase{" 1:23:45.678", '.', false, 5025678},
    TimeCase{"    2:05.1", '.', false, 125100},
    TimeCase{"23.4567", '.', false, 27567},       // four fraction digits taken as milliseconds
    TimeCase{"1:2.5", '.', false, 60500},         // ":2" before the point is not a number
    TimeCase{"12:34", '.', false, 720000},        // no separator: minutes only
    TimeCase{"   12 34.567", '.', true, 754567},
    TimeCase{"   12:34.567", '.', true, 754567},
    TimeCase{"123.456", '.', true, 23456},        // the place three before the point is overwritten
    // Seconds mode past an hour: the hours' colon place counts as well.
    TimeCase{"01 02 03.456", '.', true, 3723456},
    TimeCase{"01:02:03.456", '.', true, 3723456},
    TimeCase{"00 02 03.456", '.', true, 123456},
    TimeCase{" 1:02:03.456", '.', true, 3723456},
    TimeCase{"1:02:03.456", '.', true, 3723456},   // a time cell's entry text
    TimeCase{"1:07.250", '.', true, 67250},
    TimeCase{"01 02 03", '.', true, 3720000},      // no separator: hours and minutes only
    // The locale separator: a point is turned into it first.
    TimeCase{"    2:05.10 ", ',', false, 125100},
    TimeCase{"    2:05,10 ", ',', false, 125100},
    TimeCase{"00:02:03,456", ',', false, 123456},
    // Further shapes a device or a table cell can hold.
    TimeCase{"10:00:00.000", '.', false, 36000000},
    TimeCase{"23:59:59.999", '.', false, 86399999},
    TimeCase{".5", '.', false, 0},                // separator first: no seconds, no fraction
    TimeCase{"5", '.', false, 0},
    TimeCase{"  :  :  .   ", '.', false, 0},
    TimeCase{"1:00:00:00.5", '.', false, 3600000 + 500},  // only two colons count
    TimeCase{"ab:cd.efg", '.', false, 0}));

TEST(ZeitInMsRobustness, HugeNumbersWrapInsteadOfOverflowing) {
    // Values beyond 32 bits are meaningless, but must neither crash nor trap.
    EXPECT_NO_FATAL_FAILURE(Zeit_in_ms("2147483647:2147483647:59.999", '.', false));
    EXPECT_EQ(Zeit_in_ms("99999999999.5", '.', false), 99500);  // the two places before the point
    EXPECT_EQ(Zeit_in_ms(std::string(5000, '9'), '.', false), 0);
}
