#include "MainWindowFixture.h"

#include "common/CodePage.h"
#include "common/Colour.h"
#include "common/Fonts.h"
#include "display/PictureBox.h"
#include "protocol/TimeText.h"
#include "timetable/Spreadsheet.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QLocale>
#include <QPainter>
#include <QScreen>
#include <QPushButton>

class Scoreboard : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        table = timeControl->TimeTable;
        ASSERT_NE(table, nullptr);
    }
    void TearDown() override {
        QLocale::setDefault(QLocale::c());
        MainWindowTest::TearDown();
    }
    void set(int row, int col, const char* entry) { table->setEntryRC(row, col, QString::fromUtf8(entry)); }
    QString entry(int row, int col) { return table->EntryRC(row, col); }
    // Milliseconds of a cell as the scoreboard reads it.
    int ms(int row, int col) {
        return Zeit_in_ms(entry(row, col).toStdString(), localeDecimalSeparator(), win->SecMode->isChecked());
    }
    void choose(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    TSpreadsheet* table = nullptr;
};

TEST_F(Scoreboard, ResultIsRecordedAndComparedWithThePresetTime) {
    set(6, 6, "1:21.956");  // 1.5 s faster
    line(timingLine("012", 'C', "00:01:23.456", " 3"));
    EXPECT_EQ(text("Rang"), " 3");
    EXPECT_EQ(ms(21, 6), 83456);
    EXPECT_EQ(text("Vorgabezeit"), "+1.50");
    EXPECT_TRUE(shown("Vorgabezeit"));

    // The same line again changes nothing: no table write, no new difference.
    set(21, 6, "");
    win->Vorgabezeit->setText("x");
    line(timingLine("012", 'C', "00:01:23.456", " 3"));
    EXPECT_EQ(entry(21, 6), "");
    EXPECT_EQ(text("Vorgabezeit"), "x");
}

TEST_F(Scoreboard, WinnerOfAFinishChannelBecomesThePresetRow) {
    set(6, 8, "1:00.000");
    set(6, 10, "25.000");
    set(14, 3, "Muster");
    set(14, 10, "24.500");
    int saves = 0;
    const auto save = table->OnEndRecalc;
    table->OnEndRecalc = [&] {
        ++saves;
        save();
    };
    line(timingLine("005", 'D', "00:00:58.500", " 1"));
    EXPECT_EQ(saves, 1);  // the result and the copied row are written at once
    EXPECT_EQ(text("Vorgabezeit"), "-1.50");  // compared with the old preset time
    EXPECT_EQ(ms(6, 8), 58500);
    EXPECT_EQ(ms(6, 10), 24500);
    EXPECT_EQ(entry(6, 3), "Muster");
    for (int c = 2; c <= 17; ++c)
        EXPECT_EQ(entry(6, c), entry(14, c)) << c;

    // A first place on an intermediate channel records and compares only,
    // though the rank shown is the same " 1".
    line(timingLine("006", 'A', "00:00:24.000", " 1"));
    EXPECT_EQ(text("Vorgabezeit"), "-0.50");
    EXPECT_EQ(ms(15, 10), 24000);
    EXPECT_EQ(ms(6, 10), 24500);
    EXPECT_EQ(entry(6, 3), "Muster");
}

TEST_F(Scoreboard, EmptyPresetCellLeavesTheLabel) {
    win->Vorgabezeit->setText("keep");
    win->Vorgabezeit->setVisible(false);
    line(timingLine("004", 'B', "00:00:31.000", " 2"));
    EXPECT_EQ(ms(13, 11), 31000);
    EXPECT_EQ(text("Vorgabezeit"), "keep");
    EXPECT_FALSE(shown("Vorgabezeit"));
}

TEST_F(Scoreboard, BlankRankClearsTheRunnersFinishCell) {
    set(12, 6, "1:00.000");
    set(9, 6, "Header");
    set(1008, 6, "kept");
    line(timingLine("003", '.', "00:00:10.000", "  "));
    EXPECT_EQ(text("Rang"), " ");
    EXPECT_EQ(entry(12, 6), "");
    // A line too short to have a rank is a blank rank too.
    line(timingLine("001", 'C', "00:00:10.000", " 5"));
    EXPECT_EQ(text("Rang"), " 5");
    line(timingLine("001", 'C', "00:00:10.000", "", 20));
    EXPECT_EQ(text("Rang"), " ");
    // Start number 0 clears nothing; 999, whose results are recorded, is a runner too.
    line(timingLine("000", '.', "00:00:10.000"));
    EXPECT_EQ(entry(9, 6), "Header");
    line(timingLine("999", '.', "00:00:10.000"));
    EXPECT_EQ(entry(1008, 6), "");
}

