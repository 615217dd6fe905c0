#pragma once
#include <span>

// The lines of a language file, in file order: which text of which
// component each line sets. Lines 1 to 179 are the ones every reader of
// language files knows; the lines after them carry the texts of the dialogs,
// which such readers ignore and which a file of 179 lines leaves as they are.
namespace language {

enum class Property {
    FontName,    // line 1: the main window's font face
    Charset,     // line 2: its character set number
    Caption,     // text of a check box, button or label; title of a window
    Hint,        // tooltip
    Entry,       // text of list entry `entry`
    TextField,   // idle text of a text field and its four shadow labels
    ElementHint, // tooltip of every movable display element
    BoardHint,   // tooltip of the four addressed boards
    DialogText,  // text `entry` of a dialog made on demand (uitext::Id)
};

struct Line {
    const char* target;  // component name ("" for the main window itself)
    Property property;
    int entry = 0;       // list entry, text field number or dialog text
};

constexpr int kKnownLines = 179;
constexpr int kLines = 185;
std::span<const Line> lines();

} // namespace language
