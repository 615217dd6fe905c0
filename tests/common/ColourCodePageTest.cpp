#include "common/CodePage.h"
#include "common/Colour.h"

#include <gtest/gtest.h>

TEST(Colour, RgbValuesHaveRedInTheLowestByte) {
    EXPECT_EQ(colour::toQColor(255).value(), QColor(255, 0, 0));
    EXPECT_EQ(colour::toQColor(65535).value(), QColor(255, 255, 0));
    EXPECT_EQ(colour::toQColor(0x808080).value(), QColor(128, 128, 128));
    EXPECT_EQ(colour::toQColor(0xFF0000).value(), QColor(0, 0, 255));
    EXPECT_EQ(colour::fromQColor(QColor(0, 0, 255)), 0xFF0000);
    EXPECT_EQ(colour::fromQColor(QColor(255, 255, 0)), 65535);
}

TEST(Colour, NoColourAndSystemColours) {
    EXPECT_FALSE(colour::toQColor(536870911).has_value());
    EXPECT_FALSE(colour::fromQColor(QColor(Qt::transparent)) != colour::None);
    // A system colour (top byte 0xFF, negative as a signed value) resolves to something.
    EXPECT_TRUE(colour::toQColor(int32_t(0xFF00000F)).has_value());
    for (int32_t v : {0, 255, 65535, 0x123456, 0xFFFFFF})
        EXPECT_EQ(colour::fromQColor(*colour::toQColor(v)), v);
}

TEST(CodePage, Windows1252RoundTrip) {
    const char raw[] = "M\xfcller \x8aimon \xd8re \x80";
    const QByteArray bytes(raw, sizeof raw - 1);
    const QString text = codepage::toUnicode(bytes);
    EXPECT_EQ(text, QString::fromUtf8("Müller Šimon Øre €"));
    EXPECT_EQ(codepage::fromUnicode(text), bytes);
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(codepage::fromUnicode(QString::fromUtf8("a\xc5\x82z")), QByteArray("a?z"));  // ł
    EXPECT_EQ(codepage::fromUnicode(QString::fromUtf8("\xe6\x97\xa5")), QByteArray("?"));
}

TEST(CodePage, EveryByteDecodesToOneCharacter) {
    QByteArray all;
    for (int i = 1; i < 256; ++i)
        all.append(char(i));
    EXPECT_EQ(codepage::toUnicode(all).size(), 255);
}
