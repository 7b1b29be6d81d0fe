#include "InventoryAgents/WindowsPerfMonAgent/PathListBounds.h"

#include <gtest/gtest.h>

#include <limits.h>

namespace {

TEST(PathListBounds, CountsThePathsOfAClosedListAndStopsAtItsSize) {
    const char list[] = "\\\\m\\Memory\\Available Bytes\0\\\\m\\System\\Processes\0";
    EXPECT_EQ(2u, CountMultiStringEntries(list, sizeof list));
    EXPECT_EQ(0u, CountMultiStringEntries("\0", 2));
    // A list PDH left unclosed ends where the buffer does, its last path cut there.
    const char unclosed[4] = {'a', '\0', 'b', 'c'};
    EXPECT_EQ(2u, CountMultiStringEntries(unclosed, sizeof unclosed));
    EXPECT_EQ(0u, CountMultiStringEntries(unclosed, 0));
    // Walking it stops where the buffer does, the cut path the last.
    EXPECT_EQ(2u, NextMultiStringEntry(unclosed, sizeof unclosed, 0));
    EXPECT_EQ(sizeof unclosed, NextMultiStringEntry(unclosed, sizeof unclosed, 2));
    EXPECT_EQ(sizeof unclosed, NextMultiStringEntry(unclosed, sizeof unclosed, sizeof unclosed));
}

TEST(PathListBounds, DelaysBecomeMillisecondsWithoutWrapping) {
    EXPECT_EQ(0, DelayMilliseconds(0));
    EXPECT_EQ(0, DelayMilliseconds(-5));
    EXPECT_EQ(2000, DelayMilliseconds(2));
    EXPECT_EQ(INT_MAX / 1000 * 1000, DelayMilliseconds(INT_MAX / 1000));
    EXPECT_EQ(INT_MAX, DelayMilliseconds(INT_MAX / 1000 + 1));
    EXPECT_EQ(INT_MAX, DelayMilliseconds(INT_MAX));
}

} // namespace
