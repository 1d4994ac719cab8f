// Feeds arbitrary received blocks to the library's receive path and message
// decoders, for any operation and request last sent: the first bytes choose
// the context's state, the rest is the block.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zel32/api/context_lifecycle.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/accept_table.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/templates.h"
#include "wire/message_types.h"

namespace {

ZelContext* Context() {
    static RfaLink link{};
    static ZelContext* context = [] {
        link.handle = 1;
        std::strcpy(link.nodeName, "fuzz");
        return RfaCreateContext(&link);
    }();
    return context;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    ZelContext* context = Context();
    context->operation = data[0] % 20;
    context->lastSentType = data[1] % 19;
    context->peerChecksum = (data[2] & 0x01) != 0;
    context->peerLen256 = (data[2] & 0x02) != 0;
    context->peerFilesys = static_cast<uint8_t>(data[2] >> 2);
    context->attributes.rat[0] = data[3];
    ZelListing() = ZelListingFlags{(data[2] & 0x40) != 0, (data[2] & 0x80) != 0};
    context->connectionId = 0;  // nothing can be sent: wind-downs fail at their first send
    context->state = kStateOpen;
    context->aborting = 0;
    context->link->status = RfaLinkStatus{};

    const size_t length = size - 4 < kBufferSize ? size - 4 : kBufferSize;
    std::memcpy(context->receiveBuffer, data + 4, length);
    context->readCursor = 0;
    context->blockRemaining = static_cast<int32_t>(length);
    for (int messages = 0; messages < 1000 && context->blockRemaining > 0; ++messages) {
        const int body = ZelParseHeader(context);
        if (body < 0) break;
        const int result = ZelDecodeMessage(context, body);
        if (result < 0) break;
        (void)ZelAcceptMask(context->operation, context->lastSentType);
    }
    // Decoded texts stay terminated within their fields.
    if (std::memchr(context->name.name, '\0', sizeof context->name.name) == nullptr) __builtin_trap();
    if (std::memchr(context->statusFields.stx, '\0', sizeof context->statusFields.stx) == nullptr) __builtin_trap();
    return 0;
}
