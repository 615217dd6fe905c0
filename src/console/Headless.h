#pragma once
#include <QStringList>

class Tdisplay;

// The whole program without a screen, for benchmarks and fuzz targets.
namespace headless {

// An offscreen application (unless QT_QPA_PLATFORM says otherwise), the
// design fonts, and dialogs that answer everything at once. Lives until exit.
void startApplication(int& argc, char** argv);

// A fresh temporary working folder holding copies of `dataFiles` from
// `dataDir`, and the three windows created there in their order.
Tdisplay* createWindows(const QString& dataDir = QString(), const QStringList& dataFiles = {});

} // namespace headless
