#include "zel32/operations/reading_loops.h"

#include "zel32/protocol/context.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/send_path.h"

int ZelReadUntil(ZelContext* context, wire::MessageType type) {
    int result;
    do {
        result = ZelAwaitReply(context, context->lastSentType);
    } while (result == 2 && context->lastReceivedType != type);
    return result;
}

int ZelReadUntilNotMore(ZelContext* context) {
    int result;
    do {
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
