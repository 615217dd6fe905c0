// The line rules without a window: real line streams into a BoardCore that
// records in a real spreadsheet (no time table window, no main window), each
// case checking what the board shows and what the table holds.
#include "board/BoardCore.h"
#include "display/RaceEvents.h"
#include "timetable/EarlierResults.h"
#include "timetable/Spreadsheet.h"
#include "timetable/SpreadsheetTable.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// A normal timing line: start number (3), kind letter, 4 free bytes, 12-byte
// time field, rank (2), padded or cut to `length` bytes.
std::string timingLine(const char* number, char kind, const char* time, const char* rank = "  ", size_t length = 22) {
    std::string l = std::string(number) + kind + "    " + time + rank;
    l.resize(length, ' ');
    return l;
}

struct Publications : BoardValuesSubscriber {
    std::vector<BoardValuesPtr> seen;
    void boardValuesChanged(const BoardValuesPtr& v) override { seen.push_back(v); }
};

struct Results : race::Listener {
    std::vector<QByteArray> lines;
    std::vector<race::Result> results;
    void lineReceived(const QByteArray& line, qint64) override { lines.push_back(line); }
    void resultRecorded(const race::Result& r) override { results.push_back(r); }
};

// A core over a spreadsheet with two runners, as the window starts it.
struct Rig {
    Rig() {
        sheet.SheetName(1, QStringLiteral("Times"));
        core.setTable(&table);
        // The window's start: time, rank and preset shown, "M:SS" at 1/100,
        // boards listening to address A from byte 1 for 18 bytes.
        BoardOptions o;
        o.showTime = o.showRank = o.showPreset = true;
        for (auto& b : o.boards)
            b = {1, QChar(u'A'), 1, 18};
        core.setOptions(o);
        BoardValues v;
        const QString design = QStringLiteral("00:00:00.000");  // the labels' captions
        for (size_t p = 0; p < v.time.size(); ++p)
            v.time[p].text = design.mid(qsizetype(p), 1);
        for (int p : {kMe, kDp2, kSz, kSe, kPt, kZ, kH})
            v.time[size_t(p)].visible = true;
        v.rank.visible = v.number.visible = v.preset.visible = true;
        core.show(v);
        core.subscribe(&published);
        core.setRaceListener(&race);
        runner(12, "Muster", "Hans", "AUT");
        runner(13, "Beispiel", "Eva", "GER");
    }
    ~Rig() { core.unsubscribe(&published); }

    void runner(int n, const char* surname, const char* first, const char* nation) {
        sheet.setEntryRC(n + 9, 3, surname);
        sheet.setEntryRC(n + 9, 4, first);
        sheet.setEntryRC(n + 9, 5, nation);
    }
    void options(const std::function<void(BoardOptions&)>& edit) {
        BoardOptions o = core.options();
        edit(o);
        core.setOptions(o);
    }
    void line(const std::string& l) { core.receive(QByteArray::fromStdString(l + "\r")); }
    const BoardValues& shown() const { return core.values(); }
    QString timeText() const {
        QString t;
        for (const auto& p : shown().time)
            if (p.visible)
                t += p.text;
        return t;
    }
    int ms(int row, int col) { return sheet.EntryRC(row, col).isEmpty() ? -1 : core.tableTime(row, col); }
    const Sheet* earlierResults() const {
        for (const Sheet& s : sheet.moreSheets())
            if (s.name() == earlier::kSheetName)
                return &s;
        return nullptr;
    }
    size_t earlierCount() const {
        const Sheet* s = earlierResults();
        return s && !s->rows().empty() ? s->rows().size() - 1 : 0;  // without the headings
    }

    TSpreadsheet sheet;
    SpreadsheetTable table{[this] { return &sheet; }};
    BoardCore core;
    Publications published;
    Results race;
};

class BoardCoreTest : public ::testing::Test, public Rig {};

// ---- a table of line streams --------------------------------------------------