TEST_F(Scoreboard, OldFinishTimeOfRunner999DoesNotBlockThePresetFinish) {
    set(6, 6, "0:36.000");
    line(timingLine("999", 'C', "00:00:50.000", " 7"));  // an earlier run
    EXPECT_FALSE(entry(1008, 6).isEmpty());
    win->Vorgabezeit->setText("");
    line(timingLine("999", '.', "00:00:33.000"));  // on course again
    EXPECT_EQ(text("Vorgabezeit"), "36.00");
}

TEST_F(Scoreboard, NegativeStartNumberIsNoNumber) {
    set(6, 6, "0:36.000");
    set(9, 6, "Ziel C");  // the header row
    set(9, 3, "Name");
    win->Vorgabezeit->setText("");
    // "-05" would address row 4, a title row with empty time cells.
    for (const char* number : {"-05", "-07"}) {
        line(timingLine(number, '.', "00:00:33.000"));
        EXPECT_EQ(win->core().state().Startnummer, 0) << number;
        EXPECT_EQ(text("Nummer"), "   ") << number;
        EXPECT_EQ(text("Vorgabezeit"), "") << number;  // no preset taken
        EXPECT_EQ(text("Textfeld1_V"), "") << number;
    }
    line(timingLine("-05", 'C', "00:00:35.000", " 2"));
    EXPECT_EQ(entry(4, 6), "");
    EXPECT_EQ(text("Vorgabezeit"), "");
}

TEST_F(Scoreboard, ResultWithStartNumberZeroIsNotWrittenIntoTheHeader) {
    set(9, 6, "Ziel");
    line(timingLine("000", 'C', "00:00:42.000", " 1"));
    EXPECT_EQ(text("Rang"), " 1");
    EXPECT_EQ(entry(9, 6), "Ziel");
    EXPECT_EQ(entry(6, 6), "");  // and no preset copy from row 9
}

TEST_F(Scoreboard, LocaleCommaSeparatorReachesTableAndDifference) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ASSERT_EQ(localeDecimalSeparator(), ',');
    set(6, 6, "2:00,000");
    line(timingLine("002", 'C', "00:02:03.456", " 4"));
    EXPECT_EQ(ms(11, 6), 123456);
    EXPECT_EQ(text("Vorgabezeit"), "+3,46");
}

// Seconds mode: what the table holds is the same time before and after a
// save (which turns the time columns to "###.##") and a load, and shows as
// seconds, never as the line's digits without colons.
TEST_F(Scoreboard, SecondsModeKeepsTheMillisecondsThroughSaveAndLoad) {
    struct Case {
        const char* field;
        int ms;
        const char* shown;  // in "###.##"
    };
    const Case cases[] = {
        {"00:00:35.000", 35000, "35."},
        {"00:01:07.250", 67250, "67.25"},
        {"00 02 03.456", 123456, "123.46"},
        {"01 02 03.456", 3723456, "3723.46"},
        {"   12 34.567", 754567, "754.57"},
    };
    win->SecMode->setChecked(true);
    set(6, 6, "0:36.000");
    int number = 1;
    for (const Case& c : cases) {
        line(timingLine(QByteArray::number(number).rightJustified(3, '0').constData(), 'C', c.field, " 4"));
        EXPECT_EQ(win->tableTime(number + 9, 6), c.ms) << c.field;
        ++number;
    }
    // The first save gives the time columns the seconds format.
    EXPECT_EQ(win->tableTime(6, 6), 36000);
    for (int i = 0; i < int(std::size(cases)); ++i) {
        EXPECT_EQ(win->tableTime(i + 10, 6), cases[i].ms) << cases[i].field;
        EXPECT_EQ(table->TextRC(i + 10, 6), cases[i].shown) << cases[i].field;
    }

    // Loaded again, in seconds mode and without it.
    for (bool sec : {true, false}) {
        createWindows();
        win->SecMode->setChecked(sec);
        table = timeControl->TimeTable;
        timeControl->Sekundenformat = sec;
        timeControl->DateiLadenClick();
        EXPECT_EQ(win->tableTime(6, 6), 36000) << sec;
        for (int i = 0; i < int(std::size(cases)); ++i)
            EXPECT_EQ(win->tableTime(i + 10, 6), cases[i].ms) << cases[i].field << " sec " << sec;
    }
    EXPECT_EQ(table->TextRC(11, 6), "1:07.250");
}

