// The file checksum: a CRC-16 with the reflected generator 0xE905
// (x^16 + x^15 + x^13 + x^7 + x^4 + x^2 + x + 1), processed least significant
// bit first, no final exclusive-or, starting from the caller's value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wire {

// The byte-at-a-time table: entry i is the checksum of the one byte i from
// initial value 0.
const uint16_t* ChecksumTable();

// Eight bytes per step (slicing-by-8); the same results as ChecksumBytewise.
uint16_t Checksum(uint16_t initial, const void* bytes, size_t count);

// One table lookup per byte; the reference the faster form is tested against.
uint16_t ChecksumBytewise(uint16_t initial, const void* bytes, size_t count);

}  // namespace wire
