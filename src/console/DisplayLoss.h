#pragma once

// When the display server goes away, the windowing layer ends the process
// at once with exit(1). Under xvfb-run, Ctrl+C stops the virtual screen
// together with the program, so that happens on every Ctrl+C. This keeps
// the ending of "Quit" even then: the settings are saved and, if a quit
// signal asked for the end, the exit status is 0.
// Call once, after the main window exists.
void saveSettingsIfTheDisplayGoes();
