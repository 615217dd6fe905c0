#include "console/Headless.h"

#include "common/Dialogs.h"
#include "common/Fonts.h"
#include "console/Disp.h"
#include "protocol/Startnumberunit.h"
#include "timetable/Control.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace headless {

void startApplication(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    fonts::registerSubstitutes();
    static SilentDialogs dialogs;
    Dialogs::install(&dialogs);
}

Tdisplay* createWindows(const QString& dataDir, const QStringList& dataFiles) {
    static QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    for (const QString& f : dataFiles)
        QFile::copy(dataDir + '/' + f, f);
    auto* window = new Tdisplay;
    new TTimeControl(window);
    new TStartNumberForm(window);
    return window;
}

} // namespace headless
