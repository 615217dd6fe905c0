#pragma once
#include <cstdint>
#include <string>

// A preset time as the board shows it: "1:02:03.45", "2:03.45", "3.45".
// `digits` (0..3) decimals are kept by cutting, not rounding; times of a
// day or more show as zero.
std::string Zeit_formatieren(uint32_t ms, int digits, char decimalSeparator);

// A difference in milliseconds as "+0.00;-0.00": sign, seconds, two
// decimals rounded half away from zero.
std::string formatDifference(int64_t ms, char decimalSeparator);
