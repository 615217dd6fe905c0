#include "timetable/Control.h"

#include "FakeDialogs.h"
#include "NotAFile.h"
#include "TempDir.h"
#include "console/Disp.h"
#include "display/DisplayLabel.h"
#include "timetable/Spreadsheet.h"
#include "timetable/Xls.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

QByteArray table(const std::function<void(Sheet&)>& fill) {
    Sheet s;
    s.setName("Times");
    fill(s);
    QByteArray file;
    EXPECT_TRUE(xls::write(s, file));
    return file;
}

// The table as saved: the saves under way are waited for first.
Sheet onDisk() {
    if (TimeControl)
        TimeControl->waitForSaves();
    Sheet s;
    QString why;
    EXPECT_TRUE(xls::readFile("liste.xls", s, &why)) << why.toStdString();
    return s;
}

class ControlTest : public ::testing::Test {
protected:
    void create() { w = std::make_unique<TTimeControl>(); }
    TempWorkDir dir;
    ScopedFakeDialogs dialogs;
    std::unique_ptr<TTimeControl> w;
    int openNotices(const QString& start) {
        int n = 0;
        for (const QString& t : dialogs->openNotices)
            n += t.startsWith(start);
        return n;
    }
};

TEST_F(ControlTest, DesignValues) {
    create();
    EXPECT_EQ(TimeControl, w.get());
    EXPECT_EQ(w->objectName(), "TimeControl");
    EXPECT_EQ(w->windowTitle(), "TimeControl");
    EXPECT_EQ(w->size(), QSize(665, 480));
    EXPECT_EQ(w->pos(), QPoint(1103, 533));
    EXPECT_EQ(w->font().family(), "MS Sans Serif");
    EXPECT_EQ(w->TimeTable->objectName(), "TimeTable");
    EXPECT_EQ(w->TimeTable->toolTip(), "Doppelclick rechts zum Bearbeiten");
    EXPECT_EQ(w->TimeTable->geometry(), QRect(0, 0, 650, 450));
    EXPECT_EQ(w->TimeTable->sheet().name(), "Times");
    EXPECT_EQ(w->findChild<QPushButton*>("TimeControlOK")->text(), "OK");
    EXPECT_EQ(w->TimeControlOK->geometry(), QRect(582, 447, 75, 25));
    EXPECT_EQ(w->TimeControlOK->toolTip(), "Programmpunkt verlassen");
    EXPECT_EQ(w->findChild<QPushButton*>("TimeControlCancel")->text(), "Vorgabezeiten löschen");
    EXPECT_EQ(w->TimeControlCancel->geometry(), QRect(438, 447, 137, 25));
    EXPECT_EQ(w->TimeControlCancel->toolTip(), "Drücken Sie hier um die Richtzeiten zu löschen");
    EXPECT_FALSE(w->Sekundenformat);
    EXPECT_EQ(w->LetzteTaste, 0);
    w.reset();
    EXPECT_EQ(TimeControl, nullptr);
}

TEST_F(ControlTest, MissingFileGivesAnEmptyTableAndTheFirstChangeCreatesIt) {
    create();
    EXPECT_TRUE(dialogs->errors.isEmpty());  // start-up is never stopped
    ASSERT_EQ(dialogs->notices.size(), 1);
    EXPECT_TRUE(dialogs->notices[0].startsWith("Data File does not exist\n" +
                                               QDir::current().absoluteFilePath("liste.xls")))
        << dialogs->notices[0].toStdString();
    EXPECT_TRUE(w->TimeTable->sheet().isEmpty());
    EXPECT_FALSE(QFile::exists("liste.xls"));
    w->TimeTable->setEntryRC(10, 3, "Müller");
    w->waitForSaves();
    ASSERT_TRUE(QFile::exists("liste.xls"));
    EXPECT_EQ(onDisk().entry(10, 3), "Müller");
    EXPECT_EQ(onDisk().name(), "Times");
    EXPECT_FALSE(w->TimeTable->Modified());
}

