#include "common/Colour.h"
#include "common/Dialogs.h"
#include "common/Fonts.h"

#include <QFontDialog>
#include <QFontInfo>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(FontColourDialog, StartsAtTheGivenFontAndColourAndReturnsBoth) {
    const QFont start = fonts::make(fonts::kDigits, 35, true);
    FontColourDialog dlg({start, colour::Yellow}, true);
    auto* fonts = dlg.findChild<QFontDialog*>("fonts");
    ASSERT_NE(fonts, nullptr);
    EXPECT_TRUE(fonts->testOption(QFontDialog::MonospacedFonts));
    EXPECT_NE(dlg.findChild<QPushButton*>("colour"), nullptr);
    const Dialogs::FontChoice c = dlg.choice();
    EXPECT_EQ(c.colour, colour::Yellow);
    EXPECT_TRUE(QFontInfo(c.font).fixedPitch());  // the design face is mapped to an installed one
    EXPECT_EQ(c.font.pixelSize(), 35);            // 26 points at 96 per inch

    FontColourDialog all({start, colour::Red}, false);
    EXPECT_FALSE(all.findChild<QFontDialog*>("fonts")->testOption(QFontDialog::MonospacedFonts));
}

#include <QAbstractItemModel>
#include <QApplication>
#include <QFontDatabase>
#include <QListView>
#include <QMessageBox>

namespace {
// The families the dialog offers: the rows of its list of installed families.
QStringList offeredFamilies(const FontColourDialog& dlg) {
    const QStringList installed = QFontDatabase::families();
    for (const QListView* view : dlg.findChildren<QListView*>()) {
        const QAbstractItemModel* m = view->model();
        if (!m || m->rowCount() == 0 || !installed.contains(m->index(0, 0).data().toString()))
            continue;
        QStringList rows;
        for (int r = 0; r < m->rowCount(); ++r)
            rows << m->index(r, 0).data().toString();
        return rows;
    }
    return {};
}
} // namespace

// What the operator can pick: only fixed-pitch families for the time, rank,
// start number and preset time; every family for the boards.
TEST(FontColourDialog, FixedPitchOnlyOffersNothingElse) {
    ASSERT_TRUE(QFontDatabase::families().contains("DejaVu Sans"));
    ASSERT_TRUE(QFontDatabase::families().contains("DejaVu Sans Mono"));
    const QFont start = fonts::make(fonts::kDigits, 35, true);
    FontColourDialog fixed({start, colour::Yellow}, true);
    const QStringList offered = offeredFamilies(fixed);
    ASSERT_FALSE(offered.isEmpty());
    EXPECT_TRUE(offered.contains("DejaVu Sans Mono"));
    EXPECT_FALSE(offered.contains("DejaVu Sans"));
    for (const QString& family : offered)
        EXPECT_TRUE(QFontDatabase::isFixedPitch(family)) << family.toStdString();
    EXPECT_TRUE(QFontInfo(fixed.choice().font).fixedPitch());  // starts at a fixed-pitch face

    FontColourDialog all({start, colour::Yellow}, false);
    EXPECT_TRUE(offeredFamilies(all).contains("DejaVu Sans"));
    EXPECT_TRUE(offeredFamilies(all).contains("DejaVu Sans Mono"));
}

// A notice never waits for the operator, and a repeated fault keeps one box.
TEST(ScreenNotice, ShowsWithoutWaitingOneBoxPerKeyAndIsWithdrawn) {
    ScreenDialogs screen;
    QWidget parent;
    parent.show();  // a box waits for a window that is not shown yet
    auto boxes = [&] { return parent.findChildren<QMessageBox*>(); };
    screen.notice(&parent, "save", "Could not write Data File");  // returns at once: no event loop runs
    screen.notice(&parent, "save", "Could not write Data File: disk full");
    screen.notice(&parent, "picture", "Could not read picture file: logo1.bmp");
    ASSERT_EQ(boxes().size(), 2);
    QMessageBox* save = nullptr;
    for (QMessageBox* b : boxes())
        if (b->text().contains("disk full"))
            save = b;
    ASSERT_NE(save, nullptr);
    EXPECT_TRUE(save->isVisible());
    EXPECT_FALSE(save->isModal());
    EXPECT_EQ(save->textFormat(), Qt::PlainText);

    screen.withdrawNotice("save");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_TRUE(boxes().first()->text().contains("logo1.bmp"));
}
