// The message header: TYPE, FLAGS, the optional STREAMID and the optional
// one- or two-byte LENGTH. Building and parsing it is shared by the library's
// send and receive paths and by the server.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wire {

struct Header {
    uint8_t type = 0;
    uint8_t flags = 0;
    size_t headerLength = 0;  // TYPE through LENGTH
    size_t bodyLength = 0;    // without a length field: the rest of the block
};

enum class HeaderResult {
    kOk,
    kEmpty,           // no byte left where a message was expected
    kTypeTooHigh,     // TYPE above 19
    kFlagsTooLong,    // the FLAGS field runs on past five bytes or the block
    kRefusedFlags,    // BITCNT, SYSSPEC or an undefined FLAGS bit
    kTruncated,       // the block ends inside STREAMID or LENGTH
    kLengthPastBlock, // LENGTH runs past the block
};

// Parses the header at p, where `remaining` bytes of the block are left.
// On kRefusedFlags and kLengthPastBlock, `out` holds what was read so far
// (type, flags, headerLength; bodyLength is the announced length).
HeaderResult ParseHeader(const uint8_t* p, size_t remaining, Header* out);

// Header length for a FLAGS byte as the sender writes it: 2, 3 or 4.
constexpr size_t HeaderLengthFor(uint8_t flags) {
    return (flags & 0x04) != 0 ? 4 : (flags & 0x02) != 0 ? 3 : 2;
}

// Writes TYPE, FLAGS and a zero length field; returns the header length.
size_t BuildHeader(uint8_t* p, uint8_t type, uint8_t flags);

// Fills in the length field of a message built with BuildHeader, from its
// FLAGS byte and the message's total length.
void FillLength(uint8_t* message, size_t messageLength);

}  // namespace wire
