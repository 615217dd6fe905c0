#include "common/IntValue.h"

#include <gtest/gtest.h>

struct IntCase {
    const char* text;
    int fallback;
    int expected;
};

void PrintTo(const IntCase& c, std::ostream* os) {
    *os << '"' << c.text << "\" -> " << c.expected;
}

class IntValueTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(IntValueTest, Converts) {
    const IntCase& c = GetParam();
    EXPECT_EQ(intValue(std::string_view(c.text), c.fallback), c.expected) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(Table, IntValueTest, ::testing::Values(
    IntCase{"", 7, 7},
    IntCase{"   ", 7, 7},
    IntCase{"0", 7, 0},
    IntCase{"123", 0, 123},
    IntCase{"  7", 0, 7},          // leading blanks accepted
    IntCase{"7  ", 5, 5},          // trailing blanks are not
    IntCase{"+42", 0, 42},
    IntCase{"-42", 0, -42},
    IntCase{"- 4", 9, 9},
    IntCase{"$64", 0, 100},
    IntCase{"x1F", 0, 31},
    IntCase{"X1f", 0, 31},
    IntCase{"0x10", 0, 16},
    IntCase{"0X10", 0, 16},
    IntCase{"-$10", 0, -16},
    IntCase{"$", 3, 3},
    IntCase{"0x", 3, 3},
    IntCase{"$FFFFFFFF", 0, -1},   // hex takes all 32 bits
    IntCase{"$100000000", 3, 3},
    IntCase{"2147483647", 0, 2147483647},
    IntCase{"2147483648", 3, 3},   // overflow gives the fallback
    IntCase{"-2147483648", 0, int(-2147483647 - 1)},
    IntCase{"99999999999999999999", 3, 3},
    IntCase{"12a", 4, 4},
    IntCase{"1.5", 4, 4},
    IntCase{"abc", 0, 0},
    IntCase{"\t5", 4, 4}));

TEST(IntValue, QStringAndBytesAgree) {
    EXPECT_EQ(intValue(QString("  12")), 12);
    EXPECT_EQ(intValue(QByteArray("$ff")), 255);
    EXPECT_EQ(intValue(QString::fromUtf8("1\xc3\xa9"), -1), -1);
}
