// Message types of the ZEL protocol and their constant properties: which
// types carry a length field, which end a transmission block, and how many
// body bytes each needs besides its variable part. Shared by library and server.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wire {

enum MessageType : uint8_t {
    kTypeUnknown = 0,
    kConfiguration = 1,
    kAttributes = 2,
    kAccess = 3,
    kControl = 4,
    kContinueTransfer = 5,
    kAcknowledge = 6,
    kAccessComplete = 7,
    kData = 8,
    kStatus = 9,
    kKey = 10,
    kAllocation = 11,
    kSummaryAttributes = 12,
    kDateAndTime = 13,
    kProtection = 14,
    kName = 15,
    kAccessControlList = 16,
    kCollatingSequence = 17,
    kCdaSemantics = 18,
};

// Highest TYPE a header may carry; 19 passes the header and is refused later.
constexpr uint8_t kHighestType = 19;
constexpr int kTypeSlots = 20;

constexpr uint32_t TypeBit(uint8_t type) { return type == 0 ? 0 : 1u << (type - 1); }

// Types sent with a length field, so that several share a block.
constexpr uint32_t kLengthTypes = 0x00023082;
// Types after which the send block is transmitted at once.
constexpr uint32_t kFlushTypes = 0x0000405D;

constexpr bool IsLengthType(uint8_t type) { return (kLengthTypes & TypeBit(type)) != 0; }
constexpr bool IsFlushType(uint8_t type) { return (kFlushTypes & TypeBit(type)) != 0; }

// Body bytes a message of each type needs besides its variable part.
constexpr uint8_t kFixedPartSize[kTypeSlots] = {
    0, 19, 18, 5, 8, 1, 0, 7, 1, 10, 0, 0, 0, 38, 9, 1, 0, 1, 0, 0,
};

// FLAGS bits of the header.
constexpr uint8_t kFlagStreamId = 0x01;
constexpr uint8_t kFlagLength = 0x02;
constexpr uint8_t kFlagLen256 = 0x04;
constexpr uint8_t kFlagsRefused = 0xF8;  // BITCNT, SYSSPEC and undefined bits

// The largest transmission block either side accepts.
constexpr size_t kMaxBlock = 32256;

}  // namespace wire
