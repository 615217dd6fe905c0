#pragma once
#include <string_view>

// Milliseconds of a time text such as the 12-byte field of a timing line
// ("  1:23:45.678") or a time table entry. Never fails: what is not a number
// counts 0. `decimalSeparator` is the locale's; `secMode` reads the place
// before the seconds as a colon whatever it holds.
int Zeit_in_ms(std::string_view text, char decimalSeparator, bool secMode);
