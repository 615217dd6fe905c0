#pragma once
#include <QString>

// Texts of dialogs that are made anew each time they open, so no component
// keeps them between uses; the language file replaces them.
namespace uitext {

enum Id {
    FontDialogTitle,   // title of the font dialog
    FontDialogColour,  // its button for the text colour
    Count
};

const QString& get(Id id);
void set(Id id, const QString& text);
// Back to the built-in texts (a new main window starts from them).
void reset();

} // namespace uitext
