#include "common/DataFiles.h"
#include "common/Dialogs.h"
#include "common/Fonts.h"
#include "console/CommandLine.h"
#include "console/Disp.h"
#include "console/DispFollow.h"
#include "console/DisplayLoss.h"
#include "console/Signals.h"
#include "mqtt/MqttBoard.h"
#include "protocol/Startnumberunit.h"
#include "timetable/Control.h"
#include "web/WebBoard.h"
#include "web/WebStart.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    // Before the application object: --help and --version need no display.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = parseCommandLine(args);
    if (cli::print(commandLine.outcome))
        return commandLine.outcome.code;
    if (!commandLine.options.workdir.isEmpty() && !QDir::setCurrent(commandLine.options.workdir)) {
        std::fprintf(stderr, "timedisplay: cannot work in %s\n", qPrintable(commandLine.options.workdir));
        return cli::kUsageError;
    }

    QApplication app(argc, argv);
    // No display name: on X11 Qt would append it to every window title.
    QApplication::setApplicationName("Fendral-Timing Time-display");
    QApplication::setApplicationVersion(QStringLiteral(TD_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("timedisplay"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("timedisplay")));  // the installed icon
    datafiles::setFolders(datafiles::defaultFolders(QCoreApplication::applicationDirPath()));
    fonts::registerSubstitutes();
    // A stop by the session or service manager ends like "Beenden", from the
    // first moment on and also while a dialog is open.
    installQuitSignals([] {
        if (display)
            display->EndClick();
        else
            QApplication::quit();
    });
    const auto& follow = commandLine.options.follow;
    if (follow)
        Tdisplay::followUrl = follow->display();
    try {
        // The three windows live until the process ends, created in this order.
        Tdisplay mainWindow;
        TTimeControl timeControl(&mainWindow);
        TStartNumberForm startNumberForm(&mainWindow);
        saveSettingsIfTheDisplayGoes();
        mainWindow.show();
        // After the settings are read; ends before the windows it watches.
        const std::unique_ptr<WebBoard> web =
            startWebBoard(mainWindow, commandLine.options.webPort, commandLine.options.webListen);
        // A follower publishes only where the command line says: the broker of
        // its disp.ini may be the one it follows.
        const std::unique_ptr<MqttBoard> mqtt = follow && !commandLine.options.mqtt
                                                    ? nullptr
                                                    : MqttBoard::start(mainWindow, commandLine.options.mqtt);
        const std::unique_ptr<DispFollow> following = follow ? DispFollow::start(mainWindow, *follow) : nullptr;
        app.exec();
    } catch (const std::exception& e) {
        Dialogs::current().error(nullptr, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Dialogs::current().error(nullptr, "Unexpected error");
    }
    return 0;
}
