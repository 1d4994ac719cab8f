#include "zel32/protocol/send_path.h"

#include <cstring>

#include "wire/header.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/data_message.h"
#include "zel32/protocol/message_codec.h"
#include "zel32/trace/message_trace.h"
#include "zel32/transport/transport.h"

thread_local uint32_t expeditedSend = 0;

namespace {

constexpr int kLineBeforeMessage = 1;
constexpr int kLineAfterMessage = 2;

// Transmits the block built so far and starts a fresh one.
int TransmitBlock(ZelContext* context, int traceLine) {
    // The block's bytes are about to be reused.
    ZelSettleChecksum(context);
    const int32_t length = context->blockLength;
    if (TransportSend(context, context->sendBuffer, static_cast<uint16_t>(length), expeditedSend != 0) == -1) return -1;
    RfaLinkStatus& status = context->link->status;
    status.transferCount += 1;
    status.lastTransferLength = static_cast<uint32_t>(length);
    // The block is gone: emptied before the trace line, so that a failed
    // trace write never leaves its messages to be sent a second time.
    context->blockLength = 0;
    context->messageStart = 0;
    context->writeCursor = 0;
    if (context->traceOn != 0 && ZelTraceBlockLine(context, traceLine, length) < 0) return -1;
    return 1;
}

}  // namespace

uint8_t ZelHeaderFlags(const ZelContext* context, uint8_t type) {
    if (!wire::IsLengthType(type)) return 0x00;
    if (context->peerLen256 && wire::kFixedPartSize[type] + context->workLength + 3 > 255) return 0x06;
    return context->peerBlocking ? 0x02 : 0x00;
}

uint8_t ZelFlagsForBody(const ZelContext* context, uint8_t flags, size_t bodyLength) {
    // A one-byte LENGTH holds at most 255: a longer body takes the two-byte
    // form, or, toward a peer without it, no length field at all (the
    // message then ends its block). The length is never cut to 8 bits.
    if ((flags & 0x06) == 0x02 && bodyLength > 255) return context->peerLen256 ? 0x06 : 0x00;
    return flags;
}

int ZelEncodeMessage(ZelContext* context, uint8_t type) {
    context->messageStart = context->writeCursor;
    uint8_t* start = context->sendBuffer + context->writeCursor;
    const size_t capacity = kBufferSize + kSendSpare - context->writeCursor;
    // Data, sent for every record, knows its length before it is built.
    if (type == wire::kData) return ZelEncodeRecord(context, start, capacity);
    const ZelMessageCodec& codec = ZelCodecFor(type);
    if (!codec.sendable) {
        RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
        return -1;
    }
    uint8_t flags = ZelHeaderFlags(context, type);
    size_t headerLength = wire::BuildHeader(start, type, flags);
    wire::Writer body(start + headerLength, capacity - headerLength);
    if (codec.encode != nullptr && codec.encode(context, body) < 0) return -1;
    const size_t bodyLength = body.length();
    const uint8_t fitted = ZelFlagsForBody(context, flags, bodyLength);
    if (!body.overflowed() && fitted != flags) {
        flags = fitted;
        const size_t newHeaderLength = wire::HeaderLengthFor(flags);
        if (newHeaderLength + bodyLength > capacity) {
            RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
            return -1;
        }
        std::memmove(start + newHeaderLength, start + headerLength, bodyLength);
        headerLength = wire::BuildHeader(start, type, flags);
    }
    if (body.overflowed()) {
        RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
        return -1;
    }
    context->writeCursor += headerLength + bodyLength;
    return 1;
}

bool ZelMessageFits(ZelContext* context, uint8_t type) {
    const size_t writeCursor = context->writeCursor;
    const size_t messageStart = context->messageStart;
    const int encoded = ZelEncodeMessage(context, type);
    const size_t length = context->writeCursor - context->messageStart;
    context->writeCursor = writeCursor;
    context->messageStart = messageStart;
    if (encoded < 0 || length <= static_cast<size_t>(context->bufferSize)) return true;
    RfaSetError(context, RFA_ERR_RECORD_SIZE, 0);
    return false;
}

