#include "wire/checksum.h"

#include <array>
#include <cstring>

namespace wire {
namespace {

constexpr uint16_t kReflectedGenerator = 0xE905;

using Slices = std::array<std::array<uint16_t, 256>, 8>;

constexpr Slices MakeSlices() {
    Slices slices{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t c = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ kReflectedGenerator) : static_cast<uint16_t>(c >> 1);
        slices[0][i] = c;
    }
    for (int k = 1; k < 8; ++k) {
        for (unsigned i = 0; i < 256; ++i) {
            const uint16_t prev = slices[k - 1][i];
            slices[k][i] = static_cast<uint16_t>((prev >> 8) ^ slices[0][prev & 0xFF]);
        }
    }
    return slices;
}

constexpr Slices kSlices = MakeSlices();
static_assert(kSlices[0][0x01] == 0xF11B);
static_assert(kSlices[0][0x80] == 0xE905);

}  // namespace

const uint16_t* ChecksumTable() { return kSlices[0].data(); }

uint16_t ChecksumBytewise(uint16_t initial, const void* bytes, size_t count) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    uint16_t c = initial;
    for (size_t i = 0; i < count; ++i) c = static_cast<uint16_t>((c >> 8) ^ kSlices[0][(c ^ p[i]) & 0xFF]);
    return c;
}

uint16_t Checksum(uint16_t initial, const void* bytes, size_t count) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    uint16_t c = initial;
    while (count >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        word = __builtin_bswap64(word);
#endif
        word ^= c;
        c = static_cast<uint16_t>(kSlices[7][word & 0xFF] ^ kSlices[6][(word >> 8) & 0xFF] ^
                                  kSlices[5][(word >> 16) & 0xFF] ^ kSlices[4][(word >> 24) & 0xFF] ^
                                  kSlices[3][(word >> 32) & 0xFF] ^ kSlices[2][(word >> 40) & 0xFF] ^
                                  kSlices[1][(word >> 48) & 0xFF] ^ kSlices[0][word >> 56]);
        p += 8;
        count -= 8;
    }
    return ChecksumBytewise(c, p, count);
}

}  // namespace wire
