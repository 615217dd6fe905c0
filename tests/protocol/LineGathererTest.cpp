#include "protocol/BoardText.h"
#include "protocol/LineGatherer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// Feeds bytes and returns the lines that completed.
std::vector<std::string> gather(const std::string& bytes) {
    std::string line;
    int count = 0;
    std::vector<std::string> done;
    for (char b : bytes) {
        if (gatherByte(line, count, b) == Gathered::Complete) {
            done.push_back(line);
            line.clear();
            count = 0;
        }
        EXPECT_EQ(size_t(count), line.size());
    }
    return done;
}
} // namespace

TEST(LineGatherer, LengthLimits) {
    const std::string l19(19, 'x'), l18(18, 'x'), l23(23, 'y'), l24(24, 'z');
    EXPECT_EQ(gather(l19 + "\r"), std::vector<std::string>{l19});
    EXPECT_TRUE(gather(l18 + "\r").empty());
    EXPECT_EQ(gather(l23 + "\r"), std::vector<std::string>{l23});
    // A 24th byte loses the line: the next byte, even a CR, only empties it.
    EXPECT_TRUE(gather(l24 + "\r").empty());
    EXPECT_EQ(gather(l24 + "\r" + l19 + "\r"), std::vector<std::string>{l19});
    // The byte after the 24th is dropped, the one after it starts the new line.
    EXPECT_EQ(gather(l24 + "Q" + l19 + "\r"), std::vector<std::string>{l19});
}

TEST(LineGatherer, ShortLineIsDroppedAtItsCrAndGatheringStartsAfresh) {
    const std::string l20(20, '1');
    EXPECT_EQ(gather("abc\r" + l20 + "\r"), std::vector<std::string>{l20});
    EXPECT_EQ(gather(std::string(18, 'a') + "\r\r" + l20 + "\r"), std::vector<std::string>{l20});
}

TEST(LineGatherer, LfAfterCrBecomesFirstByteOfNextLine) {
    const std::string a = "001C    00:01:02.345 1";  // 22 bytes
    const auto lines = gather(a + "\r\n" + a.substr(0, 21) + "\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], a);
    EXPECT_EQ(lines[1], "\n" + a.substr(0, 21));
}

TEST(LineGatherer, ControlAndHighBytesAreKept) {
    std::string l = "\x01\x02\xff" + std::string(17, '\x80');
    EXPECT_EQ(gather(l + "\r"), std::vector<std::string>{l});
}

TEST(BoardPiece, CutsAtTheEndOfTheLine) {
    const std::string line23 = "ABCDEFGHIJKLMNOPQRSTUVW";
    struct Case {
        int from, count;
        const char* expected;
    } cases[] = {
        {1, 18, "ABCDEFGHIJKLMNOPQR"},
        {22, 23, "VW"},
        {23, 1, "W"},
        {24, 5, ""},
        {9, 12, "IJKLMNOPQRST"},
        {1, 23, "ABCDEFGHIJKLMNOPQRSTUVW"},
        {0, 3, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(boardPiece(line23, c.from, c.count), c.expected) << c.from << "," << c.count;
    EXPECT_EQ(boardPiece(line23.substr(0, 21), 22, 23), "");
}