TEST_F(Scoreboard, TablesWrittenEarlierReadAsBefore) {
    // What an operator's table may hold in a time cell, in either mode.
    const struct {
        int row;
        const char* entry;
        int ms;
    } cells[] = {
        {10, "0:36.000", 36000},       // a time
        {11, "'0:36.000", 36000},      // the same as a text
        {12, "'1:02:03.456", 3723456},  // a text past an hour
        {13, "'  1:07.250", 67250},
        {300, "36.5", 36500},          // a number of seconds (a row without time format)
        {301, "123.456", 123456},
    };
    for (bool sec : {false, true}) {
        win->SecMode->setChecked(sec);
        for (const auto& c : cells) {
            set(c.row, 6, c.entry);
            EXPECT_EQ(win->tableTime(c.row, 6), c.ms) << c.entry << (sec ? " seconds mode" : "");
        }
    }
}

TEST_F(Scoreboard, SecondsModePresetAndDifferenceAfterASave) {
    // The issue's stream on the demo table's preset row.
    set(6, 6, "0:36.000");
    set(6, 10, "0:12.500");
    win->SecMode->setChecked(true);
    timeControl->Sekundenmodus_setzen(true);
    line(timingLine("013", '.', "00:00:20.000"));
    EXPECT_EQ(text("Vorgabezeit"), "12.50");
    line(timingLine("012", 'C', "00:00:35.000", " 3"));  // saved in the seconds format
    EXPECT_EQ(text("Vorgabezeit"), "-1.00");
    EXPECT_EQ(entry(6, 6), "36");
    line(timingLine("013", '.', "00:00:20.000"));
    EXPECT_EQ(text("Vorgabezeit"), "12.50");
    line(timingLine("014", 'C', "00:00:37.000", " 4"));
    EXPECT_EQ(text("Vorgabezeit"), "+1.00");
}

TEST_F(Scoreboard, SecondsModeRecordsTheSeconds) {
    win->SecMode->setChecked(true);
    line(timingLine("002", 'C', "00:02:03.456", " 4"));
    // Not the digits without colons ("0203.456", which reads as 203.456 s).
    EXPECT_EQ(entry(11, 6), "123.456");
}

// On the scoreboard the next runner's running time hides the rank and the
// advert; the device's repeat of the last result brings back neither.
TEST_F(Scoreboard, RepeatedResultOnTheScoreboardBringsBackNeitherRankNorAdvert) {
    win->Anzeigemodus = true;
    win->pushOptions();
    win->Logo_sichtbar[2]->setChecked(true);
    line(timingLine("005", 'C', "00:00:35.000", " 2"));
    EXPECT_TRUE(shown("Logo3"));
    EXPECT_TRUE(shown("Rang"));
    line(timingLine("007", '.', "00:00:05.000"));
    ASSERT_FALSE(shown("Logo3"));
    ASSERT_FALSE(shown("Rang"));
    line(timingLine("005", 'C', "00:00:35.000", " 2"));
    EXPECT_FALSE(shown("Logo3"));
    EXPECT_FALSE(shown("Rang"));
    EXPECT_EQ(text("Nummer"), "7");
    EXPECT_EQ(win->core().state().LetzteStartnummer, 7);  // a time without number is still runner 7's
    EXPECT_EQ(ms(14, 6), 35000);
}

TEST_F(Scoreboard, RankSuffixAndAdvertisingPicture) {
    choose(win->RangEnde, 1);  // "."
    win->core().change([](BoardValues& v) { v.advert = false; });  // the advert as the core shows it
    line(timingLine("001", 'C', "00:00:50.000", " 7"));
    EXPECT_EQ(text("Rang"), " 7.");
    EXPECT_FALSE(shown("Logo3"));  // the rank of the line decides, not the caption
    line(timingLine("002", 'D', "00:00:49.000", " 3"));
    EXPECT_EQ(text("Rang"), " 3.");
    EXPECT_TRUE(shown("Logo3"));
    win->core().change([](BoardValues& v) { v.advert = false; });  // the advert as the core shows it
    line(timingLine("003", 'A', "00:00:20.000", " 1"));
    EXPECT_FALSE(shown("Logo3"));  // only finish channels
    win->Logo_sichtbar[2]->setChecked(false);
    line(timingLine("004", 'C', "00:00:48.000", " 1"));
    EXPECT_FALSE(shown("Logo3"));

    win->CheckBoxR->setChecked(false);
    EXPECT_FALSE(shown("Rang"));
    win->CheckBoxR->setChecked(true);
    EXPECT_TRUE(shown("Rang"));
}

