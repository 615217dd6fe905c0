#include "settings/SettingsKeys.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

// The reader stops at the first matching key, the writer writes every row:
// the table must stay unambiguous and complete as it grows.
TEST(SettingsKeys, TableIsUnambiguousAndComplete) {
    const auto rows = settingskeys::table();
    ASSERT_FALSE(rows.empty());
    std::set<std::string> keys;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        EXPECT_TRUE(keys.insert(row.key).second) << "duplicate key";
        EXPECT_NE(row.apply, nullptr);
        EXPECT_NE(row.store, nullptr);
        EXPECT_EQ(std::string(row.key).find(' '), std::string::npos);
        for (const auto& other : rows) {
            if (&other != &row) {
                EXPECT_NE(std::string(other.key).rfind(row.key, 0), 0u) << row.key << " prefixes " << other.key;
            }
        }
    }
    // The serial line's rows come first, in the written order.
    ASSERT_GE(rows.size(), 4u);
    const char* serial[] = {"COM", "BAUD", "DATABITS", "STOPBITS"};
    const int fallbacks[] = {0, 2400, 8, 1};
    for (size_t i = 0; i < 4; ++i) {
        size_t at = 0;
        while (at < rows.size() && std::string(rows[at].key) != serial[i])
            ++at;
        ASSERT_LT(at, rows.size()) << serial[i];
        EXPECT_EQ(rows[at].kind, settingsfile::Kind::Number);
        EXPECT_EQ(rows[at].fallback, fallbacks[i]);
        if (i > 0) {
            EXPECT_EQ(std::string(rows[at - 1].key), serial[i - 1]);
        }
    }
}
