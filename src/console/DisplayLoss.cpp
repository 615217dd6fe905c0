#include "console/DisplayLoss.h"

#include "common/Dialogs.h"
#include "console/Disp.h"
#include "console/Signals.h"

#include <cstdlib>
#include <unistd.h>

namespace {

// Runs inside exit(): main's stack, and with it the main window, still
// exists; after a normal return from main `display` is already null.
void onExit() {
    if (!display)
        return;
    // No box may open now: there is no display to show it on.
    static SilentDialogs silent;
    Dialogs::install(&silent);
    display->EndClick();  // does nothing when "Quit" already ran
    if (quitSignalReceived())
        ::_exit(0);
}

} // namespace

void saveSettingsIfTheDisplayGoes() {
    static bool registered = false;
    if (!registered)
        registered = std::atexit(onExit) == 0;
}