TEST_F(Scoreboard, StartNumberLooksUpTheRunnerOncePerNumber) {
    set(16, 3, "Anna");
    set(16, 4, "Berger");
    set(16, 5, "AUT");
    set(16, 18, "Team X");
    set(17, 3, "Ole");
    set(17, 4, "Øre");
    line(timingLine("007", '.', "00:00:05.000"));
    EXPECT_EQ(text("Nummer"), "7");
    EXPECT_EQ(text("Textfeld1_V"), "Anna B.");
    EXPECT_EQ(text("Textfeld1_HRU"), "Anna B.");
    EXPECT_EQ(text("Textfeld2_V"), "AUT");
    EXPECT_EQ(text("Textfeld3_V"), "Team X");

    // Same number: the table is not read again.
    set(16, 3, "Changed");
    line(timingLine("007", '.', "00:00:06.000"));
    EXPECT_EQ(text("Textfeld1_V"), "Anna B.");

    win->WholeSureName = true;
    win->pushOptions();
    line(timingLine("008", '.', "00:00:01.000"));
    EXPECT_EQ(text("Textfeld1_V"), QString::fromUtf8("Ole Øre"));
    EXPECT_EQ(text("Textfeld2_V"), "");  // row 17 has no nation

    choose(win->NummerEnde, 4);  // "!"
    EXPECT_EQ(text("Nummer"), "8!");
    line(timingLine("000", '.', "00:00:01.000"));
    EXPECT_EQ(text("Nummer"), "   ");
    EXPECT_EQ(text("Textfeld1_V"), "");
    choose(win->NummerEnde, 1);
    EXPECT_EQ(text("Nummer"), "   .");

    win->CheckBoxN->setChecked(false);
    EXPECT_FALSE(shown("Nummer"));
}

TEST_F(Scoreboard, PresetTimeOfTheNextPointFromFourSecondsBefore) {
    set(6, 10, "20.000");
    win->Vorgabezeit->setText("none");
    line(timingLine("003", '.', "00:00:16.000"));
    EXPECT_EQ(text("Vorgabezeit"), "none");
    line(timingLine("003", '.', "00:00:16.001"));
    EXPECT_EQ(text("Vorgabezeit"), "20.00");

    // The finish column is tried first.
    set(6, 6, "30.000");
    line(timingLine("003", '.', "00:00:26.500"));
    EXPECT_EQ(text("Vorgabezeit"), "30.00");

    // A point the runner has passed is skipped.
    set(6, 6, "");
    set(6, 11, "40.000");
    set(12, 10, "19.000");
    line(timingLine("003", '.', "00:00:36.500"));
    EXPECT_EQ(text("Vorgabezeit"), "40.00");

    // Preset finish of one minute.
    set(6, 6, "1:00.000");
    line(timingLine("004", '.', "00:00:56.500"));
    EXPECT_EQ(text("Vorgabezeit"), "1:00.00");
}

TEST_F(Scoreboard, AddressedStartNumberShowsTheRunner) {
    set(132, 3, "Bea");
    set(132, 4, "Cole");
    choose(win->AdrNummer, 2);
    line("B123" + std::string(18, ' '));
    EXPECT_EQ(text("Nummer"), "123");
    EXPECT_EQ(text("Textfeld1_V"), "Bea C.");
    line(timingLine("045", 'C', "00:00:01.000", " 1"));
    EXPECT_EQ(text("Nummer"), "123");
}

// ---- the prompt for a time without start number ---------------------------

