#include "zel32/api/driver.h"

#include <cstring>

#include "zel32/api/context_lifecycle.h"
#include "zel32/api/handler_table.h"
#include "zel32/api/list_buffer.h"
#include "zel32/api/session_list.h"
#include "zel32/operations/directory_listing.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/transport/transport.h"

void ZelCopyNames(ZelContext* context) {
    const RfaLinkStatus& status = context->link->status;
    // name1 may hold a buffer address instead of a text: copy at most the field.
    std::memcpy(context->name1Copy, status.name1, kTextSize - 1);
    std::memcpy(context->name2Copy, status.name2, kTextSize - 1);
    context->name1Copy[kTextSize - 1] = '\0';
    context->name2Copy[kTextSize - 1] = '\0';
}

namespace {

int RunHandler(ZelContext* context) {
    const ZelHandler handler = ZelHandlerFor(context->operation);
    if (handler == nullptr) {
        RfaSetError(context, RFA_ERR_UNSUPPORTED, 0);
        return -1;
    }
    return handler(context);
}

}  // namespace

void RfaNotifyCaller(ZelContext* context) {
    if (context->operation == kOpAbort) return;
    const RfaLink* link = context->link;
    if (link->notify == nullptr) return;
    uint32_t status = 2;
    if (link->status.errorCode != 0) {
        status = 0;
        if (context->spoolFile == 0) {
            // Blank the caller's list buffer, when one big enough was registered.
            const RfaHeldListBuffer held;
            if (held.info().size >= 3) std::memcpy(held.info().buffer, "  ", 3);
        }
    } else if (context->spoolFile == 0) {
        std::strcpy(context->notifyText, "  ");
    }
    // The procedure may close this link, which frees the context: the text
    // it is handed stays valid for the whole call.
    char text[sizeof context->notifyText];
    std::memcpy(text, context->notifyText, sizeof text);
    link->notify(link->handle, status, context->spoolFile, text);
}


int32_t RfaDriveOperation(uint32_t handle, uint16_t operation) {
    ZelContext* context = RfaFindContext(handle);
    if (context == nullptr) return -1;
    RfaLinkStatus& status = context->link->status;
    if (operation < 1 || operation >= kOperationSlots) {
        RfaSetError(context, RFA_ERR_UNSUPPORTED, 0);
        RfaNotifyCaller(context);
        return RFA_ERR_UNSUPPORTED;
    }
    context->operation = operation;
    RfaClearError(context);
    ZelClearFailure(context);
    context->notifyText[0] = '\0';
    context->spoolFile = 0;
    context->localTargetCreated = false;
    if (context->state != kStateOpen) {
        status.errorCode = RFA_ERR_LOCAL_IO;
        return -1;
    }
    status.transferCount = 0;
    status.lastTransferLength = 0;
    ZelCopyNames(context);
    if (operation == kOpAbort) context->aborting = 1;
    // The rest of a record read in pieces is taken from the last Data
    // received, which any other operation may replace: only Reads, and the
    // Ioctl that receives nothing, keep it.
    if (operation != kOpReadFile && operation != kOpIoctl) context->recordText = ZelRecordText{};

    int result = RunHandler(context);
    // Close Link has released the buffers a resynchronisation would use.
    // A resynchronisation that could not even be sent still leaves its cause
    // (the transport's error) for the caller to read. No notification names
    // the first run's spool file to the caller then: it is removed.
    if (operation != kOpCloseLink && ZelResynchronise(context, &result) < 0) {
        ZelRecordFailure(context);
        ZelDiscardSpool(context);
        return -1;
    }
    // No failed operation returns 0: a failure that recorded no code of its
    // own records its cause (a refused reply, a transport error).
    if (result < 0) {
        ZelRecordFailure(context);
        ZelDropRefusedBlock(context);
    }

    context->statusCode = 0;
    const int32_t code = status.errorCode;
    if (operation == kOpCloseLink) return RfaReleaseContext(context) < 0 ? -1 : code;
    context->lastOperation = operation;
    context->aborting = 0;
    RfaNotifyCaller(context);
    return code;
}
