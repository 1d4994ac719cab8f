#include "wire/fields.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

bool Extensible(const Bytes& bytes, size_t max, size_t* length) {
    return wire::ExtensibleLength(bytes.data(), bytes.size(), max, length);
}

TEST(ExtensibleField, EndsAtTheFirstByteWithBit7Clear) {
    size_t length = 99;
    EXPECT_TRUE(Extensible({0x05, 0xFF}, 5, &length));
    EXPECT_EQ(length, 1u);
    EXPECT_TRUE(Extensible({0x81, 0x82, 0x03, 0x80}, 5, &length));
    EXPECT_EQ(length, 3u);
}

TEST(ExtensibleField, AcceptsUpToMaxPlusOneBytes) {
    size_t length = 0;
    EXPECT_TRUE(Extensible({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01}, 6, &length));
    EXPECT_EQ(length, 7u);
    // The seventh byte of an EX-6 field may not carry bit 7.
    EXPECT_FALSE(Extensible({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01}, 6, &length));
}

TEST(ExtensibleField, RefusedWhenItRunsToTheEndOfTheBody) {
    size_t length = 0;
    EXPECT_FALSE(Extensible({0x80}, 5, &length));
    EXPECT_FALSE(Extensible({0x01 | 0x80, 0x80}, 5, &length));
}

TEST(ExtensibleField, NoBytesAtAllIsAnEmptyField) {
    size_t length = 99;
    EXPECT_TRUE(Extensible({}, 5, &length));
    EXPECT_EQ(length, 0u);
}

TEST(Reader, TakeExtensibleKeepsTheFirstBytesAndConsumesTheRest) {
    const Bytes body = {0x81, 0x82, 0x83, 0x04, 0x55};
    wire::Reader reader(body.data(), body.size());
    uint8_t kept[2] = {0xEE, 0xEE};
    ASSERT_TRUE(reader.TakeExtensible(6, kept, 2));
    EXPECT_EQ(kept[0], 0x81);
    EXPECT_EQ(kept[1], 0x82);
    uint8_t next = 0;
    ASSERT_TRUE(reader.TakeByte(&next));
    EXPECT_EQ(next, 0x55);  // the field's third and fourth bytes did not leak into the next field
}

TEST(Reader, TakeExtensibleZeroesWhatTheFieldDidNotCarry) {
    const Bytes body = {0x07};
    wire::Reader reader(body.data(), body.size());
    uint8_t kept[4] = {1, 2, 3, 4};
    ASSERT_TRUE(reader.TakeExtensible(6, kept, 4));
    EXPECT_EQ(Bytes(kept, kept + 4), (Bytes{0x07, 0, 0, 0}));
}

TEST(Reader, TakeImageRefusesACountAboveMaxOrPastTheBody) {
    uint8_t out[8];
    uint8_t count = 0;
    const Bytes tooBig = {9, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    wire::Reader a(tooBig.data(), tooBig.size());
    EXPECT_FALSE(a.TakeImage(8, out, sizeof out, &count));
    const Bytes pastEnd = {3, 'A', 'B'};
    wire::Reader b(pastEnd.data(), pastEnd.size());
    EXPECT_FALSE(b.TakeImage(8, out, sizeof out, &count));
    const Bytes fits = {2, 'A', 'B', 'C'};
    wire::Reader c(fits.data(), fits.size());
    ASSERT_TRUE(c.TakeImage(8, out, sizeof out, &count));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(out[1], 'B');
    EXPECT_EQ(c.remaining(), 1u);
}

TEST(Reader, TakeImageCopiesNoMoreThanTheCapacity) {
    const Bytes body = {5, 1, 2, 3, 4, 5, 0x77};
    uint8_t out[3] = {0, 0, 0};
    uint8_t guard = 0xAA;
    uint8_t count = 0;
    wire::Reader reader(body.data(), body.size());
    ASSERT_TRUE(reader.TakeImage(5, out, sizeof out, &count));
    EXPECT_EQ(count, 5);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(guard, 0xAA);
    uint8_t next = 0;
    ASSERT_TRUE(reader.TakeByte(&next));
    EXPECT_EQ(next, 0x77);
}

TEST(Reader, NeverReadsPastTheEnd) {
    const Bytes body = {1};
    wire::Reader reader(body.data(), body.size());
    uint16_t value = 0;
    EXPECT_FALSE(reader.TakeU16(&value));
    uint8_t byte = 0;
    EXPECT_TRUE(reader.TakeByte(&byte));
    EXPECT_FALSE(reader.TakeByte(&byte));
    EXPECT_FALSE(reader.Skip(1));
}

TEST(Writer, LittleEndianExtensibleAndImageFields) {
    uint8_t buffer[32];
    wire::Writer writer(buffer, sizeof buffer);
    writer.PutU16(0x7E00);
    writer.PutExtensibleValue(0x7F);
    writer.PutExtensibleValue(0x80);
    writer.PutImage("ABC", 3);
    EXPECT_EQ(Bytes(buffer, buffer + writer.length()), (Bytes{0x00, 0x7E, 0x7F, 0x80, 0x01, 3, 'A', 'B', 'C'}));
    EXPECT_FALSE(writer.overflowed());
}

TEST(Writer, RemembersAWritePastItsCapacity) {
    uint8_t buffer[4] = {0, 0, 0, 0};
    wire::Writer writer(buffer, 3);
    writer.PutBytes("ABCD", 4);
    EXPECT_TRUE(writer.overflowed());
    EXPECT_EQ(buffer[3], 0);
}

}  // namespace
