#include "MainWindowFixture.h"

#include "common/Colour.h"
#include "common/Fonts.h"
#include "display/PictureBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

class Console : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        win->show();
        win->activateWindow();
        QApplication::processEvents();
        win->FormPaint();
    }
    // A key press as the platform delivers it: to the focus widget, then its parents.
    void press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : win.get();
        QKeyEvent e(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(target, &e);
    }
    void focus(const char* name) {
        widget(name)->setFocus();
        QApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), widget(name));
    }
    void move(QWidget* w, QPoint local) {
        QMouseEvent e(QEvent::MouseMove, local, w->mapToGlobal(local), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
    void click(QWidget* w) {
        const QPoint p(1, 1);
        QMouseEvent down(QEvent::MouseButtonPress, p, w->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &down);
        QMouseEvent up(QEvent::MouseButtonRelease, p, w->mapToGlobal(p), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &up);
    }
    QString labelText(const char* name) { return widget<QLabel>(name)->text(); }
    QColor windowColour() { return win->canvas->palette().color(QPalette::Window); }
};

// ---- display mode -------------------------------------------------------------

TEST_F(Console, StartHidesEverySetupControlAndAnyOtherKeyBringsThemBack) {
    const QList<QWidget*> controls = [&] {
        QList<QWidget*> all;
        for (int g = 1; g <= 6; ++g)
            all += win->setupGroup(g);
        return all;
    }();
    ASSERT_EQ(controls.size(), 117);
    win->resize(700, 600);
    win->move(40, 30);
    QApplication::processEvents();
    const QRect before = win->geometry();
    const QPoint framePos = win->pos();

    widget<QPushButton>("Start")->click();
    EXPECT_TRUE(win->Anzeigemodus);
    for (QWidget* w : controls)
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
    EXPECT_TRUE(win->Logo[2]->isHidden());
    EXPECT_TRUE(win->Vorgabezeit->isHidden());
    EXPECT_FALSE(win->Rang->isHidden());
    EXPECT_TRUE(win->windowState() & Qt::WindowFullScreen);  // covers panels and task bars
    EXPECT_EQ(win->scroller->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(windowColour(), QColor(0, 0, 0));

    press(Qt::Key_F9);  // F9 again changes nothing
    EXPECT_TRUE(win->Anzeigemodus);
    press(Qt::Key_Escape);
    EXPECT_FALSE(win->Anzeigemodus);
    for (QWidget* w : controls)
        EXPECT_FALSE(w->isHidden()) << w->objectName().toStdString();
    EXPECT_TRUE(widget("SpracheSchreiben")->isHidden());
    EXPECT_FALSE(win->windowState() & Qt::WindowFullScreen);
    EXPECT_EQ(win->size(), before.size());
    EXPECT_EQ(win->pos(), framePos);
    EXPECT_EQ(windowColour(), QColor(128, 128, 128));
}

TEST_F(Console, DisplayColourShowsOnlyInDisplayMode) {
    dialogs->colourAnswers.push_back(colour::rgb(0, 0, 128));
    widget<QPushButton>("Hintergrund")->click();
    EXPECT_EQ(dialogs->lastColourInitial, colour::Black);  // opens at the display colour
    EXPECT_EQ(win->Anzeigefarbe, colour::rgb(0, 0, 128));
    EXPECT_EQ(windowColour(), QColor(128, 128, 128));
    win->StartClick();
    EXPECT_EQ(windowColour(), QColor(0, 0, 128));
    win->Anzeige_beenden();
    EXPECT_EQ(windowColour(), QColor(128, 128, 128));
}

TEST_F(Console, LeavingDisplayModeShowsAdvertAndPresetTimeAsTheBoxesSay) {
    win->Logo_sichtbar[2]->setChecked(false);
    win->Vorgabezeit_sichtbar->setChecked(false);
    EXPECT_TRUE(win->Vorgabezeit->isHidden());
    win->StartClick();
    win->Anzeige_beenden();
    EXPECT_FALSE(win->Logo[2]->isHidden());     // even with "Werbung automatik" off
    EXPECT_TRUE(win->Vorgabezeit->isHidden());  // only when its box is ticked
}

// ---- hotkeys -------------------------------------------------------------------

TEST_F(Console, HotkeysToggleTheirBoxesInDisplayMode) {
    win->StartClick();
    press(Qt::Key_Z);
    EXPECT_FALSE(win->CheckBoxZ->isChecked());
    EXPECT_TRUE(win->Zeit_Se->isHidden());
    EXPECT_TRUE(win->Anzeigemodus);
    press(Qt::Key_Z, Qt::ShiftModifier);  // the key, not the character
    EXPECT_TRUE(win->CheckBoxZ->isChecked());

    win->Vorgabezeit->setVisible(true);
    press(Qt::Key_V);  // in display mode only the box changes
    EXPECT_FALSE(win->Vorgabezeit_sichtbar->isChecked());
    EXPECT_FALSE(win->Vorgabezeit->isHidden());

    press(Qt::Key_F3);  // "Werbung automatik" does not show or hide the picture at once
    EXPECT_FALSE(win->Logo_sichtbar[2]->isChecked());
    EXPECT_TRUE(win->Logo[2]->isHidden());

    press(Qt::Key_B);
    EXPECT_FALSE(win->Tafel[1].sichtbar->isChecked());
    EXPECT_TRUE(win->Tafel[1].Text->isHidden());
    press(Qt::Key_1);
    EXPECT_TRUE(win->Textfeld[0].V->isHidden());
    press(Qt::Key_F1);
    EXPECT_TRUE(win->Logo[0]->isHidden());
    EXPECT_TRUE(win->Anzeigemodus);

    press(Qt::Key_1, Qt::KeypadModifier);  // the keypad sends other codes: not a hotkey
    EXPECT_FALSE(win->Anzeigemodus);
}

TEST_F(Console, HotkeysInSetupModeDependOnTheFocusedControl) {
    focus("Adresse1");
    press(Qt::Key_B);  // the list has the hotkey handler
    EXPECT_FALSE(win->Tafel[1].sichtbar->isChecked());
    press(Qt::Key_Escape);  // outside the table: nothing
    EXPECT_FALSE(win->Anzeigemodus);

    focus("SecMode");  // one of the controls without it
    press(Qt::Key_Z);
    EXPECT_TRUE(win->CheckBoxZ->isChecked());
    press(Qt::Key_F9);
    EXPECT_FALSE(win->Anzeigemodus);

    focus("CheckBoxN");
    press(Qt::Key_F9);
    EXPECT_TRUE(win->Anzeigemodus);
}

// ---- placing with the mouse ----------------------------------------------------

TEST_F(Console, ClickPicksAnElementUpAndItFollowsThePointer) {
    move(win->Rang, {5, 5});  // not picked up: nothing moves
    EXPECT_EQ(win->Rang->pos(), QPoint(510, 0));
    click(win->Rang);
    move(win->Rang, {7, 9});
    EXPECT_EQ(win->Rang->pos(), QPoint(517, 9));
    EXPECT_EQ(labelText("XRang"), "X:517");
    EXPECT_EQ(labelText("YRang"), "Y:9");
    click(win->Rang);
    move(win->Rang, {3, 3});
    EXPECT_EQ(win->Rang->pos(), QPoint(517, 9));
}

TEST_F(Console, PickedUpElementsJumpToThePointerOverTheBackground) {
    click(win->Rang);
    click(win->Nummer);
    move(win->canvas, {300, 250});
    EXPECT_EQ(win->Rang->pos(), QPoint(300, 250));
    EXPECT_EQ(win->Nummer->pos(), QPoint(300, 250));
    // Every position label is written on any move over the background.
    EXPECT_EQ(labelText("XA3"), "X:516");
    EXPECT_EQ(labelText("YTextfeld2"), "Y:488");
}

TEST_F(Console, PositionLabelsCountInTheWholeScrollableWindow) {
    win->resize(300, 300);
    QApplication::processEvents();
    win->scroller->horizontalScrollBar()->setValue(100);
    win->Tafel[0].Text->move(120, 208);
    move(win->canvas, {5, 5});
    EXPECT_EQ(labelText("XA1"), "X:120");
}

TEST_F(Console, TimeGroupShowsAllPlacesWhileCarried) {
    ASSERT_TRUE(win->Zeit_Hz->isHidden());  // "M:SS"
    click(win->Zeit_Se);
    EXPECT_FALSE(win->Zeit_Hz->isHidden());
    EXPECT_FALSE(win->Zeit_Dp1->isHidden());
    move(win->Zeit_Se, {4, 6});  // the group moves by the offset inside the reporting label
    EXPECT_EQ(win->Zeit_Hz->pos(), QPoint(504, 102));
    EXPECT_EQ(win->Zeit_He->x(), 504 + win->Zeit_Hz->width());
    EXPECT_EQ(labelText("XZeit"), "X:504");
    click(win->Zeit_Hz);
    EXPECT_TRUE(win->Zeit_Hz->isHidden());
    EXPECT_TRUE(win->Zeit_Dp1->isHidden());
}

TEST_F(Console, TextFieldTakesItsShadowsAlong) {
    Tdisplay::TextField& t = win->Textfeld[1];
    t.RandPixel->setCurrentIndex(2);
    click(t.V);
    move(win->canvas, {200, 100});
    EXPECT_EQ(t.V->pos(), QPoint(200, 100));
    EXPECT_EQ(t.HLO->pos(), QPoint(198, 98));
    EXPECT_EQ(t.HRU->pos(), QPoint(202, 102));
}

TEST_F(Console, FirstPictureStaysInsideTheWindow) {
    QImage img(300, 20, QImage::Format_RGB32);
    img.fill(Qt::red);
    ASSERT_TRUE(img.save(dir.file("logo1.bmp"), "BMP"));
    ASSERT_TRUE(img.save(dir.file("logo2.bmp"), "BMP"));
    ASSERT_TRUE(win->Logo[0]->load("logo1.bmp"));
    ASSERT_TRUE(win->Logo[1]->load("logo2.bmp"));
    win->resize(800, 700);
    QApplication::processEvents();
    click(win->Logo[0]);
    click(win->Logo[1]);
    move(win->canvas, {499, 100});
    EXPECT_EQ(win->Logo[0]->pos(), QPoint(499, 100));
    move(win->canvas, {500, 120});
    EXPECT_EQ(win->Logo[0]->pos(), QPoint(499, 100));  // 500 + 300 reaches the edge
    EXPECT_EQ(win->Logo[1]->pos(), QPoint(500, 120));  // the second may leave the window
}

// ---- appearance ----------------------------------------------------------------

TEST_F(Console, TimeFontChangesAllTwelveAndLaysThemOutAgain) {
    const QFont big = fonts::make(fonts::kDigits, 60, true);
    dialogs->fontAnswers.push_back(Dialogs::FontChoice{big, colour::rgb(0, 255, 0)});
    widget<QPushButton>("SchriftartZeit")->click();
    EXPECT_TRUE(dialogs->lastFixedPitchOnly);
    for (DisplayLabel* l : win->Zeitstellen) {
        EXPECT_EQ(l->font().pixelSize(), 60);
        EXPECT_EQ(l->fontColour(), colour::rgb(0, 255, 0));
    }
    EXPECT_EQ(win->Zeit_He->x(), win->Zeit_Hz->x() + win->Zeit_Hz->width());
    EXPECT_GT(win->Zeit_Hz->width(), 30);

    dialogs->colourAnswers.push_back(colour::Red);
    widget<QPushButton>("ZeitHintergrund")->click();
    for (DisplayLabel* l : win->Zeitstellen)
        EXPECT_EQ(l->colour(), colour::Red);

    widget<QPushButton>("SchriftartA2")->click();  // cancelled
    EXPECT_FALSE(dialogs->lastFixedPitchOnly);     // the boards offer every font
    EXPECT_EQ(win->Tafel[1].Text->font().pixelSize(), 35);
}

TEST_F(Console, ColourDialogOpensAtItsOwnLastChoice) {
    win->Rang->setColour(colour::Red);  // as a settings file would
    widget<QPushButton>("RangHintergrund")->click();
    EXPECT_EQ(dialogs->lastColourInitial, colour::Black);
    dialogs->colourAnswers.push_back(colour::rgb(1, 2, 3));
    widget<QPushButton>("RangHintergrund")->click();
    EXPECT_EQ(win->Rang->colour(), colour::rgb(1, 2, 3));
    widget<QPushButton>("RangHintergrund")->click();  // cancelled
    EXPECT_EQ(dialogs->lastColourInitial, colour::rgb(1, 2, 3));
    EXPECT_EQ(win->Rang->colour(), colour::rgb(1, 2, 3));
}

TEST_F(Console, VisibilityBoxes) {
    win->Vorgabezeit_sichtbar->setChecked(false);
    EXPECT_TRUE(win->Vorgabezeit->isHidden());
    win->Vorgabezeit_sichtbar->setChecked(true);
    EXPECT_FALSE(win->Vorgabezeit->isHidden());
    win->Tafel[3].sichtbar->setChecked(false);
    EXPECT_TRUE(win->Tafel[3].Text->isHidden());
    win->Logo_sichtbar[1]->setChecked(false);
    EXPECT_TRUE(win->Logo[1]->isHidden());
    win->Logo_sichtbar[2]->setChecked(false);  // does not hide a showing advert
    EXPECT_FALSE(win->Logo[2]->isHidden());
}

TEST_F(Console, PositionReadOutsLetClicksThroughToTheElementUnderThem) {
    win->show();
    QApplication::processEvents();
    for (const char* name : {"XRang", "YRang"}) {
        QWidget* readOut = widget(name);
        win->Rang->move(readOut->pos());
        EXPECT_EQ(win->canvas->childAt(readOut->geometry().center()), win->Rang) << name;
    }
}