TEST_F(Scoreboard, PromptedNumberCompletesTheLine) {
    win->StrNrSelfCB->setChecked(true);
    dialogs->execAnswers.push_back([](QDialog* d) {
        auto* form = static_cast<TStartNumberForm*>(d);
        EXPECT_EQ(form->StartNrE->selectedText(), form->StartNrE->text());  // typing replaces it
        form->StartNrE->setText("7");
        return int(QDialog::Accepted);
    });
    line("A  F    00:00:59.000");  // 20 bytes
    EXPECT_EQ(dialogs->execCount, 1);
    EXPECT_EQ(win->core().state().LetzteStartnummer, 7);
    EXPECT_EQ(win->core().state().Startnummer, 7);
    EXPECT_EQ(text("Rang"), "00");
    EXPECT_EQ(ms(16, 6), 59000);  // filed as channel C

    // A second such line takes the first one's number without asking.
    line("A  F    00:01:01.000  ");
    EXPECT_EQ(dialogs->execCount, 1);
    EXPECT_EQ(win->core().state().Startnummer, 7);
}

// The prompt as the operator meets it: the real modal dialog, keys typed into
// whatever has the focus.
class PromptKeys : public Scoreboard {
protected:
    struct Key {
        int key;
        QString text;
        Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    };
    static Key digit(char c) { return {Qt::Key_0 + (c - '0'), QString(QChar(c))}; }
    // Answers the next prompt by typing `keys` once it is open; records the
    // entry's text as the prompt opened and which widget took the keys.
    void answerWith(std::vector<Key> keys) {
        dialogs->execAnswers.push_back([this, keys](QDialog* d) {
            // Keys go to the window once the window system has made it active.
            auto* poll = new QTimer(d);
            poll->start(5);
            QObject::connect(poll, &QTimer::timeout, d, [this, d, keys, poll, tries = 0]() mutable {
                if (!d->isActiveWindow() && ++tries < 1000)
                    return;
                poll->deleteLater();
                QWidget* focus = QApplication::focusWidget();
                typedInto = focus ? focus->objectName() : QStringLiteral("<none>");
                openedWith = start->StartNrE->text();
                openedSelected = start->StartNrE->selectedText();
                if (!focus)
                    focus = d->focusWidget();
                for (const Key& k : keys) {
                    QKeyEvent press(QEvent::KeyPress, k.key, k.modifiers, k.text);
                    QApplication::sendEvent(focus, &press);
                    QKeyEvent release(QEvent::KeyRelease, k.key, k.modifiers, k.text);
                    QApplication::sendEvent(focus, &release);
                }
            });
            return d->exec();
        });
    }
    QString typedInto, openedWith, openedSelected;
};

TEST_F(PromptKeys, EnterTakesTheTypedNumberAndEscapeTakesNone) {
    win->StrNrSelfCB->setChecked(true);
    const struct {
        std::vector<Key> keys;
        int number;  // 0: the prompt was cancelled
    } cases[] = {
        {{digit('1'), digit('2'), {Qt::Key_Return, "\r"}}, 12},
        {{digit('7'), {Qt::Key_Enter, "\r", Qt::KeypadModifier}}, 7},
        {{digit('5'), {Qt::Key_Escape, QString(QChar(27))}}, 0},
        {{{Qt::Key_Escape, QString(QChar(27))}}, 0},
        {{digit('9'), digit('9'), digit('9'), digit('4'), {Qt::Key_Return, "\r"}}, 999},  // three digits at most
    };
    int row = 0;
    for (const auto& c : cases) {
        line("A  .    00:00:01.000  ");  // no number to take: the operator is asked
        const int calls = dialogs->execCount;
        const QString rank = text("Rang");
        const int number = win->core().state().Startnummer;
        answerWith(c.keys);
        line("A  F    00:00:5" + std::to_string(row) + ".000  ");
        ASSERT_EQ(dialogs->execCount, calls + 1);
        EXPECT_EQ(typedInto, "StartNrE");  // the entry has the focus as the prompt opens
        EXPECT_EQ(openedSelected, openedWith);  // and its text is selected: typing replaces it
        EXPECT_EQ(win->core().state().LetzteStartnummer, c.number);
        if (c.number > 0) {
            EXPECT_EQ(win->core().state().Startnummer, c.number);
            EXPECT_EQ(ms(c.number + 9, 6), 50000 + row * 1000);  // recorded as the finish time
            set(c.number + 9, 6, "");
        } else {
            // Cancelled: the line stays an addressed line, nothing is recorded.
            EXPECT_EQ(text("TextA1").left(4), "A  F");
            EXPECT_EQ(text("Rang"), rank);
            EXPECT_EQ(win->core().state().Startnummer, number);
        }
        ++row;
    }
}

