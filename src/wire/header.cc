#include "wire/header.h"

#include "wire/fields.h"
#include "wire/message_types.h"

namespace wire {

HeaderResult ParseAnyHeader(const uint8_t* p, size_t remaining, Header* out) {
    *out = Header{};
    if (remaining == 0) return HeaderResult::kEmpty;
    out->type = p[0];
    size_t used = 1;
    if (out->type > kHighestType) return HeaderResult::kTypeTooHigh;

    size_t flagsLength = 0;
    // FLAGS is one byte as a rule; only a longer field needs the check.
    const bool oneByteFlags = used < remaining && (p[used] & 0x80) == 0;
    if (!oneByteFlags && !ExtensibleLength(p + used, remaining - used, 5, &flagsLength))
        return HeaderResult::kFlagsTooLong;
    if (used < remaining) out->flags = p[used++];
    out->headerLength = used;
    if ((out->flags & kFlagsRefused) != 0) return HeaderResult::kRefusedFlags;

    if ((out->flags & kFlagStreamId) != 0) {
        if (used >= remaining) return HeaderResult::kTruncated;
        ++used;
    }
    if ((out->flags & kFlagLen256) != 0) {
        if (remaining - used < 2) return HeaderResult::kTruncated;
        out->bodyLength = GetU16(p + used);
        used += 2;
    } else if ((out->flags & kFlagLength) != 0) {
        if (used >= remaining) return HeaderResult::kTruncated;
        out->bodyLength = p[used++];
    } else {
        out->bodyLength = remaining - used;
    }
    out->headerLength = used;
    if (out->bodyLength > remaining - used) return HeaderResult::kLengthPastBlock;
    return HeaderResult::kOk;
}

}  // namespace wire
