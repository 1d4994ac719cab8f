#include "wire/checksum.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

uint16_t Of(const std::string& text, uint16_t initial = 0) { return wire::Checksum(initial, text.data(), text.size()); }

// The bit-by-bit definition: no table involved.
uint16_t BitByBit(uint16_t c, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        c ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xE905) : static_cast<uint16_t>(c >> 1);
    }
    return c;
}

TEST(Checksum, KnownValuesOfTheFileChecksum) {
    EXPECT_EQ(Of("123456789"), 0x5DAF);
    EXPECT_EQ(Of("abc"), 0x5879);
    EXPECT_EQ(Of("ABC"), 0xD185);
    EXPECT_EQ(Of(""), 0x0000);
    EXPECT_EQ(Of("", 0x1234), 0x1234);
}

TEST(Checksum, TableEntriesAreTheChecksumsOfSingleBytes) {
    EXPECT_EQ(wire::ChecksumTable()[0x00], 0x0000);
    EXPECT_EQ(wire::ChecksumTable()[0x01], 0xF11B);
    EXPECT_EQ(wire::ChecksumTable()[0x80], 0xE905);
    for (int i = 0; i < 256; ++i) {
        const uint8_t byte = static_cast<uint8_t>(i);
        EXPECT_EQ(wire::ChecksumTable()[i], BitByBit(0, &byte, 1)) << i;
    }
}

TEST(Checksum, FastFormAgreesWithBytewiseAndBitwiseAtEveryLengthAndAlignment) {
    std::mt19937 random(7);
    std::vector<uint8_t> data(4096 + 16);
    for (auto& byte : data) byte = static_cast<uint8_t>(random());
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t length : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 64u, 65u, 1000u, 4096u}) {
            const uint16_t initial = static_cast<uint16_t>(random());
            const uint8_t* p = data.data() + offset;
            const uint16_t expected = BitByBit(initial, p, length);
            EXPECT_EQ(wire::ChecksumBytewise(initial, p, length), expected) << offset << " " << length;
            EXPECT_EQ(wire::Checksum(initial, p, length), expected) << offset << " " << length;
        }
    }
}

TEST(Checksum, ChainsAcrossPieces) {
    const std::string text = "The quick brown fox jumps over the lazy dog";
    const uint16_t whole = Of(text);
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        EXPECT_EQ(Of(text.substr(cut), Of(text.substr(0, cut))), whole) << cut;
    }
}

}  // namespace
