// The message header: TYPE, FLAGS, the optional STREAMID and the optional
// one- or two-byte LENGTH. Building and parsing it is shared by the library's
// send and receive paths and by the server.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/fields.h"
#include "wire/message_types.h"

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
HeaderResult ParseAnyHeader(const uint8_t* p, size_t remaining, Header* out);

// The same, with the headers senders build (one FLAGS byte, no STREAMID, a
// length that fits the block) read inline: it runs for every record
// received. Anything else goes to ParseAnyHeader.
inline HeaderResult ParseHeader(const uint8_t* p, size_t remaining, Header* out) {
    if (remaining >= 4 && p[0] <= kHighestType && (p[1] & (kFlagsRefused | kFlagStreamId)) == 0) {
        const uint8_t flags = p[1];
        size_t headerLength = 2;
        size_t bodyLength = remaining - 2;
        if ((flags & kFlagLen256) != 0) {
            headerLength = 4;
            bodyLength = GetU16(p + 2);
        } else if ((flags & kFlagLength) != 0) {
            headerLength = 3;
            bodyLength = p[2];
        }
        if (bodyLength <= remaining - headerLength) {
            *out = Header{p[0], flags, headerLength, bodyLength};
            return HeaderResult::kOk;
        }
    }
    return ParseAnyHeader(p, remaining, out);
}

// Header length for a FLAGS byte as the sender writes it: 2, 3 or 4.
constexpr size_t HeaderLengthFor(uint8_t flags) {
    return (flags & 0x04) != 0 ? 4 : (flags & 0x02) != 0 ? 3 : 2;
}

// Writes TYPE, FLAGS and a zero length field; returns the header length.
// (Inline, as FillLength: both run once for every record sent.)
inline size_t BuildHeader(uint8_t* p, uint8_t type, uint8_t flags) {
    p[0] = type;
    p[1] = flags;
    const size_t length = HeaderLengthFor(flags);
    for (size_t i = 2; i < length; ++i) p[i] = 0;
    return length;
}

// Fills in the length field of a message built with BuildHeader, from its
// FLAGS byte and the message's total length.
inline void FillLength(uint8_t* message, size_t messageLength) {
    const uint8_t flags = message[1];
    if ((flags & kFlagLen256) != 0) {
        PutU16(message + 2, static_cast<uint16_t>(messageLength - 4));
    } else if ((flags & kFlagLength) != 0) {
        message[2] = static_cast<uint8_t>(messageLength - 3);
    }
}

}  // namespace wire
