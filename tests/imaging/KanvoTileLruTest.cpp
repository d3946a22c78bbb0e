// The eviction order and cost accounting of the store behind the tiled
// source's and the display's tiles: their own tests check that tiles in use
// stay, not which of the others go first nor what an eviction gives back.
#include "imaging/KanvoTileLru.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using Lru = KanvoTileLru<int, std::string>;

const auto noneInUse = [](int) {
    return false;
};

bool keeps(Lru& lru, int key) {
    return lru.use(key) != nullptr;
}

} // namespace

// A tile just used outlives older ones, and a costly tile's eviction frees its
// whole cost: the cheap ones after it stay.
TEST(KanvoTileLru, dropsTheLeastRecentlyUsedUntilWithinBudget) {
    Lru lru;
    lru.add(1, "costly", 5);
    lru.add(2, "b", 1);
    lru.add(3, "c", 1);
    ASSERT_NE(lru.use(1), nullptr);
    EXPECT_EQ(*lru.use(1), "costly");
    lru.add(4, "d", 1);
    lru.evictBeyond(7, noneInUse);
    EXPECT_FALSE(keeps(lru, 2));
    EXPECT_TRUE(keeps(lru, 3));
    EXPECT_TRUE(keeps(lru, 1));
    EXPECT_TRUE(keeps(lru, 4));
    lru.evictBeyond(2, noneInUse); // 3 is now the least recently used
    EXPECT_FALSE(keeps(lru, 3));
    EXPECT_FALSE(keeps(lru, 1));
    EXPECT_TRUE(keeps(lru, 4));
}
