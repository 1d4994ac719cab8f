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
    for (const wire::MessageType type : types) {
        if (ZelSendMessage(context, type) < 0) return -1;
    }
    return 1;
}