TEST_F(ControlTest, UnreadableFileIsReported) {
    dir.write("liste.xls", QByteArray(4096, '\xd0'));
    create();
    EXPECT_TRUE(dialogs->errors.isEmpty());
    ASSERT_EQ(dialogs->notices.size(), 1);
    EXPECT_TRUE(dialogs->notices[0].startsWith("Could not read Data File\n")) << dialogs->notices[0].toStdString();
    EXPECT_TRUE(w->TimeTable->sheet().isEmpty());
}

TEST_F(ControlTest, LoadFormatsTheTimeColumns) {
    dir.write("liste.xls", table([](Sheet& s) {
                  s.setEntry(6, 6, "1:58.250", u'.');
                  s.setEntry(10, 8, "95.5", u'.');  // a plain number
              }));
    create();
    EXPECT_TRUE(dialogs->errors.isEmpty());
    const Sheet& s = w->TimeTable->sheet();
    EXPECT_EQ(s.formatOf(1, 6), "m:ss.000");
    EXPECT_EQ(s.formatOf(256, 17), "m:ss.000");
    EXPECT_EQ(s.formatOf(257, 17), "General");
    EXPECT_EQ(s.formatOf(10, 5), "General");
    EXPECT_EQ(s.formatOf(10, 18), "General");
    EXPECT_EQ(w->TimeTable->TextRC(6, 6), "1:58.250");
    EXPECT_FALSE(w->TimeTable->Modified());
    // the operator's selection is the active cell only, in the grid too
    int r1, c1, r2, c2, r, c;
    w->TimeTable->GetSelection(r1, c1, r2, c2);
    w->TimeTable->GetActiveCell(r, c);
    EXPECT_EQ(std::vector<int>({r1, c1, r2, c2}), std::vector<int>({r, c, r, c}));
    EXPECT_EQ(w->TimeTable->grid()->selectionModel()->selectedIndexes().size(), 1);
}

TEST_F(ControlTest, AnEditIsWrittenAndTheCursorStaysOnTheCell) {
    dir.write("liste.xls", table([](Sheet& s) { s.setEntry(10, 3, "Müller", u'.'); }));
    create();
    auto* m = w->TimeTable->grid()->model();
    w->TimeTable->grid()->selectionModel()->setCurrentIndex(m->index(11, 9), QItemSelectionModel::ClearAndSelect);
    m->setData(m->index(11, 9), "00:01:02.345", Qt::EditRole);
    w->waitForSaves();
    const Sheet s = onDisk();
    EXPECT_EQ(s.entry(12, 10), "1:02.345");
    EXPECT_EQ(s.formatOf(12, 10), "m:ss.000");
    EXPECT_EQ(s.entry(10, 3), "Müller");
    int r = 0, c = 0;
    w->TimeTable->GetActiveCell(r, c);
    EXPECT_EQ(r, 12);
    EXPECT_EQ(c, 10);
    EXPECT_EQ(w->TimeTable->NumberFormat(), "m:ss.000");
    const auto sel = w->TimeTable->grid()->selectionModel()->selection();
    ASSERT_EQ(sel.size(), 1);
    EXPECT_EQ(sel[0].topLeft(), m->index(11, 9));
    EXPECT_EQ(sel[0].bottomRight(), m->index(11, 9));
    EXPECT_FALSE(w->TimeTable->Modified());
}

TEST_F(ControlTest, EmptyingThePresetTimesTouchesRow6Columns2To17Only) {
    dir.write("liste.xls", table([](Sheet& s) {
                  for (int c = 1; c <= 18; ++c) {
                      s.setEntry(6, c, QStringLiteral("1:0%1.000").arg(c % 10), u'.');
                      s.setEntry(10, c, QStringLiteral("r%1").arg(c), u'.');
                  }
              }));
    create();
    w->show();
    w->TimeControlCancel->click();
    // The window stays open for further editing.
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->result(), QDialog::Rejected);  // neither accepted nor closed
    w->waitForSaves();
    const Sheet s = onDisk();
    for (int c = 2; c <= 17; ++c)
        EXPECT_EQ(s.entry(6, c), "") << c;
    EXPECT_EQ(s.entry(6, 1), "1:01.000");
    EXPECT_EQ(s.entry(6, 18), "1:08.000");
    for (int c = 1; c <= 18; ++c)
        EXPECT_EQ(s.entry(10, c), QStringLiteral("r%1").arg(c));
}