TEST_F(Scoreboard, EmptyPromptEntryChangesNothing) {
    win->StrNrSelfCB->setChecked(true);
    dialogs->execAnswers.push_back([](QDialog* d) {
        static_cast<TStartNumberForm*>(d)->StartNrE->setText("");
        return int(QDialog::Accepted);
    });
    const std::string l = "A  F    00:00:59.000 x";
    line(l);
    EXPECT_EQ(win->core().state().LetzteStartnummer, 0);
    EXPECT_EQ(text("TextA1"), QString::fromStdString(l.substr(0, 18)));  // still an addressed line
    line(l);
    EXPECT_EQ(dialogs->execCount, 2);  // asks again

    // Unticked, nobody is asked.
    win->StrNrSelfCB->setChecked(false);
    line(l);
    EXPECT_EQ(dialogs->execCount, 2);
}

TEST_F(Scoreboard, LineWithAAndNotFClearsTheRememberedNumber) {
    line(timingLine("005", '.', "00:00:01.000"));
    EXPECT_EQ(win->core().state().LetzteStartnummer, 5);
    line("A  .    00:00:02.000  ");
    EXPECT_EQ(win->core().state().LetzteStartnummer, 0);
}

TEST_F(Scoreboard, BytesArrivingWhileThePromptIsOpenWaitTheirTurn) {
    win->StrNrSelfCB->setChecked(true);
    dialogs->execAnswers.push_back([this](QDialog* d) {
        // The device goes on sending while the operator types.
        feed(timingLine("009", '.', "00:00:03.000") + "\r");
        EXPECT_EQ(win->core().state().Startnummer, 0);  // not dispatched yet
        EXPECT_EQ(win->core().heldLineCount(), 1u);
        static_cast<TStartNumberForm*>(d)->StartNrE->setText("12");
        return int(QDialog::Accepted);
    });
    line("A  F    00:00:59.000  ");
    EXPECT_EQ(ms(21, 6), 59000);         // the prompted line kept its bytes
    EXPECT_EQ(win->core().state().Startnummer, 9);      // then the held line ran
    EXPECT_EQ(win->core().state().Zeitwert, 3000);
    EXPECT_EQ(win->core().state().LetzteStartnummer, 9);
}

// ---- text fields -----------------------------------------------------------

TEST_F(Scoreboard, ShadowLabelsFollowBorderAndShift) {
    struct Case {
        int border, h, v;
        QPoint lo, lu, ro, ru;
    } cases[] = {
        {2, 3, 1, {101, 47}, {101, 51}, {105, 47}, {105, 51}},
        {0, -4, -4, {96, 54}, {96, 54}, {96, 54}, {96, 54}},
        {0, 0, 0, {100, 50}, {100, 50}, {100, 50}, {100, 50}},
    };
    Tdisplay::TextField& t = win->Textfeld[1];
    t.V->move(100, 50);
    for (const Case& c : cases) {
        t.RandPixel->setCurrentIndex(c.border);
        t.Pixel_H->setCurrentIndex(c.h + 10);
        choose(t.Pixel_V, c.v + 10);
        EXPECT_EQ(t.HLO->pos(), c.lo);
        EXPECT_EQ(t.HLU->pos(), c.lu);
        EXPECT_EQ(t.HRO->pos(), c.ro);
        EXPECT_EQ(t.HRU->pos(), c.ru);
    }
    // Fields 1 and 3 are untouched.
    EXPECT_EQ(win->Textfeld[0].HLO->pos(), QPoint(508, 408));
    EXPECT_EQ(win->Textfeld[2].HRU->pos(), QPoint(508, 568));
}

