// The store's own lookup tables, against the standard containers they stand in for.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>

#include "platform/winreg/HandleMap.h"
#include "platform/winreg/TextTable.h"

namespace {

using zelreg::HandleMap;
using zelreg::TextTable;

// Handles given out in turn, closed in random order, and a counter that wraps round to values
// still in use: after every step the map answers as an unordered_map does, for handles present
// and absent alike (deletion must keep every entry of a run reachable, also across the end of
// the array).
TEST(LookupTables, HandleMapAnswersAsAStandardMapThroughRandomOpensAndCloses) {
    std::mt19937 random(11);
    for (int round = 0; round < 4; ++round) {
        HandleMap<int> map;
        std::unordered_map<uintptr_t, int> reference;
        uintptr_t next = 0x1000;
        const uintptr_t wrapAt = 0x1000 + 4 * (64 + 37 * round);  // small, so values come round again
        for (int step = 0; step < 20000; ++step) {
            const std::size_t values = (wrapAt - 0x1000) / 4;
            const bool open = reference.size() < 8 ||
                              (reference.size() < values && (random() % 100) < (step % 3000 < 1500 ? 60u : 40u));
            if (open) {
                while (reference.count(next)) next = next + 4 >= wrapAt ? 0x1000 : next + 4;
                map.Insert(next, std::make_shared<int>(step));
                reference[next] = step;
                next = next + 4 >= wrapAt ? 0x1000 : next + 4;
            } else {
                auto victim = reference.begin();
                std::advance(victim, random() % reference.size());
                std::shared_ptr<int> taken;
                ASSERT_TRUE(map.Erase(victim->first, taken));
                ASSERT_TRUE(taken);
                EXPECT_EQ(*taken, victim->second);
                reference.erase(victim);
            }
            ASSERT_EQ(map.size(), reference.size());
            if (step % 97 == 0) {
                for (uintptr_t value = 0x1000; value < wrapAt; value += 4) {
                    const std::shared_ptr<int>* found = map.Find(value);
                    const auto expected = reference.find(value);
                    ASSERT_EQ(found != nullptr, expected != reference.end()) << std::hex << value;
                    if (found) {
                        ASSERT_EQ(**found, expected->second);
                    }
                }
            }
        }
        std::shared_ptr<int> none;
        EXPECT_FALSE(map.Erase(wrapAt + 4, none));
        EXPECT_FALSE(none);
    }
}

// Texts of every length up to past two words, the same text below different keys, texts that
// differ only in their last byte or in their length, and enough of them to grow the table
// several times; after Clear nothing is found and the table fills again.
TEST(LookupTables, TextTableFindsEveryTextBelowItsKeyAndNothingElse) {
    TextTable<int> table;
    std::map<std::pair<int64_t, std::string>, int> reference;
    std::mt19937 random(5);
    int n = 0;
    for (int length = 0; length <= 20; ++length) {
        for (int variant = 0; variant < 300; ++variant) {
            std::string text(static_cast<std::size_t>(length), 'a');
            for (char& c : text) c = static_cast<char>('a' + random() % 3);
            const int64_t start = static_cast<int64_t>(random() % 4) - 1;
            table.Put(start, text, n);
            reference.emplace(std::make_pair(start, text), n);
            ++n;
        }
    }
    const std::string withNul("ab\0c", 4);
    table.Put(7, withNul, -1);
    reference.emplace(std::make_pair(int64_t{7}, withNul), -1);
    for (const auto& [where, value] : reference) {
        const int* found = table.Find(where.first, where.second);
        ASSERT_NE(found, nullptr) << where.first << " " << where.second;
        // The first value put for a text stays.
        EXPECT_EQ(*found, value);
    }
    for (int probe = 0; probe < 5000; ++probe) {
        std::string text(static_cast<std::size_t>(random() % 24), 'a');
        for (char& c : text) c = static_cast<char>('a' + random() % 4);
        const int64_t start = static_cast<int64_t>(random() % 6) - 2;
        EXPECT_EQ(table.Find(start, text) != nullptr, reference.count({start, text}) == 1) << start << " " << text;
    }
    EXPECT_EQ(table.Find(7, std::string("ab\0d", 4)), nullptr);
    EXPECT_EQ(table.Find(7, "ab"), nullptr);
    table.Clear();
    for (const auto& entry : reference) ASSERT_EQ(table.Find(entry.first.first, entry.first.second), nullptr);
    table.Put(1, "after", 3);
    ASSERT_NE(table.Find(1, "after"), nullptr);
    EXPECT_EQ(*table.Find(1, "after"), 3);
}

}  // namespace
