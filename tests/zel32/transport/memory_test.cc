#include "zel32/transport/memory.h"

#include <gtest/gtest.h>

#include "codec_context.h"

namespace zeltest {
namespace {

TEST(MemoryService, BlocksAreZeroFilledAndReallyReleased) {
    const size_t before = RfaLiveBlockCount();
    auto* block = static_cast<unsigned char*>(RfaAllocBlock(nullptr, 64));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(block[i], 0);
    EXPECT_EQ(RfaLiveBlockCount(), before + 1);
    EXPECT_EQ(RfaFreeBlock(nullptr, block), 1);
    EXPECT_EQ(RfaLiveBlockCount(), before);
}

TEST(MemoryService, ReleasingTwiceOrAForeignAddressDoesNothing) {
    void* block = RfaAllocBlock(nullptr, 8);
    EXPECT_EQ(RfaFreeBlock(nullptr, block), 1);
    EXPECT_EQ(RfaFreeBlock(nullptr, block), 1);
    int local = 0;
    EXPECT_EQ(RfaFreeBlock(nullptr, &local), 1);
    EXPECT_EQ(RfaFreeBlock(nullptr, nullptr), 1);
}

TEST(MemoryService, AFailedAllocationRecords11OnlyWithAContext) {
    CodecContext codec;
    RfaFailAllocationsAfter(0);
    EXPECT_EQ(RfaAllocBlock(nullptr, 8), nullptr);
    EXPECT_EQ(codec.errorCode(), 0);
    EXPECT_EQ(RfaAllocBlock(codec.context(), 8), nullptr);
    RfaFailAllocationsAfter(-1);
    EXPECT_EQ(codec.errorCode(), 11);
    EXPECT_EQ(codec.errorValue(), 0);
}

}  // namespace
}  // namespace zeltest
