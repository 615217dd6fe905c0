#include "common/Placement.h"

#include <gtest/gtest.h>

namespace {
const QRect kFullHd(0, 0, 1920, 1080);
const QRect kRightOfIt(1920, 0, 1280, 1024);
} // namespace

TEST(Placement, WindowsOffTheirScreenComeBackOntoTheNearestOne) {
    struct Case {
        QRect frame;
        QList<QRect> screens;
        QPoint expected;
    } cases[] = {
        {{266, 171, 803, 765}, {kFullHd}, {266, 171}},            // on screen: stays
        {{3000, -5, 803, 765}, {kFullHd}, {0, 0}},                // right of the desktop and above it
        {{3000, 200, 803, 765}, {QRect(0, 0, 1600, 1200)}, {0, 200}},
        {{-700, 100, 803, 765}, {kFullHd}, {-700, 100}},          // 103 pixels still to grab
        {{-790, 100, 803, 765}, {kFullHd}, {0, 100}},             // 13 pixels are too few
        {{100, 1070, 400, 300}, {kFullHd}, {100, 0}},             // title bar below the bottom
        {{2500, 2000, 400, 300}, {kFullHd, kRightOfIt}, {2500, 0}},  // below the second screen
        {{2000, 2000, 400, 300}, {kFullHd, kRightOfIt}, {0, 0}},     // nearer the first one
        {{5000, 100, 400, 300}, {kFullHd, kRightOfIt}, {1920, 100}}, // right of the second screen
        {{1800, 100, 400, 300}, {kFullHd, kRightOfIt}, {1800, 100}}, // across both
        {{10, 10, 100, 100}, {}, {10, 10}},                       // no screen known: left alone
        // Reaching below the screen (a laptop's 1366x768 less a panel): up as
        // far as needed, never with the title bar above the screen.
        {{266, 171, 803, 785}, {QRect(0, 0, 1366, 738)}, {266, 0}},
        {{266, 200, 803, 500}, {QRect(0, 0, 1366, 738)}, {266, 200}},  // fits: stays
        {{266, 400, 803, 500}, {QRect(0, 0, 1366, 738)}, {266, 238}},
        {{266, 400, 803, 500}, {QRect(0, 30, 1366, 738)}, {266, 268}},  // panel at the top
        {{-700, 500, 803, 765}, {kFullHd}, {-700, 315}},          // partly left of it: only raised
    };
    for (const Case& c : cases)
        EXPECT_EQ(placement::ontoScreen(c.frame, c.screens), c.expected)
            << c.frame.x() << "," << c.frame.y();
}

TEST(Placement, AWindowLargerThanItsScreenShrinksToItAndComesOnto) {
    const QRect laptop(0, 0, 1366, 738);  // 1366x768 less a panel
    const QRect projector(0, 0, 800, 600);
    struct Case {
        QRect frame;
        QList<QRect> screens;
        QRect expected;
    } cases[] = {
        {{266, 171, 803, 785}, {laptop}, {266, 0, 803, 738}},
        {{266, 171, 803, 785}, {projector}, {0, 0, 800, 600}},
        {{266, 171, 803, 785}, {kFullHd}, {266, 171, 803, 785}},  // fits: untouched
        {{2000, 171, 803, 1200}, {kFullHd, kRightOfIt}, {2000, 0, 803, 1024}},  // its own screen's size
        {{10, 10, 5000, 5000}, {}, {10, 10, 5000, 5000}},          // no screen known
    };
    for (const Case& c : cases)
        EXPECT_EQ(placement::fitted(c.frame, c.screens), c.expected) << c.frame.x() << "," << c.frame.y();
}

TEST(Placement, ScreenOfAWindowIsTheOneItCoversMostElseTheNearest) {
    EXPECT_EQ(placement::screenOf({1800, 0, 400, 300}, {kFullHd, kRightOfIt}), 1);
    EXPECT_EQ(placement::screenOf({1600, 0, 400, 300}, {kFullHd, kRightOfIt}), 0);
    EXPECT_EQ(placement::screenOf({-900, 50, 400, 300}, {kFullHd, kRightOfIt}), 0);
    EXPECT_EQ(placement::screenOf({3500, 50, 400, 300}, {kFullHd, kRightOfIt}), 1);
    EXPECT_EQ(placement::screenOf({0, 0, 1, 1}, {}), -1);
}

TEST(Placement, DialogsOpenFullyInsideTheScreen) {
    const QRect small(0, 0, 1024, 768);
    // The time table window's design place lies mostly off a small screen.
    EXPECT_EQ(placement::fullyInside({1103, 533, 665, 480}, small), QRect(179, 144, 665, 480));
    EXPECT_EQ(placement::fullyInside({100, 100, 665, 480}, small), QRect(100, 100, 665, 480));
    EXPECT_EQ(placement::fullyInside({-50, 0, 176, 85}, small).topLeft(), QPoint(424, 341));
    EXPECT_EQ(placement::fullyInside({0, 0, 2000, 2000}, small), small);
    // On a second screen the area is that screen's.
    EXPECT_TRUE(kRightOfIt.contains(placement::fullyInside({100, 100, 665, 480}, kRightOfIt)));
}
