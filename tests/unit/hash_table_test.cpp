// The open-addressing table under the library's lookups: every key found again through growth and
// collisions, the load kept below its limit, room reserved up front used without growing, and the
// map and set over it.
#include "hash_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kEmpty = UINT32_MAX;

// Keys are the slots; how they hash is the case's.
using HashOf = uint64_t (*)(uint32_t);
struct KeySlots {
    using Slot = uint32_t;
    static uint32_t empty() { return kEmpty; }
    static bool isEmpty(uint32_t key) { return key == kEmpty; }
    uint64_t hashOf(uint32_t key) const { return hash(key); }
    HashOf hash;
};

struct HashCase {
    const char* name;
    HashOf hash;
};

const HashCase kHashCases[] = {
    {"mixed", [](uint32_t key) { return zel::hashWords(key); }},
    {"identity", [](uint32_t key) { return uint64_t{key}; }},
    {"all equal", [](uint32_t) { return uint64_t{7}; }},
    {"last slot, probes wrap", [](uint32_t) { return ~uint64_t{0}; }},
    {"runs of four", [](uint32_t key) { return uint64_t{key / 4}; }},
};

template <size_t kNumerator, size_t kDenominator>
void checkKeysThroughGrowth(const HashCase& c, uint32_t keys) {
    SCOPED_TRACE(c.name);
    zel::HashTable<KeySlots, kNumerator, kDenominator> table(KeySlots{c.hash});
    auto same = [](uint32_t key) { return [key](uint32_t slot) { return slot == key; }; };
    for (uint32_t key = 0; key < keys; key++) {
        auto found = table.insert(c.hash(key), same(key));
        ASSERT_TRUE(found.second) << key;
        *found.first = key;
        const size_t capacity = table.capacity();
        ASSERT_EQ(capacity & (capacity - 1), 0u);
        ASSERT_LE(kDenominator * table.size(), kNumerator * capacity);
    }
    EXPECT_EQ(table.size(), keys);
    for (uint32_t key = 0; key < keys; key++) {
        const uint32_t* slot = table.find(c.hash(key), same(key));
        ASSERT_NE(slot, nullptr) << key;
        EXPECT_EQ(*slot, key);
        EXPECT_FALSE(table.insert(c.hash(key), same(key)).second) << key;
    }
    EXPECT_EQ(table.find(c.hash(keys), same(keys)), nullptr);
    EXPECT_EQ(table.size(), keys);
}

TEST(HashTable, FindsEveryKeyThroughGrowthAndCollisionsBelowTheLoadLimit) {
    for (const HashCase& c : kHashCases) {
        checkKeysThroughGrowth<1, 2>(c, 700);
        checkKeysThroughGrowth<3, 4>(c, 700);
    }
}

TEST(HashTable, ReservedRoomTakesItsEntriesWithoutGrowing) {
    for (size_t count : {0, 1, 8, 9, 100, 1000}) {
        zel::HashTable<KeySlots, 3, 4> table(KeySlots{kHashCases[0].hash});
        table.reserve(count);
        const size_t capacity = table.capacity();
        for (uint32_t key = 0; key < count; key++)
            *table.insert(zel::hashWords(key), [](uint32_t) { return false; }).first = key;
        EXPECT_EQ(table.capacity(), capacity) << count;
    }
}

TEST(HashMap, KeepsTheFirstValueAndVisitsEachEntryOnce) {
    const std::vector<std::pair<std::string, uint32_t>> inserts = {
        {"", 1}, {"default", 2}, {"a", 3}, {"default", 4}, {std::string("a\0b", 3), 5},
        {"", 6}, {"a", 7}};
    zel::HashMap<std::string, uint32_t> map;
    std::map<std::string, uint32_t> expected;
    for (const auto& insert : inserts) {
        const bool fresh = expected.emplace(insert.first, insert.second).second;
        EXPECT_EQ(map.emplace(insert.first, insert.second).second, fresh) << insert.first;
    }
    std::map<std::string, uint32_t> visited;
    for (const auto& entry : map) EXPECT_TRUE(visited.emplace(entry.first, entry.second).second);
    EXPECT_EQ(visited, expected);
    EXPECT_EQ(map.find("b"), nullptr);

    zel::HashSet<std::string> set;
    EXPECT_TRUE(set.insert("v9").second);
    EXPECT_FALSE(set.insert("v9").second);
}

}  // namespace
