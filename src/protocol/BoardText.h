#pragma once
#include <string>
#include <string_view>

// The piece of a line that an addressed board shows: `count` bytes from the
// 1-based position `from`, cut at the end of the line.
std::string boardPiece(std::string_view line, int from, int count);
