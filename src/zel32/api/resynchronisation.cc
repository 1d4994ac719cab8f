#include "zel32/api/driver.h"
#include "zel32/api/handler_table.h"
#include "zel32/api/link_establishment.h"
#include "zel32/operations/remote_file.h"
#include "zel32/protocol/context.h"
#include "zel32/transport/transport.h"

namespace {

constexpr unsigned kSyncError = 10;

}  // namespace

int ZelResynchronise(ZelContext* context, int* result) {
    if ((context->statusCode >> 12) != kSyncError || context->aborting != 0) return 1;
    RfaLinkStatus& status = context->link->status;
    RfaClearError(context);
    ZelClearFailure(context);
    status.transferCount = 0;
    status.lastTransferLength = 0;
    ZelCopyNames(context);
    context->statusCode = 0;

    // Of this exchange only the connection counts: what the peer answered
    // (a peer still lacking a capability records 1) is cleared, so that the
    // second run alone decides the result. A connection that failed during
    // it (no answer in time, a peer that closed or reset it) carries no
    // second run: the operation fails with that cause, not with what a run
    // on the broken link would meet.
    bool arrived = false;
    if (ZelConfigurationRound(context, &arrived) < 0) return -1;
    if (ZelConnectionFailed(context)) {
        *result = -1;
        return 1;
    }
    RfaClearError(context);
    ZelClearFailure(context);

    // The Configuration made the peer start afresh, without the access it
    // held. The Read that met the Sync Error asks for its records anew;
    // after anything else the open file's access is over.
    if (context->operation == kOpReadFile) {
        ZelRestartRecordStream(context);
    } else {
        ZelLoseFileAccess(context);
    }

    // One more run, and no further resynchronisation whatever it brings.
    const ZelHandler handler = ZelHandlerFor(context->operation);
    if (handler == nullptr) {
        RfaSetError(context, RFA_ERR_UNSUPPORTED, 0);
        *result = -1;
    } else {
        *result = handler(context);
    }
    // A second Sync Error: the peer holds no access, whatever the run had begun.
    if (*result < 0 && (context->statusCode >> 12) == kSyncError) ZelLoseFileAccess(context);
    return 1;
}