int ZelSendMessage(ZelContext* context, uint8_t type) {
    // Another message may take the place of the last record sent, and may
    // carry its checksum (Access Complete).
    if (type != wire::kData) ZelSettleChecksum(context);
    if (wire::IsFlushType(context->lastSentType)) {
        context->blockLength = 0;
        context->messageStart = context->writeCursor = 0;
    }
    const uint8_t flags = ZelHeaderFlags(context, type);
    const int32_t reserve = wire::kFixedPartSize[type < wire::kTypeSlots ? type : 0] + context->workLength + 3 +
                            (flags == 0x06 ? 1 : 0);
    if (reserve > context->bufferSize - context->blockLength || context->operation == kOpAbort) {
        if (TransmitBlock(context, kLineBeforeMessage) < 0) return -1;
    }
    if (ZelEncodeMessage(context, type) < 0) {
        context->writeCursor = context->messageStart;
        return -1;
    }
    size_t length = context->writeCursor - context->messageStart;
    // A message longer than the peer's whole buffer (a 255-character name
    // toward a peer of 256-byte blocks) would overrun it: refused, and with
    // it the messages of the same request held in the block (Attributes
    // before an Access), which would otherwise go out with the next one.
    if (length > static_cast<size_t>(context->bufferSize)) {
        ZelSettleChecksum(context);
        context->blockLength = 0;
        context->messageStart = context->writeCursor = 0;
        RfaSetError(context, RFA_ERR_RECORD_SIZE, 0);
        return -1;
    }
    // The room check counts fixed parts only; a block still never grows past
    // the peer's buffer size: a message whose variable fields did not fit
    // goes out in the next block.
    if (context->blockLength > 0 && context->blockLength + static_cast<int32_t>(length) > context->bufferSize) {
        const size_t messageStart = context->messageStart;
        if (TransmitBlock(context, kLineBeforeMessage) < 0) {
            // The new message is dropped, as after a failed encode; the block
            // holds what it held before.
            if (context->blockLength > 0) context->writeCursor = messageStart;
            return -1;
        }
        std::memmove(context->sendBuffer, context->sendBuffer + messageStart, length);
        context->writeCursor = length;
    }
    uint8_t* message = context->sendBuffer + context->messageStart;
    wire::FillLength(message, length);
    // A message whose trace failed is taken back out of the block, as after
    // a failed encode: left there, it would leave with the next message that
    // sends the block although its operation failed. The block, the counts
    // and the record checksum stay as before the call, so records queued
    // earlier still leave exactly once.
    if (context->traceOn != 0 && ZelTraceMessage(context, true, type, message[1], static_cast<int>(length), message, length) < 0) {
        context->writeCursor = context->messageStart;
        return -1;
    }
    context->sentCount[type] += 1;
    context->lastSentType = type;
    context->blockLength += static_cast<int32_t>(length);
    if (type == wire::kData && context->peerChecksum) {
        const auto recordLength = static_cast<size_t>(context->workLength);
        ZelNoteRecordSent(context, context->messageStart + length - recordLength, recordLength);
    }
    const bool unblocked = wire::IsLengthType(type) && (message[1] & 0x06) == 0;
    if (wire::IsFlushType(type) || unblocked) return TransmitBlock(context, kLineAfterMessage);
    return 1;
}

ZelBlockMark ZelMarkBlock(const ZelContext* context) {
    ZelBlockMark mark{};
    mark.transfers = context->link->status.transferCount;
    // After a message that ends a block, the next one starts a fresh block.
    mark.start = wire::IsFlushType(context->lastSentType) ? 0 : context->writeCursor;
    mark.lastSentType = context->lastSentType;
    std::memcpy(mark.sentCount, context->sentCount, sizeof mark.sentCount);
    return mark;
}

void ZelRewindBlock(ZelContext* context, const ZelBlockMark& mark) {
    // A transmitted block, or one dropped whole (a message too long for the
    // peer), holds nothing of the request any more.
    if (context->link->status.transferCount != mark.transfers || context->writeCursor < mark.start) return;
    context->blockLength -= static_cast<int32_t>(context->writeCursor - mark.start);
    context->writeCursor = context->messageStart = mark.start;
    context->lastSentType = mark.lastSentType;
    std::memcpy(context->sentCount, mark.sentCount, sizeof mark.sentCount);
}
