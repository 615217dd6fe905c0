#include "common/Colour.h"
#include "common/Fonts.h"
#include "display/DisplayLabel.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

#include <array>
#include <optional>

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

namespace {
// A label drawn the plain way: QPainter::drawText into the widget's rectangle.
class PlainTextWidget : public QWidget {
public:
    using QWidget::QWidget;
    QString text;
    int flags = 0;
    QColor pen;
    std::optional<QColor> fill;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (fill)
            p.fillRect(rect(), *fill);
        p.setPen(pen);
        p.setFont(font());
        p.drawText(rect(), flags, text);
    }
};
} // namespace

// A label draws its text exactly as QPainter::drawText does, pixel for pixel,
// over the board's background or its own colour: for any font, alignment and
// text, the first time, when the text comes back over the same pixels (drawn
// from what the label kept), and when it comes back over other pixels; on a
// pixmap and on images of the window's pixel formats.
TEST(DisplayLabel, LooksLikePlainDrawText) {
    QWidget board;
    board.resize(1400, 400);
    board.setAutoFillBackground(true);
    auto boardColour = [&](QColor c) {
        QPalette pal = board.palette();
        pal.setColor(QPalette::Window, c);
        board.setPalette(pal);
    };
    DisplayLabel label(&board);
    PlainTextWidget plain(&board);
    label.setFontColour(colour::Yellow);
    plain.pen = QColor(255, 255, 0);
    auto shots = [&] {
        QImage rgb(board.size(), QImage::Format_RGB32), argb(board.size(), QImage::Format_ARGB32_Premultiplied);
        board.render(&rgb);
        board.render(&argb);
        return std::array<QImage, 3>{board.grab().toImage(), rgb, argb};
    };

    QFont italic = fonts::make(fonts::kPanel, 48, false);
    italic.setItalic(true);
    QFont underlined = fonts::make(fonts::kDigits, 29, true);
    underlined.setUnderline(true);
    const QFont faces[] = {fonts::make(fonts::kDigits, 35, true), fonts::make(fonts::kDigits, 97, true),
                           fonts::make(fonts::kPanel, 29, false), fonts::make(fonts::kPanel, 12, false), italic,
                           fonts::make(fonts::kDialog, 13, true), underlined};
    const QString texts[] = {"0", "7", ":", ".", " ", "12.", "  3", "4  ", "Müller J.", "A&B <b>", "Łódź ßü",
                             "tab\there", "x\x9cy", "0"};
    int compared = 0;
    for (bool filled : {false, true}) {
        label.setTransparent(!filled);
        for (const QFont& f : faces) {
            label.setDisplayFont(f);
            plain.setFont(f);
            for (auto a : {DisplayLabel::Left, DisplayLabel::Center, DisplayLabel::Right}) {
                label.setAlignment(a);
                plain.flags = Qt::AlignVCenter | Qt::TextSingleLine |
                              (a == DisplayLabel::Right    ? Qt::AlignRight
                               : a == DisplayLabel::Center ? Qt::AlignHCenter
                                                           : Qt::AlignLeft);
                // the second time over the same pixels, the third over others
                for (int round = 0; round < 3; ++round) {
                    const bool other = round == 2;
                    boardColour(other ? QColor(90, 20, 30) : QColor(20, 60, 140));
                    label.setColour(other ? colour::rgb(0, 80, 0) : colour::rgb(40, 40, 40));
                    plain.fill = filled ? std::optional(other ? QColor(0, 80, 0) : QColor(40, 40, 40)) : std::nullopt;
                    for (const QString& t : texts) {
                        label.setText(t);
                        label.move(7, 3);
                        plain.text = t;
                        plain.setGeometry(QRect(QPoint(7, 203), label.size()));
                        for (const QImage& shot : shots()) {
                            const QImage mine = shot.copy(label.geometry());
                            const QImage theirs = shot.copy(plain.geometry());
                            ASSERT_EQ(mine, theirs) << qPrintable(f.toString()) << " alignment " << a << " '"
                                                    << qPrintable(t) << "' round " << round << " filled " << filled
                                                    << " format " << shot.format();
                            ++compared;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(compared, 2 * 7 * 3 * 3 * 14 * 3);
}

// A label that shows ever new long texts (names) keeps only a few of them
// as pictures; whichever it starts again with, each still looks right.
TEST(DisplayLabel, ManyLongTextsStayRightWhenTheKeptOnesGo) {
    QWidget board;
    board.resize(900, 200);
    board.setAutoFillBackground(true);
    DisplayLabel label(&board);
    PlainTextWidget plain(&board);
    label.setFontColour(colour::Yellow);
    label.setTransparent(true);
    plain.pen = QColor(255, 255, 0);
    label.setDisplayFont(fonts::make(fonts::kDigits, 35, true));
    plain.setFont(label.font());
    plain.flags = Qt::AlignVCenter | Qt::TextSingleLine | Qt::AlignLeft;
    int compared = 0;
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < 30; ++i) {
            const QString t = QStringLiteral("Runner %1 with a long name").arg(i);
            label.setText(t);
            label.move(5, 5);
            plain.text = t;
            plain.setGeometry(QRect(QPoint(5, 100), label.size()));
            QImage shot(board.size(), QImage::Format_RGB32);
            board.render(&shot);
            ASSERT_EQ(shot.copy(label.geometry()), shot.copy(plain.geometry())) << qPrintable(t) << " round " << round;
            ++compared;
        }
    EXPECT_EQ(compared, 90);
}

// Filled with its colour the label hides the board beneath; transparent or
// without colour the board shows through it again, wherever it has no text.
TEST(DisplayLabel, BoardShowsThroughExactlyWhenNotFilled) {
    QWidget board;
    board.resize(300, 100);
    board.setAutoFillBackground(true);
    QPalette pal = board.palette();
    pal.setColor(QPalette::Window, QColor(0, 128, 0));
    board.setPalette(pal);
    DisplayLabel label(&board);
    label.setDisplayFont(fonts::make(fonts::kDigits, 35, true));
    label.setText("   ");
    label.move(20, 20);
    board.show();
    // What the window shows after Qt repainted what changed (not a fresh rendering).
    auto centre = [&] {
        QApplication::processEvents();
        return board.screen()->grabWindow(board.winId()).toImage().pixelColor(label.geometry().center());
    };
    struct Case {
        int32_t colour;
        bool transparent;
        QColor seen;
    };
    const Case cases[] = {{colour::Red, false, QColor(255, 0, 0)},   {colour::Red, true, QColor(0, 128, 0)},
                          {colour::rgb(0, 0, 255), false, QColor(0, 0, 255)},  {colour::None, false, QColor(0, 128, 0)},
                          {colour::Yellow, false, QColor(255, 255, 0)}, {colour::Yellow, true, QColor(0, 128, 0)}};
    for (const Case& c : cases) {
        label.setColour(c.colour);
        label.setTransparent(c.transparent);
        EXPECT_EQ(centre(), c.seen) << c.colour << " " << c.transparent;
        EXPECT_EQ(label.testAttribute(Qt::WA_OpaquePaintEvent), c.seen != QColor(0, 128, 0));
    }
}
