#include "MainWindowFixture.h"

TEST_F(MainWindowTest, NormalLineSetsNumberRankTimeAndRemembersTheNumber) {
    line(timingLine("012", 'C', "00:01:23.456", " 3"));
    EXPECT_EQ(win->core().state().Startnummer, 12);
    EXPECT_EQ(win->core().state().Rangwert, 3);
    EXPECT_EQ(win->core().state().Zeitwert, 83456);
    EXPECT_EQ(win->core().state().LetzteStartnummer, 12);
    EXPECT_TRUE(win->core().state().Zeile.empty());
}

TEST_F(MainWindowTest, FieldsThatAreNotNumbersCountZero) {
    struct Case {
        std::string line;
        int number, rank;
    } cases[] = {
        {timingLine("  7", 'C', "00:00:01.000", "12"), 7, 12},   // blanks before a number are fine
        {timingLine("7  ", 'C', "00:00:01.000", "  "), 0, 0},    // after it they are not
        {timingLine("001", 'C', "00:00:01.000", "  ", 19), 1, 0},  // 19 bytes: no rank
        {timingLine("001", 'C', "00:00:01.000", "4", 21), 1, 4},
        {timingLine("K01", 'C', "00:00:01.000", "y1"), 0, 0},   // 'K'..'Z' lines are normal lines
        // "x1" reads as hexadecimal (runner 3: runner 1's 1.000 on C again would be a repeat)
        {timingLine("003", 'C', "00:00:01.000", "x1"), 3, 1},
        {std::string("\x80") + timingLine("01", 'C', "00:00:01.000", " 2").substr(0, 21), 0, 2},
    };
    for (const Case& c : cases) {
        line(c.line);
        EXPECT_EQ(win->core().state().Startnummer, c.number) << c.line;
        EXPECT_EQ(win->core().state().Rangwert, c.rank) << c.line;
        EXPECT_EQ(win->core().state().Zeitwert, 1000) << c.line;
    }
}

TEST_F(MainWindowTest, AddressedLineLeavesTimeRankAndRememberedNumber) {
    line(timingLine("005", 'C', "00:00:07.250", " 1"));
    line("B123" + std::string(18, 'x'));
    EXPECT_EQ(win->core().state().Zeitwert, 7250);
    EXPECT_EQ(win->core().state().Rangwert, 1);
    EXPECT_EQ(win->core().state().LetzteStartnummer, 5);
    EXPECT_EQ(win->core().state().Startnummer, 5);
    EXPECT_EQ(text("Zeit_Se"), "7");
}

TEST_F(MainWindowTest, StartNumberFollowsTheNumberAddress) {
    win->AdrNummer->setCurrentIndex(2);  // "B"
    line("B123" + std::string(18, ' '));
    EXPECT_EQ(win->core().state().Startnummer, 123);
    line(timingLine("045", 'C', "00:00:01.000", " 1"));
    EXPECT_EQ(win->core().state().Startnummer, 123);     // normal lines keep it
    EXPECT_EQ(win->core().state().LetzteStartnummer, 45);
    line("C777" + std::string(18, ' '));
    EXPECT_EQ(win->core().state().Startnummer, 123);     // another letter does not
}

TEST_F(MainWindowTest, ByteStreamFramingReachesDispatch) {
    const std::string a = timingLine("001", '.', "00:00:01.100");
    const std::string b = timingLine("001", '.', "00:00:02.200");
    // Noise, a short line, an over-long line and a LF after the CR.
    feed("garbage\r" + std::string(30, 'z') + "\r" + a + "\r\n");
    EXPECT_EQ(win->core().state().Zeitwert, 1100);
    // The LF is byte 1 of the next line, so its fields move by one.
    feed(b.substr(0, 21) + "\r");
    EXPECT_EQ(win->core().state().Startnummer, 0);
    feed(b + "\r");
    EXPECT_EQ(win->core().state().Zeitwert, 2200);
}

TEST_F(MainWindowTest, BoardsShowTheirPieceOfTheirLines) {
    // Start selections: address "A", from 1, 18 bytes.
    const std::string addressed = "A" + std::string("Hello board one and more");
    line(addressed.substr(0, 21));
    EXPECT_EQ(text("TextA1"), QString::fromStdString(addressed.substr(0, 18)));
    EXPECT_EQ(text("TextA4"), QString::fromStdString(addressed.substr(0, 18)));  // same address, same piece

    // Board 2 repeats the time of every normal line.
    win->Tafel[1].Adresse->setCurrentIndex(0);
    win->Tafel[1].VonZeichen->setCurrentIndex(8);
    win->Tafel[1].AnzZeichen->setCurrentIndex(11);
    line(timingLine("003", 'C', "00:01:02.345", " 1"));
    EXPECT_EQ(text("TextA2"), "00:01:02.345");
    EXPECT_EQ(text("TextA1"), QString::fromStdString(addressed.substr(0, 18)));  // not a normal-line board

    // From 22, count 23: positions 22 and 23 of a 23-byte line, nothing of a 21-byte one.
    win->Tafel[2].VonZeichen->setCurrentIndex(21);
    win->Tafel[2].AnzZeichen->setCurrentIndex(22);
    line("A" + std::string(20, '-') + "XY");
    EXPECT_EQ(text("TextA3"), "XY");
    line("A" + std::string(20, '-'));
    EXPECT_EQ(text("TextA3"), "");

    // A letter nobody listens to changes nothing.
    line("J" + std::string(20, '#'));
    EXPECT_EQ(text("TextA3"), "");
    EXPECT_EQ(text("TextA2"), "00:01:02.345");
}

TEST_F(MainWindowTest, BoardTextIsShownInTheCodePageAsPlainText) {
    line("A<b>M\xfcller & \x8aimon</b>");
    EXPECT_EQ(text("TextA1"), QString::fromUtf8("A<b>Müller & Šimon"));
}

TEST_F(MainWindowTest, RunningTimeIsNotShownWhileTimeIsSwitchedOff) {
    line(timingLine("001", '.', "00:00:05.100"));
    EXPECT_EQ(text("Zeit_Se"), "5");
    win->CheckBoxZ->setChecked(false);
    EXPECT_FALSE(shown("Zeit_Se"));
    line(timingLine("001", '.', "00:00:06.200"));
    EXPECT_EQ(text("Zeit_Se"), "5");
    EXPECT_EQ(win->core().state().Zeitwert, 6200);
}
