#include "FakeDialogs.h"

#include "common/Fonts.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    fonts::registerSubstitutes();
    ::testing::InitGoogleTest(&argc, argv);
    // Nothing in a test may open a real modal dialog.
    FakeDialogs::installStrict();
    return RUN_ALL_TESTS();
}
