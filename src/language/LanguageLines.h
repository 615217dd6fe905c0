#pragma once
#include <span>

// The 179 lines of a language file, in file order: which text of which
// component each line sets.
namespace language {

enum class Property {
    FontName,    // line 1: the main window's font face
    Charset,     // line 2: its character set number
    Caption,     // text of a check box, button or label; title of a window
    Hint,        // tooltip
    Entry,       // text of list entry `entry`
    TextField,   // idle text of a text field and its four shadow labels
    ElementHint, // tooltip of every movable display element
};

struct Line {
    const char* target;  // component name ("" for the main window itself)
    Property property;
    int entry = 0;       // list entry, or text field number
};

constexpr int kLines = 179;
std::span<const Line> lines();

} // namespace language
