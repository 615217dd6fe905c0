#include "TempDir.h"
#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

using settingsfile::Kind;

namespace {
QList<QByteArray> linesOf(const QByteArray& content) {
    TempWorkDir dir;
    dir.write(QStringLiteral("disp.ini"), content);
    QList<QByteArray> lines;
    EXPECT_TRUE(settingsfile::forEachLine(QStringLiteral("disp.ini"), [&](const QByteArray& l) { lines << l; }));
    return lines;
}
} // namespace

TEST(SettingsFile, LinesEndAtLineFeedWithOptionalCarriageReturn) {
    const struct {
        QByteArray content;
        QList<QByteArray> lines;
    } cases[] = {
        {"COM 3\r\nBAUD 9600\r\n", {"COM 3", "BAUD 9600"}},
        {"COM 3\nBAUD 9600", {"COM 3", "BAUD 9600"}},      // last line without line end
        {"A\r\r\nB\rC\n", {"A\r", "B\rC"}},                // only the CR before LF goes
        {"\n\r\nX\n", {"", "", "X"}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(linesOf(c.content), c.lines) << c.content.toStdString();
}

TEST(SettingsFile, OverlongLinesAreCutNotBuffered) {
    QByteArray big = "Language " + QByteArray(10 * settingsfile::kMaxLine, 'x') + "\nCOM 2\n";
    const QList<QByteArray> lines = linesOf(big);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].size(), settingsfile::kMaxLine);
    EXPECT_EQ(lines[1], "COM 2");
}

TEST(SettingsFile, MissingFileReportsFalse) {
    TempWorkDir dir;
    int calls = 0;
    EXPECT_FALSE(settingsfile::forEachLine(QStringLiteral("disp.ini"), [&](const QByteArray&) { ++calls; }));
    EXPECT_EQ(calls, 0);
}

TEST(SettingsFile, KeyMatching) {
    const struct {
        const char* line;
        const char* key;
        Kind kind;
        bool matches;
        const char* value;
    } cases[] = {
        {"DisplayRank 1 extra", "DisplayRank", Kind::Switch, true, "1"},
        {"DisplayRank 0", "DisplayRank", Kind::Switch, true, "0"},
        {"DisplayRank 2", "DisplayRank", Kind::Switch, false, ""},
        {"DisplayRank", "DisplayRank", Kind::Switch, false, ""},
        {"DisplayRank ", "DisplayRank", Kind::Switch, false, ""},
        {"COM 12", "COM", Kind::Number, true, "12"},
        {"COM  3", "COM", Kind::Number, true, " 3"},
        {"COM", "COM", Kind::Number, false, ""},
        {" COM 3", "COM", Kind::Number, false, ""},
        {"com 3", "COM", Kind::Number, false, ""},
        {"COMX 3", "COM", Kind::Number, false, ""},
        {"Language ", "Language", Kind::Text, true, ""},
        {"RankFontName Monospac821 BT", "RankFontName", Kind::Text, true, "Monospac821 BT"},
    };
    for (const auto& c : cases) {
        QByteArray value;
        EXPECT_EQ(settingsfile::match(c.line, c.key, c.kind, value), c.matches) << c.line;
        if (c.matches) {
            EXPECT_EQ(value, QByteArray(c.value)) << c.line;
        }
    }
    EXPECT_EQ(settingsfile::format("COM", "12"), QByteArray("COM 12\r\n"));
}
