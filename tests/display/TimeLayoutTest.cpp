#include "display/TimeLayout.h"

#include <gtest/gtest.h>

namespace {
// Digits 20 px, colons 8 px, point 6 px: widths as a fixed-pitch font gives
// them after a font change are all different from the separators'.
constexpr std::array<int, kTimePlaces> kWidths = {20, 20, 8, 20, 20, 8, 20, 20, 6, 20, 20, 20};
} // namespace

TEST(TimeLayout, ZeroOffsetGivesGapFreeRow) {
    const auto l = layoutTimePlaces(500, kWidths, 0, false);
    int expected = 500;
    for (int i = 0; i < kTimePlaces; ++i) {
        EXPECT_EQ(l[i], expected) << i;
        expected += kWidths[i];
    }
}

TEST(TimeLayout, OffsetAppliesOnBothSidesOfEverySeparatorOnly) {
    const int o = -10;
    const auto l = layoutTimePlaces(100, kWidths, o, false);
    EXPECT_EQ(l[kHe], 120);                 // no offset between digits of a group
    EXPECT_EQ(l[kDp1], 140 + o);
    EXPECT_EQ(l[kMz], 140 + o + 8 + o);
    EXPECT_EQ(l[kMe], l[kMz] + 20);
    EXPECT_EQ(l[kDp2], l[kMe] + 20 + o);
    EXPECT_EQ(l[kSz], l[kDp2] + 8 + o);
    EXPECT_EQ(l[kPt], l[kSe] + 20 + o);
    EXPECT_EQ(l[kZ], l[kPt] + 6 + o);
    EXPECT_EQ(l[kT], l[kH] + 20);
}

TEST(TimeLayout, SecondsModeColonsTakeNoWidth) {
    const int o = 3;
    const auto l = layoutTimePlaces(0, kWidths, o, true);
    EXPECT_EQ(l[kDp1], l[kHe] + o);                  // at the left edge of the hours plus o
    EXPECT_EQ(l[kMz], l[kHe] + kWidths[kDp1] + 2 * o);
    EXPECT_EQ(l[kSz], l[kMe] + kWidths[kMe] + 2 * o);  // tens of seconds follow the minutes
}

TEST(TimeLayout, PrecisionPlaces) {
    using P = std::array<bool, 4>;
    EXPECT_EQ(precisionPlaces(0), (P{false, false, false, false}));
    EXPECT_EQ(precisionPlaces(1), (P{true, true, false, false}));
    EXPECT_EQ(precisionPlaces(2), (P{true, true, true, false}));
    EXPECT_EQ(precisionPlaces(3), (P{true, true, true, true}));
    EXPECT_EQ(precisionPlaces(-1), (P{false, false, false, false}));  // no selection
    EXPECT_EQ(precisionPlaces(7), (P{false, false, false, false}));
}
