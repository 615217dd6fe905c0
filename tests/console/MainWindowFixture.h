#pragma once
#include "FakeDialogs.h"
#include "TempDir.h"

#include "console/Disp.h"
#include "display/DisplayLabel.h"
#include "protocol/Startnumberunit.h"
#include "timetable/Control.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>
#include <string>

// A main window in a fresh working folder, with scripted dialogs.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        createWindows();
    }
    void TearDown() override { destroyWindows(); }

    void destroyWindows() {
        // The prompt and the time table are children of the main window.
        start.reset();
        timeControl.reset();
        win.reset();
    }

    void createWindows() {
        destroyWindows();
        win = std::make_unique<Tdisplay>();
        timeControl = std::make_unique<TTimeControl>(win.get());
        start = std::make_unique<TStartNumberForm>(win.get());
    }

    // Bytes as the serial line delivers them: one per call.
    void feed(const std::string& bytes) {
        for (char b : bytes)
            win->ComThread1PacketReceived(nullptr, QByteArray(1, b));
    }
    void line(const std::string& l) { feed(l + "\r"); }

    template <typename T = QWidget>
    T* widget(const QString& name) {
        return win->findChild<T*>(name);
    }
    QString text(const char* name) { return widget<DisplayLabel>(name)->text(); }
    bool shown(const char* name) { return !widget<QWidget>(name)->isHidden(); }

    TempWorkDir dir;
    ScopedFakeDialogs dialogs;
    std::unique_ptr<Tdisplay> win;
    std::unique_ptr<TTimeControl> timeControl;
    std::unique_ptr<TStartNumberForm> start;
};

// A normal timing line: start number (3), kind letter, 4 free bytes, 12-byte
// time field, rank (2), padded or cut to `length` bytes.
inline std::string timingLine(const char* number, char kind, const char* time, const char* rank = "  ",
                              size_t length = 22) {
    std::string l = std::string(number) + kind + "    " + time + rank;
    l.resize(length, ' ');
    return l;
}