TEST(BoardCore, LineStreamsGiveTheirValuesAndCells) {
    struct Case {
        const char* what;
        std::function<void(Rig&)> before;  // options, table
        std::vector<std::string> lines;
        std::function<void(Rig&)> check;
    } cases[] = {
        {"running time in M:SS, runner looked up once",
         nullptr,
         {timingLine("012", '.', "00:01:23.450"), timingLine("012", '.', "00:01:23.560")},
         [](Rig& t) {
             EXPECT_EQ(t.timeText(), "1:23.56");
             EXPECT_EQ(t.shown().number.text, "12");
             EXPECT_EQ(t.shown().texts[0].text, "Muster H.");
             EXPECT_EQ(t.shown().texts[1].text, "AUT");
             EXPECT_EQ(t.shown().rank.text, " ");
             EXPECT_EQ(t.ms(21, 6), -1);  // running times record nothing
         }},
        {"running time in Automatisch grows its leading places",
         [](Rig& t) {
             t.options([](BoardOptions& o) { o.timeAutomatic = true; });
         },
         {timingLine("012", '.', "00:00:05.1  "), timingLine("012", '.', "01:02:03.4  ")},
         [](Rig& t) {
             EXPECT_TRUE(t.shown().time[kHe].visible);
             EXPECT_TRUE(t.shown().time[kDp1].visible);
             EXPECT_FALSE(t.shown().time[kHz].visible);
             EXPECT_FALSE(t.shown().time[kH].visible);  // a running time shows no hundredths
             EXPECT_EQ(t.timeText(), "1:02:03.4");
         }},
        {"a result with rank and suffix is recorded, the difference to the preset shown",
         [](Rig& t) {
             t.sheet.setEntryRC(6, 6, "00:01:22.000");
             t.options([](BoardOptions& o) { o.rankSuffix = "."; });
         },
         {timingLine("012", 'C', "00:01:23.500", " 3")},
         [](Rig& t) {
             EXPECT_EQ(t.ms(21, 6), 83500);
             EXPECT_EQ(t.shown().rank.text, " 3.");
             EXPECT_EQ(t.shown().preset.text, "+1.50");
             EXPECT_TRUE(t.shown().preset.visible);
             ASSERT_EQ(t.race.results.size(), 1u);
             EXPECT_EQ(t.race.results[0].name, "Muster Hans");
             EXPECT_EQ(t.race.results[0].time, "00:01:23.500");
         }},
        {"seconds mode records the seconds as a number",
         [](Rig& t) {
             t.options([](BoardOptions& o) { o.secMode = true; });
         },
         {timingLine("012", 'C', "00:01:07.250", " 2")},
         [](Rig& t) {
             EXPECT_EQ(t.ms(21, 6), 67250);
             EXPECT_EQ(t.sheet.EntryRC(21, 6).left(2), "67");
         }},
        {"the winner of a finish channel sets the preset row",
         nullptr,
         {timingLine("012", 'A', "00:00:30.000", " 1"), timingLine("012", 'D', "00:01:00.000", " 1")},
         [](Rig& t) {
             EXPECT_EQ(t.ms(6, 10), 30000);
             EXPECT_EQ(t.ms(6, 8), 60000);
             EXPECT_EQ(t.sheet.EntryRC(6, 3), "Muster");  // the whole row, columns 2 to 17
         }},
        {"the preset of the next point shows from 4 s before it",
         [](Rig& t) { t.sheet.setEntryRC(6, 6, "00:01:00.000"); },
         {timingLine("012", '.', "00:00:55.900"), timingLine("012", '.', "00:00:56.500")},
         [](Rig& t) {
             EXPECT_EQ(t.shown().preset.text, "1:00.00");
             EXPECT_TRUE(t.shown().preset.visible);
         }},
        {"in display mode a running time without a preset hides it, a blank rank the rank and advert",
         [](Rig& t) {
             t.options([](BoardOptions& o) { o.displayMode = o.advertForTopRanks = true; });
         },
         {timingLine("013", 'C', "00:01:00.000", " 4"), timingLine("012", '.', "00:00:10.000")},
         [](Rig& t) {
             EXPECT_FALSE(t.shown().preset.visible);
             EXPECT_FALSE(t.shown().rank.visible);
             EXPECT_FALSE(t.shown().advert);
         }},
        {"a top rank on a finish channel brings the advert",
         [](Rig& t) { t.options([](BoardOptions& o) { o.advertForTopRanks = true; }); },
         {timingLine("013", 'C', "00:01:00.000", " 4")},
         [](Rig& t) { EXPECT_TRUE(t.shown().advert); }},
        {"boards by address and range; the number by address",
         [](Rig& t) {
             t.options([](BoardOptions& o) {
                 o.boards[1] = {0, QChar(u'K'), 9, 12};     // "Keine": every normal line, the time
                 o.boards[2] = {3, QChar(u'C'), 22, 23};    // "C": positions 22 and 23
                 o.boards[3] = {-1, QChar(), 1, 18};        // no selection: nothing
                 o.numberAddress = 2;
                 o.numberAddressLetter = u'B';
             });
         },
         {"A" + std::string("Hello board one and more").substr(0, 20), "B123" + std::string(18, ' '),
          timingLine("045", 'C', "00:01:02.345", " 1"), "C" + std::string(20, '-') + "XY"},
         [](Rig& t) {
             EXPECT_EQ(t.shown().boards[0].text, "AHello board one a");
             EXPECT_EQ(t.shown().boards[1].text, "00:01:02.345");
             EXPECT_EQ(t.shown().boards[2].text, "XY");
             EXPECT_EQ(t.shown().boards[3].text, "");
             EXPECT_EQ(t.shown().number.text, "123");       // normal lines keep the addressed number
             EXPECT_EQ(t.ms(132, 6), 62345);                // and record under it
             EXPECT_EQ(t.core.state().LetzteStartnummer, 45);
         }},
        {"a device's repeat changes nothing, also between the next runner's times",
         nullptr,
         {timingLine("012", 'C', "00:01:00.000", " 1"), timingLine("013", '.', "00:00:20.000"),
          timingLine("012", 'C', "00:01:00.000", " 1"), timingLine("013", '.', "00:00:20.100")},
         [](Rig& t) {
             EXPECT_EQ(t.shown().number.text, "13");
             EXPECT_EQ(t.race.results.size(), 1u);
             EXPECT_EQ(t.earlierCount(), 0u);
             EXPECT_EQ(t.ms(21, 6), 60000);
         }},
        {"a second run keeps the first run's times as earlier results",
         nullptr,
         {timingLine("012", 'A', "00:00:30.000", " 1"), timingLine("012", 'C', "00:01:00.000", " 1"),
          timingLine("012", '.', "00:00:01.000"), timingLine("012", 'C', "00:00:58.000", " 1")},
         [](Rig& t) {
             EXPECT_EQ(t.ms(21, 10), -1);    // the split went with the new run
             EXPECT_EQ(t.ms(21, 6), 58000);  // the new finish
             EXPECT_EQ(t.earlierCount(), 2u);
         }},
        {"a corrected time replaces the old one, which is kept",
         nullptr,
         {timingLine("012", 'C', "00:01:00.000", " 1"), timingLine("012", 'C', "00:01:00.500", " 2")},
         [](Rig& t) {
             EXPECT_EQ(t.ms(21, 6), 60500);
             EXPECT_EQ(t.earlierCount(), 1u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig t;  // a fresh core and table for every case
        if (c.before)
            c.before(t);
        for (const std::string& l : c.lines)
            t.line(l);
        c.check(t);
    }
}

// Every channel letter records in its own column; other letters record nothing.
TEST_F(BoardCoreTest, ResultsOnEveryChannelGoToTheirColumns) {
    const std::map<char, int> columns = {{'A', 10}, {'B', 11}, {'C', 6},  {'D', 8},  {'E', 12},
                                         {'F', 13}, {'G', 14}, {'H', 15}, {'I', 16}, {'J', 17}};
    int second = 10;
    for (const auto& [channel, column] : columns) {
        const std::string time = "00:00:" + std::to_string(second) + ".000";
        line(timingLine("013", channel, time.c_str(), " 2"));
        EXPECT_EQ(ms(22, column), second * 1000) << channel;
        ++second;
    }
    line(timingLine("013", 'K', "00:00:59.000", " 3"));
    EXPECT_EQ(shown().rank.text, " 3");
    EXPECT_EQ(race.results.size(), columns.size());
}

// ---- the prompt ---------------------------------------------------------------

TEST_F(BoardCoreTest, PromptFillsInTheNumberAndLinesArrivingMeanwhileWait) {
    options([](BoardOptions& o) { o.askStartNumber = true; });
    int asked = 0;
    core.setPrompt([&]() -> std::optional<QString> {
        ++asked;
        // The device goes on sending while the operator types.
        line(timingLine("009", '.', "00:00:03.000"));
        EXPECT_EQ(core.heldLineCount(), 1u);
        EXPECT_EQ(core.state().Startnummer, 0);  // not dispatched yet
        return QStringLiteral("  7");
    });
    line("A  F    00:00:59.000");  // 19 bytes: filled to 22 with rank "00"
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ms(16, 6), 59000);                 // recorded as 'C' under 7
    EXPECT_EQ(core.state().Startnummer, 9);      // then the held line ran
    EXPECT_EQ(core.state().Zeitwert, 3000);
    EXPECT_EQ(core.heldLineCount(), 0u);
    ASSERT_EQ(race.lines.size(), 2u);            // both told as they arrived
    EXPECT_EQ(race.lines[0], "A  F    00:00:59.000");

    // The remembered number of the last normal line: no question.
    line("A  F    00:01:09.000 5");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ms(18, 13), 69000);  // 'F' stays: channel F under 9

    // Not confirmed: the line stays an addressed line for the boards of A.
    line("A  .    00:00:01.000  ");
    core.setPrompt([&]() -> std::optional<QString> { ++asked; return std::nullopt; });
    line("A  F    00:00:59.000 x");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(shown().boards[0].text, "A  F    00:00:59.0");
}

// ---- publication --------------------------------------------------------------

TEST_F(BoardCoreTest, OnePublicationPerLineAndNoneForAnUnchangedBoard) {
    const size_t before = published.seen.size();
    line(timingLine("012", '.', "00:00:01.000"));
    EXPECT_EQ(published.seen.size(), before + 1);
    const BoardValuesPtr first = published.seen.back();
    EXPECT_EQ(first->number.text, "12");
    line(timingLine("012", '.', "00:00:01.000"));  // the same again shows nothing new
    EXPECT_EQ(published.seen.size(), before + 1);
    line(timingLine("012", '.', "00:00:02.000"));
    EXPECT_EQ(published.seen.size(), before + 2);
    EXPECT_EQ(first->time[kSe].text, "1");  // what was published stays as it was
    EXPECT_EQ(published.seen.back()->time[kSe].text, "2");

    // A batch of changes from outside: one publication.
    {
        BoardCore::Batch batch(core);
        core.Textfeld_setzen(3, "Title");
        core.setBoardText(2, "Board");
        core.change([](BoardValues& v) { v.advert = true; });
    }
    EXPECT_EQ(published.seen.size(), before + 3);
    // A follower shows what another board shows.
    BoardValues other = *published.seen.back();
    other.rank.text = "99";
    core.show(other);
    EXPECT_EQ(published.seen.back()->rank.text, "99");
}

TEST_F(BoardCoreTest, WithoutATableTheRulesRunAndNothingIsRecorded) {
    core.setTable(nullptr);
    line(timingLine("012", 'C', "00:01:00.000", " 1"));
    EXPECT_EQ(shown().rank.text, " 1");
    EXPECT_EQ(shown().number.text, "12");
    EXPECT_EQ(shown().texts[0].text, "");  // no runner to look up
    EXPECT_TRUE(race.results.empty());
    EXPECT_EQ(core.linesReceived(), 1);
}

} // namespace
