#include "zel32/protocol/receive_path.h"

#include "wire/header.h"
#include "zel32/protocol/accept_table.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/data_message.h"
#include "zel32/protocol/field_check.h"
#include "zel32/protocol/message_codec.h"
#include "zel32/trace/message_trace.h"
#include "zel32/transport/drain_deadline.h"
#include "zel32/transport/transport.h"

namespace {

// Gives up the rest of a block whose header was refused: nothing in it can
// be found reliably any more, so the next receive fetches a new block.
int RefuseBlock(ZelContext* context) {
    context->blockRemaining = 0;
    return ZelUnexpectedMessage(context);
}

// Steps into the message whose header was parsed: its body is the next
// bodyLength bytes, and the block's remainder lies behind it.
void EnterMessage(ZelContext* context, const wire::Header& header) {
    context->readCursor += header.headerLength;
    context->messageBody = context->readCursor;
    context->bodyLength = header.bodyLength;
    context->blockRemaining -= static_cast<int32_t>(header.headerLength + header.bodyLength);
    context->lastReceivedType = header.type;
}

// Receives the next block into the receive buffer. -1 when the link failed.
int ReceiveBlock(ZelContext* context) {
    context->readCursor = 0;
    context->refusedInBlock = false;
    if (TransportReceive(context, context->receiveBuffer, static_cast<uint16_t>(kBufferSize)) < 0) return -1;
    context->link->status.transferCount += 1;
    context->link->status.lastTransferLength = kBufferSize;
    return 1;
}

// The trace of a malformed header shows the bytes left in the block, and
// never more.
void TraceRefusedHeader(ZelContext* context, const wire::Header& header, const uint8_t* start, size_t remaining) {
    if (context->traceOn != 0)
        ZelTraceMessage(context, false, header.type, header.flags, static_cast<int>(remaining), start, remaining);
}

}  // namespace

int ZelParseHeader(ZelContext* context) {
    const uint8_t* start = context->receiveBuffer + context->readCursor;
    const size_t remaining = static_cast<size_t>(context->blockRemaining);
    wire::Header header;
    const wire::HeaderResult result = wire::ParseHeader(start, remaining, &header);
    if (result == wire::HeaderResult::kEmpty || result == wire::HeaderResult::kTypeTooHigh)
        return RefuseBlock(context);
    context->receivedCount[header.type] += 1;
    switch (result) {
    case wire::HeaderResult::kOk: break;
    case wire::HeaderResult::kRefusedFlags:
    case wire::HeaderResult::kLengthPastBlock:
        TraceRefusedHeader(context, header, start, remaining);
        return RefuseBlock(context);
    default: return RefuseBlock(context);
    }
    EnterMessage(context, header);
    const size_t total = header.headerLength + header.bodyLength;
    if (context->traceOn != 0 &&
        ZelTraceMessage(context, false, header.type, header.flags, static_cast<int>(total), start, total) < 0)
        return -1;
    return static_cast<int>(header.bodyLength);
}

int ZelDecodeMessage(ZelContext* context, int length) {
    const ZelMessageCodec& codec = ZelCodecFor(context->lastReceivedType);
    wire::Reader body(context->receiveBuffer + context->messageBody, static_cast<size_t>(length));
    // The next message of the block begins behind this body, whatever the
    // decoder takes. The cursor moves there before decoding: a Status that
    // winds the access down reads the messages behind it, in this block or
    // in the next ones, and those reads move the cursor on from there.
    context->readCursor = context->messageBody + static_cast<size_t>(length);
    int result = -1;
    switch (codec.dispatch) {
    case ZelDispatch::kRefused: result = ZelUnexpectedMessage(context); break;
    case ZelDispatch::kBodyless: result = 2; break;
    case ZelDispatch::kOwnResult: result = codec.decode(context, body); break;
    case ZelDispatch::kMoreWhenDone: {
        const int decoded = codec.decode(context, body);
        result = decoded == 1 ? 2 : decoded;
        break;
    }
    case ZelDispatch::kMoreOrFail: result = codec.decode(context, body) == 1 ? 2 : -1; break;
    }
    return result;
}