TEST_F(Scoreboard, FontAndColourChoicesOfAField) {
    Tdisplay::TextField& t = win->Textfeld[0];
    const int32_t shadow = colour::rgb(0, 0, 64);
    for (DisplayLabel* s : t.shadows())
        s->setFontColour(shadow);
    QFont green = fonts::make(fonts::kDigits, 40, true);
    dialogs->fontAnswers.push_back(Dialogs::FontChoice{green, colour::rgb(0, 128, 0)});
    t.Schriftart->click();
    EXPECT_EQ(t.V->fontColour(), colour::rgb(0, 128, 0));
    EXPECT_EQ(t.V->font().pixelSize(), 40);
    for (DisplayLabel* s : t.shadows()) {
        EXPECT_EQ(s->fontColour(), shadow);  // the shadows keep their colour
        EXPECT_EQ(s->font().pixelSize(), 40);
    }

    dialogs->colourAnswers.push_back(colour::rgb(0, 0, 255));
    t.Schattenfarbe->click();
    for (DisplayLabel* s : t.shadows())
        EXPECT_EQ(s->fontColour(), colour::rgb(0, 0, 255));
    EXPECT_EQ(t.V->colour(), colour::rgb(0, 0, 255));

    dialogs->colourAnswers.push_back(colour::Red);
    t.Hintergrundfarbe->click();
    EXPECT_EQ(t.V->colour(), colour::Red);
    // The dialog opens at its own last choice, not at the label's colour.
    t.Hintergrundfarbe->click();  // cancelled
    EXPECT_EQ(dialogs->lastColourInitial, colour::Red);
    EXPECT_EQ(t.V->colour(), colour::Red);

    // Other fields keep their look.
    EXPECT_EQ(win->Textfeld[1].V->fontColour(), colour::Red);
    EXPECT_EQ(win->Textfeld[1].HLO->fontColour(), colour::Red);  // the main label's, as start-up gives it
}

TEST_F(Scoreboard, BackgroundAndVisibilityBoxes) {
    Tdisplay::TextField& t = win->Textfeld[2];
    t.Hintergrund->setChecked(true);
    EXPECT_FALSE(t.V->transparent());
    for (DisplayLabel* s : t.shadows())
        EXPECT_TRUE(s->isHidden());
    t.Hintergrund->setChecked(false);
    EXPECT_TRUE(t.V->transparent());
    for (DisplayLabel* s : t.shadows())
        EXPECT_FALSE(s->isHidden());

    t.Sichtbar->setChecked(false);
    EXPECT_TRUE(t.V->isHidden());
    for (DisplayLabel* s : t.shadows())
        EXPECT_TRUE(s->isHidden());
    t.Sichtbar->setChecked(true);
    EXPECT_FALSE(t.V->isHidden());
}

TEST_F(Scoreboard, HiddenTextFieldKeepsItsShadowsHidden) {
    enum Do { Hide, Show, BackOn, BackOff, Start, Hotkey, Runner, Stop };
    struct Step {
        Do what;
        bool field, shadows;  // shown afterwards: the main label, the four shadow labels
    } steps[] = {
        {Hide, false, false},
        {BackOn, false, false},
        {BackOff, false, false},  // unticking the background does not bring a hidden field's shadows
        {Show, true, true},
        {BackOn, true, false},
        {Hide, false, false},
        {Show, true, false},      // shown again as set: with its background, without shadows
        {BackOff, true, true},
        {Hide, false, false},
        {BackOn, false, false},
        {BackOff, false, false},
        {Start, false, false},
        {Runner, false, false},   // no runner's text in the shadow colour on the scoreboard
        {Runner, false, false},
        {Hotkey, true, true},     // shown again on the scoreboard, as set
        {Runner, true, true},
        {Hotkey, false, false},
        {Runner, false, false},
        {Stop, false, false},
        {BackOn, false, false},
        {Hotkey, true, false},
    };
    for (int n = 1; n <= 3; ++n) {
        createWindows();
        table = timeControl->TimeTable;
        // The runners of the day, with name, nation and free text in the table.
        const char* const names[] = {"Anna", "Ben", "Cleo", "Dora"};
        for (int r = 1; r <= 4; ++r) {
            set(9 + r, 3, names[r - 1]);
            set(9 + r, 5, "AUT");
            set(9 + r, 18, "Team X");
        }
        Tdisplay::TextField& t = win->Textfeld[n - 1];
        int runner = 0;
        for (size_t i = 0; i < std::size(steps); ++i) {
            const Step& s = steps[i];
            switch (s.what) {
            case Hide: t.Sichtbar->setChecked(false); break;
            case Show: t.Sichtbar->setChecked(true); break;
            case BackOn: t.Hintergrund->setChecked(true); break;
            case BackOff: t.Hintergrund->setChecked(false); break;
            case Start: win->StartClick(); break;
            case Stop: win->Anzeige_beenden(); break;
            case Hotkey: {
                QKeyEvent key(QEvent::KeyPress, Qt::Key_0 + n, Qt::NoModifier);
                QApplication::sendEvent(win.get(), &key);
                break;
            }
            case Runner:
                line(timingLine(QByteArray::number(++runner).rightJustified(3, ' ').constData(), '.', "      12.300"));
                ASSERT_FALSE(t.V->text().isEmpty());
                break;
            }
            SCOPED_TRACE(testing::Message() << "field " << n << ", step " << i);
            EXPECT_EQ(!t.V->isHidden(), s.field);
            for (DisplayLabel* shadow : t.shadows()) {
                EXPECT_EQ(!shadow->isHidden(), s.shadows) << shadow->objectName().toStdString();
                EXPECT_EQ(shadow->text(), t.V->text());
            }
        }
    }
}

