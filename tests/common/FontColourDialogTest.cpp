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
