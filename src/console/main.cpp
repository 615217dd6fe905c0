#include "common/Dialogs.h"
#include "common/Fonts.h"
#include "console/Disp.h"
#include "console/Signals.h"
#include "protocol/Startnumberunit.h"
#include "timetable/Control.h"

#include <QApplication>
#include <exception>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Fendral-Timing Time-display");
    QApplication::setApplicationDisplayName("Fendral-Timing Time-display");
    fonts::registerSubstitutes();
    try {
        // The three windows live until the process ends, created in this order.
        Tdisplay mainWindow;
        TTimeControl timeControl(&mainWindow);
        TStartNumberForm startNumberForm(&mainWindow);
        // A stop by the session or service manager ends like "Beenden".
        installQuitSignals([&mainWindow] { mainWindow.EndClick(); });
        mainWindow.show();
        app.exec();
    } catch (const std::exception& e) {
        Dialogs::current().error(nullptr, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Dialogs::current().error(nullptr, "Unexpected error");
    }
    return 0;
}