TEST_F(ControlTest, FailedSaveKeepsModifiedAndTheNextChangeRetries) {
    create();
    dialogs->errors.clear();
    QDir().mkdir("liste.xls");  // a folder in the way
    QFile blocker("liste.xls/x");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    w->TimeTable->setEntryRC(10, 3, "Müller");
    w->waitForSaves();
    EXPECT_TRUE(dialogs->errors.isEmpty());  // the board never waits for a box
    EXPECT_EQ(openNotices("Could not write Data File\n"), 1);
    EXPECT_TRUE(w->TimeTable->Modified());
    EXPECT_EQ(w->saveStatus().state, SaveStatus::Failed);
    QFile::remove("liste.xls/x");
    QDir().rmdir("liste.xls");
    w->TimeTable->setEntryRC(10, 4, "Hans");
    w->waitForSaves();
    EXPECT_TRUE(dialogs->errors.isEmpty());
    EXPECT_EQ(openNotices("Could not write Data File"), 0);  // withdrawn once saved
    EXPECT_FALSE(w->TimeTable->Modified());
    EXPECT_EQ(w->saveStatus().state, SaveStatus::Saved);
    EXPECT_EQ(w->saveStatus().path, QDir::current().absoluteFilePath("liste.xls"));
    EXPECT_TRUE(w->saveStatus().reason.isEmpty());
    EXPECT_EQ(onDisk().entry(10, 3), "Müller");
    EXPECT_EQ(onDisk().entry(10, 4), "Hans");
}

TEST_F(ControlTest, SecondsFormatWaitsForTheNextChange) {
    dir.write("liste.xls", table([](Sheet& s) { s.setEntry(10, 6, "203.456", u'.'); }));
    create();
    w->Sekundenmodus_setzen(true);
    EXPECT_TRUE(w->Sekundenformat);
    EXPECT_EQ(w->TimeTable->sheet().formatOf(10, 6), "m:ss.000");  // nothing changed yet
    w->TimeTable->setEntryRC(11, 6, "0203.456");
    EXPECT_EQ(w->TimeTable->sheet().formatOf(10, 6), "###.##");
    w->waitForSaves();
    const Sheet s = onDisk();
    EXPECT_EQ(s.formatOf(10, 6), "###.##");
    EXPECT_EQ(s.text(11, 6, u'.'), "203.46");
    EXPECT_EQ(s.entry(11, 6), "203.456");
}

TEST_F(ControlTest, TitleCellsGoToTextField3) {
    struct Case {
        const char* b2;
        const char* b3;
        const char* field;
    } cases[] = {{"Stadtlauf", "2026", "Stadtlauf 2026"}, {"", "", " "}, {"Šimon 日本", "", "Šimon ?? "}};
    for (const auto& c : cases) {
        dir.write("liste.xls", table([&](Sheet& s) {
                      s.setEntry(2, 2, QString::fromUtf8(c.b2), u'.');
                      s.setEntry(3, 2, QString::fromUtf8(c.b3), u'.');
                  }));
        auto main = std::make_unique<Tdisplay>();
        ASSERT_EQ(display, main.get());
        create();
        EXPECT_EQ(main->Textfeld[2].V->text(), QString::fromUtf8(c.field)) << c.field;
        for (DisplayLabel* shadow : main->Textfeld[2].shadows())
            EXPECT_EQ(shadow->text(), QString::fromUtf8(c.field));
        w.reset();
    }
}

// Sends a key-down to the focus widget, as the keyboard would.
void press(int key) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &up);
}

