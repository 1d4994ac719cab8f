#include "zel32/transport/drain_deadline.h"

#include "zel32/protocol/context.h"
#include "zel32/transport/transport.h"
#include "ztsock/ztsock.h"

bool ZelDrainDeadline::Expired(ZelContext* context) {
    // Before the first message nothing has come yet: the transport bounds that wait.
    if (!asked_) {
        asked_ = true;
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!end_) end_ = now + std::chrono::milliseconds(ztsock::ClientReceiveTimeout());
    if (context->blockRemaining > 0 || now < *end_) return false;
    ZelNoteFailure(context, RfaMapTransportError(ztsock::kErrTimedOut), 0, ztsock::kErrTimedOut);
    ztsock::Break(context->connectionId);
    return true;
}
