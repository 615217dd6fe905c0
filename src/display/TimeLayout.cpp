#include "TimeLayout.h"

std::array<int, kTimePlaces> layoutTimePlaces(int firstLeft, const std::array<int, kTimePlaces>& w,
                                              int o, bool secMode) {
    std::array<int, kTimePlaces> l{};
    l[kHz] = firstLeft;
    l[kHe] = l[kHz] + w[kHz];
    l[kDp1] = secMode ? l[kHe] + o : l[kHe] + w[kHe] + o;
    l[kMz] = l[kDp1] + w[kDp1] + o;
    l[kMe] = l[kMz] + w[kMz];
    l[kDp2] = l[kMe] + w[kMe] + o;
    l[kSz] = secMode ? l[kDp2] + o : l[kDp2] + w[kDp2] + o;
    l[kSe] = l[kSz] + w[kSz];
    l[kPt] = l[kSe] + w[kSe] + o;
    l[kZ] = l[kPt] + w[kPt] + o;
    l[kH] = l[kZ] + w[kZ];
    l[kT] = l[kH] + w[kH];
    return l;
}

std::array<bool, 4> precisionPlaces(int i) {
    if (i < 1 || i > 3)
        return {false, false, false, false};
    return {true, true, i >= 2, i >= 3};
}