TEST_F(Scoreboard, RightAlignedFieldGrowsToTheLeft) {
    Tdisplay::TextField& t = win->Textfeld[0];
    choose(t.ausrichtung, 2);
    win->Textfeld_setzen(1, "ab");
    const int right = t.V->geometry().right();
    const int shadowRight = t.HRU->geometry().right();
    win->Textfeld_setzen(1, "a much longer name");
    EXPECT_EQ(t.V->geometry().right(), right);
    EXPECT_EQ(t.HRU->geometry().right(), shadowRight);
    EXPECT_EQ(t.HRU->alignment(), DisplayLabel::Right);
}

// What the audience sees of the running time in display mode, as the window
// shows it after each line's repaint: every digit exactly as plain text drawn
// on the board's colour, the board's colour around the glyphs, a filled label
// covering it, and a picture covering the digits it lies on.
TEST_F(Scoreboard, DisplayModeShowsTheDigitsAsDrawnTextUnderThePictures) {
    win->show();
    QApplication::processEvents();
    QApplication::processEvents();
    win->Anzeigefarbe = colour::rgb(0, 0, 128);
    win->StartClick();
    QImage green(60, 80, QImage::Format_RGB32);
    green.fill(QColor(0, 200, 0));
    win->Logo[0]->setImage(green);
    line(timingLine("012", '.', "00:00:07.300"));
    QApplication::processEvents();
    // The picture over the left half of the seconds' units place.
    DisplayLabel* covered = win->Zeit_Se;
    win->Logo[0]->move(covered->geometry().topLeft() - QPoint(60 - covered->width() / 2, 0));
    QApplication::processEvents();

    const QColor board(0, 0, 128);
    auto shot = [&] {
        QApplication::processEvents();
        return win->screen()->grabWindow(win->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    auto seen = [&](const QImage& s, const QWidget* w) { return s.copy(QRect(w->mapTo(win.get(), QPoint()), w->size())); };
    // The label as plain text drawn on the board's colour.
    auto expected = [&](const DisplayLabel* l) {
        QImage e(l->size(), QImage::Format_RGB32);
        e.fill(board);
        QPainter p(&e);
        p.setPen(QColor(255, 255, 0));
        p.setFont(l->font());
        p.drawText(e.rect(), Qt::AlignVCenter | Qt::AlignHCenter | Qt::TextSingleLine, l->text());
        return e;
    };
    for (const char* time : {"00:00:07.400", "00:00:07.500", "00:00:08.100", "00:00:17.200"}) {
        line(timingLine("012", '.', time));
        const QImage s = shot();
        int digits = 0;
        for (DisplayLabel* l : win->Zeitstellen) {
            if (l->isHidden() || l->geometry().intersects(win->Logo[0]->geometry()) || l->text().trimmed().isEmpty())
                continue;
            EXPECT_EQ(seen(s, l), expected(l)) << l->objectName().toStdString() << " at " << time;
            ++digits;
        }
        EXPECT_GE(digits, 3) << time;
        // The picture lies over the left half of its digit, the digit shows beside it.
        const QImage c = seen(s, covered);
        int pictured = 0, glyph = 0;
        for (int y = 0; y < c.height(); ++y)
            for (int x = 0; x < c.width(); ++x) {
                const bool underPicture = x < c.width() / 2;
                pictured += underPicture && c.pixelColor(x, y) == QColor(0, 200, 0);
                glyph += !underPicture && c.pixelColor(x, y) != board;
            }
        EXPECT_EQ(pictured, c.width() / 2 * c.height()) << time;
        EXPECT_GT(glyph, 0) << time;
        // The start number's label is filled black around its text.
        EXPECT_EQ(seen(s, win->Nummer).pixelColor(0, 0), QColor(0, 0, 0)) << time;
    }
}
