#include "timetable/Spreadsheet.h"

#include "TempDir.h"
#include "timetable/Xls.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <gtest/gtest.h>

namespace {

class SpreadsheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        t.OnEndRecalc = [this] { ++recalcs; };
    }
    TSpreadsheet t;
    int recalcs = 0;
};

TEST_F(SpreadsheetTest, ChangesRaiseEndRecalcAndModifiedOnce) {
    EXPECT_EQ(t.objectName(), "TimeTable");
    t.setEntryRC(10, 6, "00:02:03.456");
    EXPECT_EQ(recalcs, 1);
    EXPECT_TRUE(t.Modified());
    EXPECT_EQ(t.EntryRC(10, 6), "2:03.456");
    t.setModified(false);
    t.setEntryRC(10, 6, "2:03.456");  // same content: no change
    t.setEntryRC(11, 6, "");          // already empty
    EXPECT_EQ(recalcs, 1);
    EXPECT_FALSE(t.Modified());
    t.setEntryRC(10, 6, "");
    EXPECT_EQ(recalcs, 2);
    EXPECT_EQ(t.EntryRC(10, 6), "");
    t.OnEndRecalc = nullptr;  // an event without handler is skipped
    t.setEntryRC(1, 1, "x");
    EXPECT_EQ(t.EntryRC(1, 1), "x");
}

TEST_F(SpreadsheetTest, NumberFormatAppliesToTheSelectionOnly) {
    t.setEntryRC(5, 6, "203.456");
    t.setEntryRC(5, 5, "203.456");
    t.setModified(false);
    t.SetSelection(1, 6, t.MaxCol(), 17);
    t.setNumberFormat("###.##");
    EXPECT_TRUE(t.Modified());
    EXPECT_EQ(recalcs, 2);  // formatting is no recalculation
    EXPECT_EQ(t.NumberFormat(), "###.##");
    EXPECT_EQ(t.TextRC(5, 6), "203.46");
    EXPECT_EQ(t.TextRC(5, 5), "203.456");
    EXPECT_EQ(t.TextRC(256, 17), "");
    t.setEntryRC(256, 17, "1.5");
    EXPECT_EQ(t.TextRC(256, 17), "1.5");
    t.setEntryRC(257, 17, "1.5");
    t.SetSelection(1, 6, 1, 6);
    t.setNumberFormat("m:ss.000");
    t.setEntryRC(1, 6, "83.5");  // seconds in a time cell
    EXPECT_EQ(t.TextRC(1, 6), "1:23.500");
    EXPECT_EQ(t.EntryRC(1, 6), "1:23.500");
    EXPECT_EQ(t.MaxCol(), 256);
}

TEST_F(SpreadsheetTest, ReadExAndWrite) {
    TempWorkDir dir;
    t.SheetName(1, "Times");
    t.setEntryRC(2, 2, "Titel");
    t.setEntryRC(10, 3, "Šimon");
    ASSERT_TRUE(t.Write("liste.xls", 11));
    EXPECT_FALSE(t.Write("other.xls", 5));  // only the Excel 97-2003 type
    EXPECT_FALSE(t.Write(dir.file("missing/liste.xls"), 11));

    TSpreadsheet u;
    u.SheetName(1, "Times");
    EXPECT_EQ(u.ReadEx("liste.xls"), 0);
    EXPECT_EQ(u.EntryRC(10, 3), "Šimon");
    EXPECT_EQ(u.TextRC(2, 2), "Titel");
    EXPECT_EQ(u.sheet().name(), "Times");
    dir.write("bad.xls", QByteArray(600, 'x'));
    EXPECT_EQ(u.ReadEx("bad.xls"), 8);
    EXPECT_FALSE(u.lastError().isEmpty());
    EXPECT_EQ(u.ReadEx("nothing.xls"), 8);
    EXPECT_EQ(u.EntryRC(10, 3), "Šimon");  // a failed read keeps the cells
}

TEST_F(SpreadsheetTest, ColumnWidthsComeFromTheFileAndGoBackIntoIt) {
    TempWorkDir dir;
    Sheet s;
    s.setColumnWidth(3, 30 * 256);
    QByteArray file;
    ASSERT_TRUE(xls::write(s, file));
    dir.write("w.xls", file);
    ASSERT_EQ(t.ReadEx("w.xls"), 0);
    const int wide = t.grid()->columnWidth(2);
    EXPECT_EQ(wide, 30 * QFontMetrics(t.grid()->font()).averageCharWidth());
    EXPECT_EQ(t.grid()->columnWidth(3), t.grid()->horizontalHeader()->defaultSectionSize());
    EXPECT_EQ(t.sheet().columnWidth(3), 30 * 256);  // showing it changed nothing
    t.grid()->setColumnWidth(4, wide);  // the operator widens column E
    EXPECT_NEAR(t.sheet().columnWidth(5), 30 * 256, 256);
    ASSERT_TRUE(t.Write("w.xls", 11));
    Sheet back;
    ASSERT_TRUE(xls::readFile("w.xls", back));
    EXPECT_EQ(back.columnWidth(5), t.sheet().columnWidth(5));
    EXPECT_EQ(back.columnWidth(4), 0);
}