TEST_F(ControlTest, ClipboardShortcutsWorkOnlyInTheTable) {
    create();
    w->show();
    QApplication::setActiveWindow(w.get());
    w->activateWindow();
    w->TimeTable->setEntryRC(1, 1, "a");
    w->TimeTable->setEntryRC(1, 2, "b");
    w->TimeTable->SetSelection(1, 1, 1, 2);

    struct Case {
        std::vector<int> keys;
        const char* clipboard;  // after the keys, with "old" in it before
    } copies[] = {
        {{Qt::Key_Control, Qt::Key_C}, "a\tb\r\n"},
        {{Qt::Key_Control, Qt::Key_Insert}, "a\tb\r\n"},
        {{Qt::Key_Shift, Qt::Key_C}, "old"},
        {{Qt::Key_Control, Qt::Key_Shift, Qt::Key_C}, "old"},
    };
    for (const auto& c : copies) {
        w->TimeTable->grid()->setFocus();
        ASSERT_TRUE(w->TimeTable->hasInputFocus());
        QApplication::clipboard()->setText("old");
        for (int k : c.keys)
            press(k);
        EXPECT_EQ(QApplication::clipboard()->text(), c.clipboard);
    }
    // a handled shortcut leaves LetzteTaste on the modifier
    EXPECT_EQ(w->LetzteTaste, 0x43);
    w->TimeTable->grid()->setFocus();
    press(Qt::Key_Control);
    press(Qt::Key_C);
    EXPECT_EQ(w->LetzteTaste, 0x11);
    press(Qt::Key_C);  // Ctrl pressed before, C again: copies again
    EXPECT_EQ(w->LetzteTaste, 0x11);

    // paste: Ctrl+V and Shift+Insert at the active cell
    QApplication::clipboard()->setText("p\tq");
    w->TimeTable->SetActiveCell(5, 1);
    press(Qt::Key_Control);
    press(Qt::Key_V);
    EXPECT_EQ(w->TimeTable->EntryRC(5, 2), "q");
    QApplication::clipboard()->setText("s");
    w->TimeTable->SetActiveCell(6, 1);
    press(Qt::Key_Shift);
    press(Qt::Key_Insert);
    EXPECT_EQ(w->TimeTable->EntryRC(6, 1), "s");
    w->waitForSaves();
    EXPECT_EQ(onDisk().entry(6, 1), "s");  // pasting is a change that is saved

    // cut: Shift+Delete and Ctrl+X
    w->TimeTable->SetSelection(5, 1, 5, 2);
    press(Qt::Key_Shift);
    press(Qt::Key_Delete);
    EXPECT_EQ(w->TimeTable->EntryRC(5, 1), "");
    EXPECT_EQ(QApplication::clipboard()->text(), "p\tq\r\n");
    w->TimeTable->SetSelection(6, 1, 6, 1);
    press(Qt::Key_Control);
    press(Qt::Key_X);
    EXPECT_EQ(w->TimeTable->EntryRC(6, 1), "");

    // with the focus on a button the keys are only remembered
    w->TimeControlOK->setFocus();
    ASSERT_FALSE(w->TimeTable->hasInputFocus());
    QApplication::clipboard()->setText("old");
    press(Qt::Key_Control);
    press(Qt::Key_C);
    EXPECT_EQ(QApplication::clipboard()->text(), "old");
    EXPECT_EQ(w->LetzteTaste, 0x43);
}

TEST_F(ControlTest, ShowSwitchesTheEditBarOnAndResizeFollowsTheWindow) {
    create();
    EXPECT_FALSE(w->TimeTable->ShowEditBar());
    w->show();
    EXPECT_TRUE(w->TimeTable->ShowEditBar());
    w->resize(900, 700);
    QApplication::processEvents();
    const QRect outer = w->frameGeometry();
    EXPECT_EQ(w->TimeTable->width(), outer.width() - 10);
    EXPECT_EQ(w->TimeTable->height(), outer.height() - 70);
    EXPECT_EQ(w->width() - w->TimeControlOK->geometry().right() - 1, 8);
    EXPECT_EQ(w->height() - w->TimeControlOK->geometry().bottom() - 1, 8);
    EXPECT_EQ(w->TimeControlCancel->x(), w->width() - 90 - 137);
    w->TimeControlOK->click();  // closes with the result OK
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->result(), QDialog::Accepted);
}

// Every non-empty cell by (row, column): its entry text.
using Cells = std::map<std::pair<int, int>, std::string>;
Cells cells(const Sheet& s) {
    Cells out;
    for (size_t r = 0; r < s.rows().size(); ++r)
        for (const Cell& c : s.rows()[r])
            if (c.kind != Cell::Empty)
                out[{int(r) + 1, c.col + 1}] = s.entry(int(r) + 1, c.col + 1).toStdString();
    return out;
}

