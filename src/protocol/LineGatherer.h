#pragma once
#include <string>

// Gathering of received bytes into a display line: a CR after 19 to 23 bytes
// completes the line; a shorter line is dropped at its CR; a line that runs
// to 24 bytes is dropped together with the byte after it.
enum class Gathered { Appended, Complete, Discarded, Dropped };

constexpr int kMinLineLength = 19;
constexpr int kMaxLineLength = 23;

// `line` and `count` are the line being gathered and its byte count. On
// Complete the line is left as it is for dispatch; the caller empties it.
Gathered gatherByte(std::string& line, int& count, char b);
