#include "LineGatherer.h"

Gathered gatherByte(std::string& line, int& count, char b) {
    if (count >= kMaxLineLength + 1) {
        line.clear();
        count = 0;
        return Gathered::Dropped;
    }
    if (b == '\r') {
        if (count >= kMinLineLength)
            return Gathered::Complete;
        line.clear();
        count = 0;
        return Gathered::Discarded;
    }
    line += b;
    ++count;
    return Gathered::Appended;
}