// A table as the operator has it: titles, preset row, header, runners.
QByteArray raceTable() {
    return table([](Sheet& s) {
        for (int c = 1; c <= 5; ++c)
            s.setEntry(1, c, QStringLiteral("top%1").arg(c), u'.');
        s.setEntry(2, 2, "Stadtlauf", u'.');
        s.setEntry(3, 2, "2026", u'.');
        for (int c = 2; c <= 17; ++c)
            s.setEntry(6, c, QStringLiteral("1:%1.000").arg(10 + c), u'.');
        for (int c = 1; c <= 18; ++c)
            s.setEntry(9, c, QStringLiteral("head%1").arg(c), u'.');
        for (int n = 1; n <= 3; ++n) {
            s.setEntry(9 + n, 3, QStringLiteral("Name%1").arg(n), u'.');
            for (int c = 6; c <= 17; ++c)
                s.setEntry(9 + n, c, QStringLiteral("2:%1.%2").arg(10 + c).arg(n * 111), u'.');
        }
    });
}

// A key as the keyboard sends it to the focus widget: down and up.
void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QKeyEvent down(QEvent::KeyPress, k, mods, text);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, k, mods, text);
    QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : target, &up);
    QApplication::processEvents();  // the item editor commits through a queued call
}
void undoKey() {
    key(Qt::Key_Control, Qt::ControlModifier);
    key(Qt::Key_Z, Qt::ControlModifier);
}

class UndoTest : public ControlTest {
protected:
    void open() {
        dir.write("liste.xls", raceTable());
        create();
        ASSERT_TRUE(dialogs->errors.isEmpty());
        w->show();
        QApplication::setActiveWindow(w.get());
        w->activateWindow();
        w->TimeTable->grid()->setFocus();
        ASSERT_TRUE(w->TimeTable->hasInputFocus());
        original = cells(onDisk());
    }
    Cells original;
};

TEST_F(UndoTest, TabTabDeleteRightAfterOpeningEmptiesOneCellOnly) {
    dir.write("liste.xls", raceTable());
    create();
    w->show();
    QApplication::setActiveWindow(w.get());
    w->activateWindow();
    const auto before = cells(w->TimeTable->sheet());
    // focus starts where the window puts it; Tab until the grid has it
    if (!QApplication::focusWidget())
        w->setFocus();
    key(Qt::Key_Tab);
    key(Qt::Key_Tab);
    for (int i = 0; i < 4 && QApplication::focusWidget() != w->TimeTable->grid(); ++i)
        key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), w->TimeTable->grid());
    key(Qt::Key_Delete);
    ASSERT_TRUE(QFile::exists("liste.xls"));
    const auto after = cells(onDisk());
    // exactly the cell under the cursor (row 1 holds text in A to E) is gone
    ASSERT_EQ(after.size(), before.size() - 1);
    int r = 0, c = 0;
    w->TimeTable->GetActiveCell(r, c);
    EXPECT_EQ(after.count({r, c}), 0u);
    for (const auto& [at, entry] : after)
        EXPECT_EQ(before.at(at), entry);
    // and Ctrl+Z brings it back, on disk too
    undoKey();
    EXPECT_EQ(cells(onDisk()), before);
}