TEST_F(SpreadsheetTest, ActiveCellAndSelectionFollowTheGrid) {
    t.SetActiveCell(12, 7);
    int r = 0, c = 0;
    t.GetActiveCell(r, c);
    EXPECT_EQ(r, 12);
    EXPECT_EQ(c, 7);
    EXPECT_EQ(t.grid()->currentIndex().row(), 11);
    EXPECT_EQ(t.grid()->currentIndex().column(), 6);
    // the operator moves the cursor in the grid
    auto* m = t.grid()->model();
    t.grid()->selectionModel()->setCurrentIndex(m->index(2, 3), QItemSelectionModel::ClearAndSelect);
    t.GetActiveCell(r, c);
    EXPECT_EQ(r, 3);
    EXPECT_EQ(c, 4);
    t.setNumberFormat("0.00");
    t.setEntryRC(3, 4, "2");
    EXPECT_EQ(t.TextRC(3, 4), "2.00");
}

TEST_F(SpreadsheetTest, OperatorEditsRaiseEndRecalc) {
    auto* m = t.grid()->model();
    ASSERT_TRUE(m->setData(m->index(9, 2), "Müller", Qt::EditRole));
    EXPECT_EQ(t.EntryRC(10, 3), "Müller");
    EXPECT_EQ(m->data(m->index(9, 2), Qt::DisplayRole).toString(), "Müller");
    EXPECT_EQ(recalcs, 1);
    // the edit bar shows and edits the active cell's entry
    t.show();
    t.setShowEditBar(true);
    EXPECT_TRUE(t.editBar()->isVisible());
    t.SetActiveCell(10, 3);
    EXPECT_EQ(t.editBar()->text(), "Müller");
    t.editBar()->setText("Maier");
    emit t.editBar()->returnPressed();
    EXPECT_EQ(t.EntryRC(10, 3), "Maier");
    EXPECT_EQ(recalcs, 2);
    t.setEntryRC(10, 3, "Huber");  // a program change shows in the bar
    EXPECT_EQ(t.editBar()->text(), "Huber");
    t.setShowEditBar(false);
    EXPECT_FALSE(t.editBar()->isVisible());
}

TEST_F(SpreadsheetTest, ClipboardCopyCutPaste) {
    t.setEntryRC(1, 1, "a");
    t.setEntryRC(1, 2, "tab\there");
    t.setEntryRC(2, 1, "1:02.500");
    t.setEntryRC(2, 2, "\"quoted\"\nline");
    recalcs = 0;
    t.SetSelection(1, 1, 2, 3);
    t.ClearClipboard();
    EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
    t.EditCopy();
    EXPECT_EQ(QApplication::clipboard()->text(),
              "a\t\"tab\there\"\r\n1:02.500\t\"\"\"quoted\"\"\nline\"\r\n");  // up to the used column
    t.SetActiveCell(20, 5);
    t.EditPaste();
    EXPECT_EQ(recalcs, 1);
    EXPECT_EQ(t.EntryRC(20, 5), "a");
    EXPECT_EQ(t.EntryRC(20, 6), "tab\there");
    EXPECT_EQ(t.EntryRC(21, 5), "1:02.500");
    EXPECT_EQ(t.EntryRC(21, 6), "\"quoted\"\nline");
    t.SetSelection(20, 5, 21, 6);
    t.EditCut();
    EXPECT_EQ(recalcs, 2);
    EXPECT_EQ(t.EntryRC(20, 5), "");
    EXPECT_EQ(t.EntryRC(21, 6), "");
    // a whole-sheet selection copies only the used part
    t.SetSelection(1, 1, 65536, 256);
    t.EditCopy();
    EXPECT_EQ(QApplication::clipboard()->text().count(u'\n'), 3);  // rows 1 and 2, one line feed inside
    // pasting at the last cell keeps inside the sheet
    QApplication::clipboard()->setText("x\ty\r\nz\tw\r\n");
    t.SetActiveCell(65536, 256);
    t.EditPaste();
    EXPECT_EQ(t.EntryRC(65536, 256), "x");
}

TEST(Tabbed, ParsesWhatSpreadsheetsPutOnTheClipboard) {
    using Rows = QList<QStringList>;
    EXPECT_EQ(TSpreadsheet::parseTabbed("a\tb\r\nc\td\r\n", 100, 100), (Rows{{"a", "b"}, {"c", "d"}}));
    EXPECT_EQ(TSpreadsheet::parseTabbed("a\tb\nc", 100, 100), (Rows{{"a", "b"}, {"c"}}));
    EXPECT_EQ(TSpreadsheet::parseTabbed("\"x\ty\"\t\"say \"\"hi\"\"\"\n", 100, 100),
              (Rows{{"x\ty", "say \"hi\""}}));
    EXPECT_EQ(TSpreadsheet::parseTabbed("\t\n", 100, 100), (Rows{{"", ""}}));
    EXPECT_EQ(TSpreadsheet::parseTabbed("a\tb\tc\n1\n2\n3\n", 2, 2), (Rows{{"a", "b"}, {"1"}}));
    EXPECT_EQ(TSpreadsheet::parseTabbed("\"never closed", 5, 5), (Rows{{"never closed"}}));
    const Rows rows{{"p", "q\tr"}, {"", "\"s\""}};
    EXPECT_EQ(TSpreadsheet::parseTabbed(TSpreadsheet::toTabbed(rows), 10, 10), rows);
}

TEST_F(SpreadsheetTest, DeleteKeyEmptiesTheSelection) {
    t.setEntryRC(3, 3, "x");
    t.setEntryRC(3, 4, "y");
    recalcs = 0;
    t.SetSelection(3, 3, 3, 4);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(t.grid(), &del);
    EXPECT_EQ(t.EntryRC(3, 3), "");
    EXPECT_EQ(t.EntryRC(3, 4), "");
    EXPECT_EQ(recalcs, 1);
}

} // namespace
