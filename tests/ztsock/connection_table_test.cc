// Connection identifiers: 1 to 65534, the lowest free one first.
#include "ztsock/connection_table.h"

#include <gtest/gtest.h>

#include <memory>

namespace ztsock {
namespace {

std::shared_ptr<FrameStream> Unconnected() { return std::make_shared<FrameStream>(UniqueFd()); }

TEST(ConnectionTable, IdentifiersStartAtOneAndTheLowestFreeIsReused) {
    ConnectionTable table;
    const auto first = Unconnected();
    EXPECT_EQ(table.Add(first), 1);
    EXPECT_EQ(table.Add(Unconnected()), 2);
    EXPECT_EQ(table.Add(Unconnected()), 3);

    EXPECT_NE(table.Remove(2), nullptr);
    EXPECT_EQ(table.Remove(1), first);
    EXPECT_EQ(table.Find(1), nullptr);
    EXPECT_EQ(table.Add(Unconnected()), 1);
    EXPECT_EQ(table.Add(Unconnected()), 2);
    EXPECT_EQ(table.Add(Unconnected()), 4);
}

TEST(ConnectionTable, Holds65534ConnectionsAndNeverHandsOutZeroOrFFFF) {
    ConnectionTable table;
    for (uint32_t expected = 1; expected <= 0xFFFE; ++expected) {
        ASSERT_EQ(table.Add(Unconnected()), expected);
    }
    EXPECT_EQ(table.Add(Unconnected()), 0);   // full
    EXPECT_EQ(table.Find(0xFFFF), nullptr);
    ASSERT_NE(table.Remove(300), nullptr);
    EXPECT_EQ(table.Add(Unconnected()), 300);
    EXPECT_EQ(table.Add(Unconnected()), 0);
}

TEST(ConnectionTable, UnknownIdentifiersFindNothing) {
    ConnectionTable table;
    table.Add(Unconnected());
    EXPECT_EQ(table.Find(0), nullptr);
    EXPECT_EQ(table.Find(2), nullptr);
    EXPECT_EQ(table.Find(0xFFFF), nullptr);
    EXPECT_EQ(table.Remove(0), nullptr);
    EXPECT_EQ(table.Remove(7), nullptr);
    EXPECT_NE(table.Find(1), nullptr);
}

TEST(ConnectionTable, NullStreamGetsNoIdentifier) {
    ConnectionTable table;
    EXPECT_EQ(table.Add(nullptr), 0);
    EXPECT_EQ(table.Add(Unconnected()), 1);
}

}  // namespace
}  // namespace ztsock
