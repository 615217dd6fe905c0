#pragma once
#include <array>

// The twelve one-character time places, left to right.
enum TimePlace {
    kHz, kHe, kDp1, kMz, kMe, kDp2, kSz, kSe, kPt, kZ, kH, kT, kTimePlaces
};

// Left edges of the twelve time labels from the left edge of the first one,
// their widths and the pixel offset around separators. In seconds mode the
// colons take no width. Visibility plays no part.
std::array<int, kTimePlaces> layoutTimePlaces(int firstLeft, const std::array<int, kTimePlaces>& widths,
                                              int offset, bool secMode);

// Which of point, tenths, hundredths and thousandths a precision shows
// (0 "sec" .. 3 "1/1000"; anything else counts as "sec").
std::array<bool, 4> precisionPlaces(int precisionIndex);
