#include "zel32/operations/reading_loops.h"

#include "zel32/protocol/context.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/send_path.h"
#include "zel32/transport/drain_deadline.h"

// The replies that describe one request are a handful. Each restarts the
// transport's limit, so without the deadline a peer sending them for ever,
// instead of the reply that ends the wait, would hold the caller for ever.

int ZelReadUntil(ZelContext* context, wire::MessageType type) {
    ZelDrainDeadline deadline;
    int result;
    do {
        if (deadline.Expired(context)) return -1;
        result = ZelAwaitReply(context, context->lastSentType);
    } while (result == 2 && context->lastReceivedType != type);
    return result;
}

int ZelReadUntilNotMore(ZelContext* context) {
    ZelDrainDeadline deadline;
    int result;
    do {
        if (deadline.Expired(context)) return -1;
        result = ZelAwaitReply(context, context->lastSentType);
    } while (result == 2);
    return result;
}

int ZelSendAll(ZelContext* context, std::initializer_list<wire::MessageType> types) {
    ZelBlockMark request = ZelMarkBlock(context);
    for (const wire::MessageType type : types) {
        const ZelBlockMark before = ZelMarkBlock(context);
        if (ZelSendMessage(context, type) < 0) {
            // Those of the request's messages still in the block go with it.
            ZelRewindBlock(context, request);
            return -1;
        }
        if (context->link->status.transferCount != before.transfers) {
            // A block went out and took the request's messages so far: what
            // is left of the request in the block begins with this message
            // (sent before it, the block took everything else), or, once
            // this message ended the block, after it.
            request = context->blockLength > 0 ? before : ZelMarkBlock(context);
            request.transfers = context->link->status.transferCount;
            request.start = 0;
        }
    }
    return 1;
}
