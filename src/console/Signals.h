#pragma once
#include <functional>

// SIGTERM and SIGINT end the program the way "Beenden" does: `onQuit` runs on
// the UI thread from the event loop (never inside the signal handler).
// Call once, after the QApplication exists.
void installQuitSignals(std::function<void()> onQuit);

// A quit signal has arrived, whether or not `onQuit` has run yet.
bool quitSignalReceived();
