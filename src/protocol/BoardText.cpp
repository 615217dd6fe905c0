#include "BoardText.h"

std::string boardPiece(std::string_view line, int from, int count) {
    if (from < 1 || count < 1 || size_t(from) > line.size())
        return {};
    return std::string(line.substr(size_t(from - 1), size_t(count)));
}