TEST_F(UndoTest, EveryKindOfEditIsUndoneAndRedoneOnDisk) {
    struct Case {
        const char* name;
        std::function<void(TTimeControl&)> edit;
        Cells changed;  // cells after the edit ("" emptied)
    } cases[] = {
        {"typing in a cell",
         [](TTimeControl& w) {
             w.TimeTable->SetActiveCell(10, 3);
             w.TimeTable->SetSelection(10, 3, 10, 3);
             key(Qt::Key_M, Qt::NoModifier, "M");  // opens the editor with "M"
             key(Qt::Key_A, Qt::NoModifier, "a");
             key(Qt::Key_Return);
         },
         {{{10, 3}, "Ma"}}},
        {"typing in the edit line",
         [](TTimeControl& w) {
             w.TimeTable->SetActiveCell(11, 6);
             w.TimeTable->editBar()->setFocus();
             w.TimeTable->editBar()->setText("1:23.456");
             key(Qt::Key_Return);
             ASSERT_TRUE(w.TimeTable->hasInputFocus());
         },
         {{{11, 6}, "1:23.456"}}},
        {"paste",
         [](TTimeControl& w) {
             QApplication::clipboard()->setText("x\ty\r\nz\t\r\n");
             w.TimeTable->SetActiveCell(10, 3);
             key(Qt::Key_Control, Qt::ControlModifier);
             key(Qt::Key_V, Qt::ControlModifier);
         },
         {{{10, 3}, "x"}, {{10, 4}, "y"}, {{11, 3}, "z"}}},
        {"cut",
         [](TTimeControl& w) {
             w.TimeTable->SetSelection(10, 6, 11, 7);
             key(Qt::Key_Control, Qt::ControlModifier);
             key(Qt::Key_X, Qt::ControlModifier);
         },
         {{{10, 6}, ""}, {{10, 7}, ""}, {{11, 6}, ""}, {{11, 7}, ""}}},
        {"Delete",
         [](TTimeControl& w) {
             w.TimeTable->SetSelection(9, 1, 12, 2);
             key(Qt::Key_Delete);
         },
         {{{9, 1}, ""}, {{9, 2}, ""}}},
        {"Vorgabezeiten löschen",
         [](TTimeControl& w) {
             w.TimeControlCancel->click();
             w.TimeTable->grid()->setFocus();
         },
         {}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        if (std::string(c.name) == "Vorgabezeiten löschen")
            for (int col = 2; col <= 17; ++col)
                c.changed[{6, col}] = "";  // B6 to Q6
        auto edited = original;
        for (const auto& [at, entry] : c.changed)
            if (entry.empty())
                edited.erase(at);
            else
                edited[at] = entry;
        c.edit(*w);
        ASSERT_EQ(cells(onDisk()), edited);
        ASSERT_EQ(QApplication::focusWidget(), w->TimeTable->grid());
        undoKey();
        EXPECT_EQ(cells(onDisk()), original);
        EXPECT_EQ(cells(w->TimeTable->sheet()), original);
        EXPECT_FALSE(w->TimeTable->Modified());  // saved
        key(Qt::Key_Control, Qt::ControlModifier);
        key(Qt::Key_Y, Qt::ControlModifier);
        EXPECT_EQ(cells(onDisk()), edited);
        undoKey();
        EXPECT_EQ(cells(onDisk()), original);
        key(Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier);
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(cells(onDisk()), edited);
        w.reset();
    }
}

TEST_F(UndoTest, UndoGoesBackStepByStepAndANewEditEndsRedo) {
    open();
    std::vector<Cells> states{original};
    const char* names[] = {"Anna", "Bert", "Cora"};
    for (int i = 0; i < 3; ++i) {
        w->TimeTable->SetActiveCell(10 + i, 3);
        w->TimeTable->editBar()->setFocus();
        w->TimeTable->editBar()->setText(names[i]);
        key(Qt::Key_Return);
        states.push_back(cells(onDisk()));
    }
    for (int i = 3; i > 0; --i) {
        undoKey();
        EXPECT_EQ(cells(onDisk()), states[size_t(i - 1)]) << i;
    }
    undoKey();  // nothing left: nothing changes
    EXPECT_EQ(cells(onDisk()), original);
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(cells(onDisk()), states[1]);
    // a new edit drops what could have been redone
    w->TimeTable->SetSelection(1, 1, 1, 1);
    key(Qt::Key_Delete);
    EXPECT_FALSE(w->TimeTable->canRedo());
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(onDisk().entry(10, 3), "Anna");
    EXPECT_EQ(onDisk().entry(11, 3), "Name2");  // "Bert" stays undone
}

TEST_F(UndoTest, ResultsFromTheLineSurviveTheOperatorsUndo) {
    open();
    // the operator empties the finish column of runners 1 to 3
    w->TimeTable->SetSelection(10, 6, 12, 6);
    key(Qt::Key_Delete);
    ASSERT_EQ(onDisk().entry(11, 6), "");
    // a result arrives for runner 2 in that column, one for runner 3 elsewhere
    w->TimeTable->setEntryRC(11, 6, "3:33.333");
    w->TimeTable->setEntryRC(12, 8, "4:44.444");
    ASSERT_EQ(onDisk().entry(11, 6), "3:33.333");
    // the program's writes are not undo steps: Ctrl+Z undoes the Delete
    undoKey();
    const Sheet s = onDisk();
    EXPECT_EQ(s.entry(10, 6).toStdString(), original.at({10, 6}));
    EXPECT_EQ(s.entry(12, 6).toStdString(), original.at({12, 6}));
    EXPECT_EQ(s.entry(11, 6), "3:33.333");  // the result is kept
    EXPECT_EQ(s.entry(12, 8), "4:44.444");
    // redo empties again what the operator emptied, still not the result
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(onDisk().entry(10, 6), "");
    EXPECT_EQ(onDisk().entry(11, 6), "3:33.333");
    EXPECT_EQ(onDisk().entry(12, 8), "4:44.444");
    // with nothing of the operator's left, Ctrl+Z never touches results
    undoKey();
    undoKey();
    EXPECT_EQ(onDisk().entry(11, 6), "3:33.333");
    EXPECT_EQ(onDisk().entry(12, 8), "4:44.444");
}

TEST_F(UndoTest, UndoAfterASwitchToSecondsPutsBackTheSameTime) {
    open();
    // the operator types over a time, then the seconds format comes on and a
    // result's save turns every time of the time columns into seconds
    w->TimeTable->SetActiveCell(10, 6);
    w->TimeTable->editBar()->setFocus();
    w->TimeTable->editBar()->setText("2:00.000");
    key(Qt::Key_Return);
    w->Sekundenmodus_setzen(true);
    w->TimeTable->setEntryRC(30, 6, "95.5");
    ASSERT_EQ(onDisk().entry(10, 6), "120");
    ASSERT_EQ(onDisk().entry(11, 6), "136.222");  // 2:16.222 as seconds
    undoKey();
    // the typed time is taken back (the cell still held it, in seconds)
    const Sheet s = onDisk();
    EXPECT_EQ(s.entry(10, 6), "136.111");  // 2:16.111 in seconds, in the column's format
    EXPECT_EQ(s.entry(30, 6), "95.5");
}

TEST_F(UndoTest, TheCellEditorKeepsItsOwnUndo) {
    open();
    w->TimeTable->SetActiveCell(10, 3);
    w->TimeTable->SetSelection(10, 3, 10, 3);
    key(Qt::Key_Delete);
    ASSERT_EQ(onDisk().entry(10, 3), "");
    w->TimeTable->editBar()->setFocus();
    w->TimeTable->editBar()->setText("abc");
    key(Qt::Key_Z, Qt::ControlModifier);  // goes to the edit line, not the table
    EXPECT_EQ(onDisk().entry(10, 3), "");
    EXPECT_TRUE(w->TimeTable->canUndo());
}

TEST_F(ControlTest, ADataFileThatIsNotAFileIsRefusedAtOnce) {
    for (NotAFile kind : kNotAFiles) {
        SCOPED_TRACE(name(kind));
        TempWorkDir folder;
        ASSERT_TRUE(makeNotAFile(kind, folder.file("liste.xls"), xls::kMaxFileSize + 1));
        dialogs->errors.clear();
        dialogs->notices.clear();
        QElapsedTimer t;
        t.start();
        create();
        EXPECT_LT(t.elapsed(), 2000);
        EXPECT_TRUE(dialogs->errors.isEmpty());
        ASSERT_EQ(dialogs->notices.size(), 1);
        EXPECT_TRUE(dialogs->notices[0].startsWith("Could not read Data File\nliste.xls: ")) << dialogs->notices[0].toStdString();
        EXPECT_TRUE(dialogs->notices[0].contains("\nFile: " + folder.file("liste.xls") + "\n"))
            << dialogs->notices[0].toStdString();
        EXPECT_TRUE(w->TimeTable->sheet().isEmpty());
        w.reset();
    }
}

TEST_F(ControlTest, ShownModallyThroughDialogs) {
    create();
    dialogs->execAnswers.push_back([](QDialog* d) {
        auto* tc = qobject_cast<TTimeControl*>(d);
        EXPECT_NE(tc, nullptr);
        tc->TimeTable->setEntryRC(10, 3, "during");
        tc->TimeControlOK->click();
        return int(d->result());
    });
    EXPECT_EQ(Dialogs::current().exec(w.get()), QDialog::Accepted);
    w->waitForSaves();
    EXPECT_EQ(onDisk().entry(10, 3), "during");
}

} // namespace