int ZelReceiveMessage(ZelContext* context) {
    if (context->blockRemaining == 0 && ReceiveBlock(context) < 0) return -1;
    const int length = ZelParseHeader(context);
    if (length < 0) return -1;
    return ZelDecodeMessage(context, length);
}

namespace {

// What the peer may still send of an access that it has not yet seen ended:
// its records and descriptions, a Status, an Acknowledge or Continue
// Transfer answering what came before, and at last its Access Complete.
constexpr uint32_t kAccessLeftovers =
    wire::TypeBit(wire::kData) | wire::TypeBit(wire::kStatus) | wire::TypeBit(wire::kAcknowledge) |
    wire::TypeBit(wire::kContinueTransfer) | wire::TypeBit(wire::kAccessComplete) | wire::TypeBit(wire::kAttributes) |
    wire::TypeBit(wire::kDateAndTime) | wire::TypeBit(wire::kProtection) | wire::TypeBit(wire::kName);

int AwaitReplyAdmitting(ZelContext* context, unsigned sentType, uint32_t alsoAdmitted) {
    const int result = ZelReceiveMessage(context);
    if (result == -1) return -1;
    if (((ZelAcceptMask(context->operation, sentType) | alsoAdmitted) & wire::TypeBit(context->lastReceivedType)) == 0) {
        ZelNoteFailure(context, RFA_ERR_PROTOCOL, 0, 0);
        context->refusedInBlock = true;
        return -1;
    }
    return context->lastReceivedType == wire::kAccessComplete ? 1 : result;
}

}  // namespace

int ZelAwaitReply(ZelContext* context, unsigned sentType) { return AwaitReplyAdmitting(context, sentType, 0); }

void ZelDropRefusedBlock(ZelContext* context) {
    // The link is kept: a refused reply has always failed only its own
    // operation, and callers go on with the next one. What the peer sent
    // with it in one transmission is its answer to the failed request, so
    // that much is dropped; unlike after a timeout, the peer has answered,
    // and breaking the link for each odd reply would end every later call.
    if (context->refusedInBlock) context->blockRemaining = 0;
}

int ZelAwaitAccessComplete(ZelContext* context) {
    // The leftovers are taken whatever the operation's replies admit: one
    // refused would stop the drain short of the Access Complete, which the
    // next request would then take for its answer. A Continue Transfer, or
    // an end of file its operation takes as a reply, is a leftover too.
    ZelDrainDeadline deadline;
    int result;
    do {
        if (deadline.Expired(context)) return -1;
        result = AwaitReplyAdmitting(context, context->lastSentType, kAccessLeftovers);
    } while (result != -1 && context->lastReceivedType != wire::kAccessComplete);
    return result;
}

bool ZelTakeDataInPlace(ZelContext* context, ZelRecordView* record) {
    if (context->traceOn != 0 || context->blockRemaining <= 0) return false;
    const uint8_t* start = context->receiveBuffer + context->readCursor;
    if (start[0] != wire::kData) return false;
    wire::Header header;
    if (wire::ParseHeader(start, static_cast<size_t>(context->blockRemaining), &header) != wire::HeaderResult::kOk)
        return false;
    if (!ZelSplitDataBody(context, start + header.headerLength, header.bodyLength, record)) return false;
    context->receivedCount[wire::kData] += 1;
    EnterMessage(context, header);
    context->readCursor = context->messageBody + header.bodyLength;  // as ZelDecodeMessage leaves it
    return true;
}

int ZelReceiveDataInPlace(ZelContext* context, ZelRecordView* record) {
    if (context->traceOn != 0) return 0;
    if (context->blockRemaining == 0) {
        if (ReceiveBlock(context) < 0) return -1;
        // An empty block is refused, as parsing it would refuse it.
        if (context->blockRemaining == 0) return RefuseBlock(context);
    }
    return ZelTakeDataInPlace(context, record) ? 1 : 0;
}
