#include "MainWindowFixture.h"


namespace {
const char* const kPlaces[] = {"Zeit_Hz", "Zeit_He", "Zeit_Dp1", "Zeit_Mz", "Zeit_Me", "Zeit_Dp2",
                               "Zeit_Sz", "Zeit_Se", "Zeit_Pt",  "Zeit_z",  "Zeit_h",  "Zeit_t"};
} // namespace

class TimeDigits : public MainWindowTest {
protected:
    // "1" for each visible place, "." for each hidden one, left to right.
    std::string visibility() {
        std::string v;
        for (const char* p : kPlaces)
            v += shown(p) ? '1' : '.';
        return v;
    }
    void choose(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    // The time as the board shows it: the visible places' characters.
    std::string shownTime() {
        std::string s;
        for (const char* p : kPlaces)
            if (shown(p))
                s += text(p).toStdString();
        return s;
    }
    std::string digits() {
        std::string s;
        for (const char* p : kPlaces)
            s += text(p).toStdString();
        return s;
    }
};

TEST_F(TimeDigits, FormatAndPrecisionDecideTheVisiblePlaces) {
    struct Case {
        int format, precision;
        bool secMode;
        const char* visible;  // Hz He : Mz Me : Sz Se . z h t
    } cases[] = {
        {1, 0, false, "......11...."},     // SS, sec
        {1, 2, false, "......11111."},     // SS, 1/100
        {2, 2, false, "....1111111."},
        {3, 1, false, "...1111111.."},
        {4, 3, false, ".11111111111"},
        {5, 3, false, "111111111111"},     // HH:MM:SS, 1/1000: all twelve
        {4, 2, true, ".1.11.11111."},     // H:MM:SS in seconds mode: no colons
        {5, 0, true, "11.11.11...."},
    };
    for (const Case& c : cases) {
        if (win->SecMode->isChecked() != c.secMode)
            win->SecMode->setChecked(c.secMode);
        choose(win->ZeitDarstellung, c.format);
        choose(win->Genauigkeit, c.precision);
        EXPECT_EQ(visibility(), c.visible) << "format " << c.format << " precision " << c.precision;
    }
}

TEST_F(TimeDigits, SecondsModeSwitchShowsOnlyTheColonsOfTheFormat) {
    win->FormPaint();  // runs the seconds mode switch once
    EXPECT_EQ(visibility(), "....1111111.");  // "M:SS", 1/100: no hours colon
    win->SecMode->setChecked(true);
    EXPECT_EQ(visibility(), "....1.11111.");
    choose(win->ZeitDarstellung, 5);
    win->SecMode->setChecked(false);
    EXPECT_EQ(visibility(), "11111111111.");
    win->CheckBoxZ->setChecked(false);
    win->SecMode->setChecked(true);
    win->SecMode->setChecked(false);
    EXPECT_EQ(visibility(), "............");
}

TEST_F(TimeDigits, SwitchingTheTimeOnKeepsThePrecision) {
    choose(win->Genauigkeit, 1);
    win->CheckBoxZ->setChecked(false);
    EXPECT_EQ(visibility(), "............");
    win->CheckBoxZ->setChecked(true);
    EXPECT_EQ(visibility(), "....111111..");
}

TEST_F(TimeDigits, FixedFormatBlanksLeadingPlacesBelowTheirThresholds) {
    choose(win->ZeitDarstellung, 5);
    choose(win->Genauigkeit, 3);
    struct Case {
        const char* field;
        const char* shows;  // the twelve captions, left to right
    } cases[] = {
        {"00:00:09.999", "00:0   9.999"},  // below 10 s the tens of seconds are blank
        {"00:00:10.000", "00:0  10.000"},
        {"00:00:59.999", "00:0  59.999"},  // below 1 min minutes and colon are blank
        {"00:01:00.000", "00:01:00.000"},
        {"12:34:56.789", "12:34:56.789"},
        {"  :  : 0.000", "  :    0.0 0"},  // time 0: no hundredths
    };
    for (const Case& c : cases) {
        line(timingLine("001", 'C', c.field, " 1"));
        EXPECT_EQ(digits(), c.shows) << c.field;
        EXPECT_EQ(visibility(), "111111111111") << c.field;  // a fixed format never hides places
    }
}

TEST_F(TimeDigits, ShortLinesBlankHundredthsAndThousandths) {
    choose(win->Genauigkeit, 3);
    line(timingLine("001", 'C', "00:00:12.345", "", 20));
    EXPECT_EQ(text("Zeit_h"), "4");
    EXPECT_EQ(text("Zeit_t"), "5");
    line(timingLine("001", 'C', "00:00:12.345", "", 19));
    EXPECT_EQ(text("Zeit_z"), "3");
    EXPECT_EQ(text("Zeit_h"), " ");
    EXPECT_EQ(text("Zeit_t"), " ");
}

TEST_F(TimeDigits, AutomaticFormatShowsLeadingPlacesAsTheTimeGrows) {
    choose(win->ZeitDarstellung, 0);
    choose(win->Genauigkeit, 2);
    EXPECT_TRUE(win->ZeitAutomatik);
    struct Case {
        const char* field;
        char kind;
        const char* visible;
    } cases[] = {
        {"00:00:09.999", '.', "...." ".." ".1" "11.."},   // running: hundredths hidden
        {"00:00:10.000", '.', "...." ".." "11" "11.."},
        {"00:00:59.999", 'C', "...." ".." "11" "1111"},   // a finish line shows h and t again
        {"00:01:00.000", '.', "...." "11" "11" "11.."},
        {"00:10:00.000", '.', "...1" "11" "11" "11.."},
        {"01:00:00.000", '.', ".111" "11" "11" "11.."},
        {"10:00:00.000", '.', "1111" "11" "11" "11.."},
        {"00:00:05.000", '.', "...." ".." ".1" "11.."},   // and hides them when it shrinks
    };
    for (const Case& c : cases) {
        line(timingLine("001", c.kind, c.field, c.kind == '.' ? "  " : " 1"));
        EXPECT_EQ(visibility(), c.visible) << c.field << ' ' << c.kind;
    }
    // A blank at position 19 leaves the visibility of hundredths and thousandths.
    line(timingLine("001", 'C', "00:00:05.000", " 1"));
    ASSERT_EQ(visibility().substr(10), "11");
    line(timingLine("001", 'C', "00:00:05.1  ", " 1"));
    EXPECT_EQ(visibility().substr(10), "11");
}

TEST_F(TimeDigits, PixelOffsetAndSecondsModeLayOutTheLabels) {
    choose(win->ZeitDarstellung, 5);
    choose(win->ZeitPixelversatz, 0);  // "-10"
    EXPECT_EQ(win->Pixelversatz, -10);
    const int w = win->Zeit_He->width();
    EXPECT_EQ(win->Zeit_He->x(), win->Zeit_Hz->x() + win->Zeit_Hz->width());
    EXPECT_EQ(win->Zeit_Dp1->x(), win->Zeit_He->x() + w - 10);
    EXPECT_EQ(win->Zeit_Mz->x(), win->Zeit_Dp1->x() + win->Zeit_Dp1->width() - 10);
    for (const char* p : kPlaces)
        EXPECT_EQ(widget(p)->y(), win->Zeit_Hz->y()) << p;

    win->SecMode->setChecked(true);
    EXPECT_FALSE(shown("Zeit_Dp1"));
    EXPECT_FALSE(shown("Zeit_Dp2"));
    EXPECT_EQ(win->Zeit_Dp1->x(), win->Zeit_He->x() - 10);
    EXPECT_EQ(win->Zeit_Sz->x(), win->Zeit_Me->x() + win->Zeit_Me->width() - 20);
    win->SecMode->setChecked(false);
    EXPECT_TRUE(shown("Zeit_Dp1"));
    EXPECT_EQ(win->Zeit_Dp1->x(), win->Zeit_He->x() + w - 10);
}

TEST_F(TimeDigits, SecondsModeReadsTheTimeWithoutColons) {
    win->SecMode->setChecked(true);
    line(timingLine("001", 'C', "   12 34.567", " 1"));
    EXPECT_EQ(win->core().state().Zeitwert, 754567);
}

TEST_F(TimeDigits, AutomaticFormatShowsNoColonBeforeTheTimeReachesIt) {
    choose(win->ZeitDarstellung, 0);
    win->SecModeClick();  // as at the first paint, before any line
    EXPECT_EQ(visibility(), ".......1111.");
    line(timingLine("001", '.', "00:01:00.000"));
    EXPECT_TRUE(shown("Zeit_Dp2"));
    win->SecMode->setChecked(true);
    win->SecMode->setChecked(false);
    EXPECT_TRUE(shown("Zeit_Dp2"));
    EXPECT_FALSE(shown("Zeit_Dp1"));  // no hours yet
}

TEST_F(TimeDigits, FixedFormatAfterAutomaticShowsTheChosenPrecision) {
    // "Automatisch" hides hundredths and thousandths on a running time and
    // shows them on a finish, whatever the precision; the fixed format chosen
    // afterwards shows the decimals of the precision list.
    struct Case {
        int precision;      // 0 "sec" .. 3 "1/1000"
        char kind;          // of the last line in "Automatisch": '.' running, 'C' finish
        int format;         // the fixed format then chosen
        bool displayMode;   // the finish is shown on the scoreboard
        const char* shows;  // a finish of 1:17.890
    } cases[] = {
        {2, '.', 2, false, "1:17.89"},
        {2, '.', 2, true, "1:17.89"},
        {1, 'C', 2, false, "1:17.8"},
        {0, 'C', 3, true, " 1:17"},
        {3, '.', 1, true, "17.890"},
    };
    // Each case's finish is another runner's: the same time of the same runner
    // again would be a device's repeat, which changes nothing.
    const char* finisher[] = {"  8", "  9", " 10", " 11", " 12"};
    for (const Case& c : cases) {
        const char* number = finisher[&c - cases];
        SCOPED_TRACE(testing::Message() << "precision " << c.precision << " after " << c.kind << " in format "
                                        << c.format << (c.displayMode ? " on the scoreboard" : ""));
        createWindows();
        win->FormPaint();
        choose(win->Genauigkeit, c.precision);
        choose(win->ZeitDarstellung, 0);
        line(timingLine("  7", c.kind, "    1:17.800", c.kind == 'C' ? " 1" : "  "));
        choose(win->ZeitDarstellung, c.format);
        if (c.displayMode)
            win->StartClick();
        line(timingLine(number, 'C', "    1:17.890", " 2"));
        EXPECT_EQ(shownTime(), c.shows);
    }
}

TEST_F(TimeDigits, AutomaticFinishShowsNoHundredthsWithoutThePoint) {
    // A finish brings its hundredths and thousandths in "Automatisch"; with
    // "sec" chosen there is no point and no tenths for them to follow.
    struct Case {
        int precision;
        const char* shows;  // a finish of 1:17.890 after a running time
    } cases[] = {
        {0, "1:17"},
        {1, "1:17.890"},
        {2, "1:17.890"},
        {3, "1:17.890"},
    };
    choose(win->ZeitDarstellung, 0);
    for (const Case& c : cases) {
        choose(win->Genauigkeit, c.precision);
        line(timingLine("  7", '.', "    1:17.800"));
        line(timingLine("  7", 'C', "    1:17.890", " 1"));
        EXPECT_EQ(shownTime(), c.shows) << "precision " << c.precision;
    }
}
