#include "zel32/transport/drain_deadline.h"

#include "zel32/transport/transport.h"
#include "ztsock/ztsock.h"

ZelDrainDeadline::ZelDrainDeadline()
    : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(ztsock::ClientReceiveTimeout())) {}

bool ZelDrainDeadline::Expired(ZelContext* context) const {
    if (std::chrono::steady_clock::now() < end_) return false;
    ZelNoteFailure(context, RfaMapTransportError(ztsock::kErrTimedOut), 0, ztsock::kErrTimedOut);
    return true;
}
