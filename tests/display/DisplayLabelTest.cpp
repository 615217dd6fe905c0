#include "common/Colour.h"
#include "common/Fonts.h"
#include "display/DisplayLabel.h"

#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

TEST(DisplayLabel, RightAlignedKeepsItsRightEdgeOthersTheirLeft) {
    QWidget parent;
    for (auto a : {DisplayLabel::Left, DisplayLabel::Center, DisplayLabel::Right}) {
        DisplayLabel l(&parent);
        l.setDisplayFont(fonts::make(fonts::kDigits, 35, true));
        l.setAlignment(a);
        l.setText("1");
        l.move(300, 10);
        const QRect before = l.geometry();
        l.setText("12345");
        EXPECT_GT(l.width(), before.width());
        if (a == DisplayLabel::Right) {
            EXPECT_EQ(l.geometry().right(), before.right());
        } else {
            EXPECT_EQ(l.x(), before.x());
        }
        EXPECT_EQ(l.y(), 10);
    }
}

// The place is the designed one: whatever the label showed before, and in
// whatever order text and font arrive, the same text stands in the same place.
TEST(DisplayLabel, SameTextSamePlaceWhateverWasShownBefore) {
    QWidget parent;
    for (auto a : {DisplayLabel::Left, DisplayLabel::Center, DisplayLabel::Right}) {
        DisplayLabel l(&parent);
        l.setDisplayFont(fonts::make(fonts::kDigits, 35, true));
        l.setAlignment(a);
        l.setText("000");
        l.setReferenceText("000");
        l.setPlace({511, 48});
        EXPECT_EQ(l.pos(), QPoint(511, 48));  // the design text stands at the place
        const QRect designed = l.geometry();
        l.setText("7.");
        const QRect seven = l.geometry();
        for (const char* t : {"123", "   .", "", "42"}) {
            l.setText(t);
            EXPECT_EQ(l.place(), QPoint(511, 48)) << t;
        }
        l.setDisplayFont(fonts::make(fonts::kDigits, 50, true));
        l.setText("7.");
        l.setDisplayFont(fonts::make(fonts::kDigits, 35, true));
        EXPECT_EQ(l.geometry(), seven);
        l.setText("000");
        EXPECT_EQ(l.geometry(), designed);
        if (a == DisplayLabel::Right)
            EXPECT_EQ(seven.right(), designed.right());
        else
            EXPECT_EQ(seven.left(), designed.left());
        // Moved as it stands showing "7.": the design text then stands there too.
        l.setText("7.");
        l.move(seven.topLeft() + QPoint(10, 5));
        l.setText("000");
        EXPECT_EQ(l.geometry(), designed.translated(10, 5));
    }
}

TEST(DisplayLabel, DigitsOfTheDesignFontAreFixedPitch) {
    QWidget parent;
    DisplayLabel l(&parent);
    l.setDisplayFont(fonts::make(fonts::kDigits, 35, true));
    EXPECT_EQ(l.font().family(), fonts::kDigits);  // keeps the design name
    int width = -1;
    for (const char* digit : {"0", "1", "7", "8", ":", "."}) {
        l.setText(digit);
        if (width < 0)
            width = l.width();
        EXPECT_EQ(l.width(), width) << digit;
    }
    EXPECT_GT(width, 10);
}

TEST(DisplayLabel, EmptyTextKeepsASize) {
    QWidget parent;
    DisplayLabel l(&parent);
    l.setText("");
    EXPECT_GT(l.width(), 0);
    EXPECT_GT(l.height(), 0);
}

TEST(DisplayLabel, PaintsBackgroundOnlyWhenOpaqueWithAColour) {
    QWidget parent;
    parent.resize(200, 100);
    DisplayLabel l(&parent);
    l.setDisplayFont(fonts::make(fonts::kDigits, 30, true));
    l.setText("  ");
    l.setFontColour(colour::Yellow);
    auto centre = [&] { return l.grab().toImage().pixelColor(l.width() / 2, l.height() / 2); };
    l.setColour(colour::Red);
    EXPECT_EQ(centre(), QColor(255, 0, 0));
    l.setTransparent(true);
    EXPECT_NE(centre(), QColor(255, 0, 0));
    l.setTransparent(false);
    l.setColour(colour::None);
    EXPECT_NE(centre(), QColor(255, 0, 0));
}

TEST(DisplayLabel, ShowsMarkupAndAmpersandsAsPlainText) {
    QWidget parent;
    DisplayLabel l(&parent);
    l.setDisplayFont(fonts::make(fonts::kDigits, 20, true));
    l.setText("<b>A&B</b>");
    EXPECT_EQ(l.text(), "<b>A&B</b>");
    // Fixed pitch: ten characters are ten times one.
    DisplayLabel one(&parent);
    one.setDisplayFont(l.font());
    one.setText("x");
    EXPECT_EQ(l.width(), 10 * one.width());
}
