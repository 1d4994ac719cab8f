#include "wire/header.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using wire::HeaderResult;

HeaderResult Parse(const Bytes& block, wire::Header* header) {
    return wire::ParseHeader(block.data(), block.size(), header);
}

TEST(HeaderParse, UnblockedMessageTakesTheRestOfTheBlock) {
    wire::Header header;
    ASSERT_EQ(Parse({0x06, 0x00, 0xAA, 0xBB}, &header), HeaderResult::kOk);
    EXPECT_EQ(header.type, 6);
    EXPECT_EQ(header.headerLength, 2u);
    EXPECT_EQ(header.bodyLength, 2u);
}

TEST(HeaderParse, OneAndTwoByteLengths) {
    wire::Header header;
    ASSERT_EQ(Parse({0x08, 0x02, 0x02, 0x00, 0x41, 0x99}, &header), HeaderResult::kOk);
    EXPECT_EQ(header.headerLength, 3u);
    EXPECT_EQ(header.bodyLength, 2u);
    Bytes longMessage = {0x08, 0x06, 0x00, 0x01};
    longMessage.resize(4 + 256, 0x55);
    ASSERT_EQ(Parse(longMessage, &header), HeaderResult::kOk);
    EXPECT_EQ(header.headerLength, 4u);
    EXPECT_EQ(header.bodyLength, 256u);
}

TEST(HeaderParse, Len256AloneMakesBothLengthBytesPresent) {
    wire::Header header;
    ASSERT_EQ(Parse({0x08, 0x04, 0x01, 0x00, 0x00}, &header), HeaderResult::kOk);
    EXPECT_EQ(header.bodyLength, 1u);
}

TEST(HeaderParse, StreamIdIsSkipped) {
    wire::Header header;
    ASSERT_EQ(Parse({0x02, 0x05, 0x09, 0x01, 0x00, 0x00, 0x42}, &header), HeaderResult::kOk);
    EXPECT_EQ(header.headerLength, 5u);
    EXPECT_EQ(header.bodyLength, 1u);
}

TEST(HeaderParse, RefusedInput) {
    wire::Header header;
    EXPECT_EQ(Parse({}, &header), HeaderResult::kEmpty);
    EXPECT_EQ(Parse({20, 0x00}, &header), HeaderResult::kTypeTooHigh);
    EXPECT_EQ(Parse({19, 0x00}, &header), HeaderResult::kOk);
    EXPECT_EQ(Parse({0x02, 0x08, 0x00}, &header), HeaderResult::kRefusedFlags);
    EXPECT_EQ(Parse({0x02, 0x10, 0x00}, &header), HeaderResult::kRefusedFlags);
    EXPECT_EQ(Parse({0x02, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}, &header), HeaderResult::kFlagsTooLong);
    EXPECT_EQ(Parse({0x02, 0x02}, &header), HeaderResult::kTruncated);
    EXPECT_EQ(Parse({0x02, 0x04, 0x01}, &header), HeaderResult::kTruncated);
    EXPECT_EQ(Parse({0x02, 0x02, 0x05, 0x00}, &header), HeaderResult::kLengthPastBlock);
}

TEST(HeaderParse, TypeAloneHasFlagsZero) {
    wire::Header header;
    ASSERT_EQ(Parse({0x06}, &header), HeaderResult::kOk);
    EXPECT_EQ(header.flags, 0);
    EXPECT_EQ(header.bodyLength, 0u);
}

TEST(HeaderParse, TheInlineReadingAgreesWithTheFullOneOnEveryTypeFlagsAndLength) {
    // Every TYPE and FLAGS byte, lengths below, at and past the block's end,
    // blocks of 0 to 8 bytes and one of 300: the inline reading of the usual
    // headers may not differ from the full parser in result or in any field.
    for (unsigned type = 0; type < 256; ++type) {
        for (unsigned flags = 0; flags < 256; ++flags) {
            for (const uint8_t length : {0, 1, 2, 4, 5, 0xFF}) {
                Bytes block = {static_cast<uint8_t>(type), static_cast<uint8_t>(flags), length, 0x01, 0x00};
                block.resize(300, 0x33);
                for (size_t size : {0, 1, 2, 3, 4, 5, 6, 8, 300}) {
                    wire::Header inlineRead;
                    wire::Header fullRead;
                    const HeaderResult inlineResult = wire::ParseHeader(block.data(), size, &inlineRead);
                    const HeaderResult fullResult = wire::ParseAnyHeader(block.data(), size, &fullRead);
                    ASSERT_EQ(inlineResult, fullResult) << type << " " << flags << " " << size;
                    if (fullResult != HeaderResult::kOk) continue;
                    ASSERT_EQ(inlineRead.type, fullRead.type);
                    ASSERT_EQ(inlineRead.flags, fullRead.flags);
                    ASSERT_EQ(inlineRead.headerLength, fullRead.headerLength) << type << " " << flags << " " << size;
                    ASSERT_EQ(inlineRead.bodyLength, fullRead.bodyLength) << type << " " << flags << " " << size;
                }
            }
        }
    }
}

TEST(HeaderBuild, LengthFieldFollowsTheFlags) {
    uint8_t message[300] = {};
    EXPECT_EQ(wire::BuildHeader(message, 8, 0x02), 3u);
    wire::FillLength(message, 3 + 4);
    EXPECT_EQ(message[2], 4);
    EXPECT_EQ(wire::BuildHeader(message, 8, 0x06), 4u);
    wire::FillLength(message, 4 + 253);
    EXPECT_EQ(message[2], 0xFD);
    EXPECT_EQ(message[3], 0x00);
    EXPECT_EQ(wire::BuildHeader(message, 7, 0x00), 2u);
}

}  // namespace
