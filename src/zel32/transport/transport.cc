#include "zel32/transport/transport.h"

#include "zel32/protocol/context.h"
#include "ztsock/ztsock.h"

uint16_t RfaMapTransportError(int errorNumber) {
    switch (errorNumber) {
    case 52: case 53: case 54: return RFA_ERR_NET_RESET;
    case 0: case 13: case 34: case 36: return RFA_ERR_ACCESS_DENIED;
    case 32: case 33: return RFA_ERR_NET_PROTOCOL;
    case 50: return RFA_ERR_NET_NOT_CONNECTED;
    case 2: case 4: case 5: case 10: case 49: return RFA_ERR_NODE_UNKNOWN;
    case 38: case 39: case 51: case 64: return RFA_ERR_UNREACHABLE;
    default: return RFA_ERR_CONNECT_FAILED;
    }
}

int32_t TransportConnect(ZelContext* context, const char* connectString) {
    context->connectionId = kConnectionConnecting;
    int16_t errorNumber = 0;
    const int32_t result = ztsock::Connect(connectString, "#17", &errorNumber);
    if (result < 0) {
        RfaSetError(context, RfaMapTransportError(errorNumber), context->link->status.errorValue);
        context->link->status.errorDetail = errorNumber;
        return -1;
    }
    context->connectionId = static_cast<uint16_t>(result);
    return context->connectionId;
}

namespace {

void NoteTransportFailure(ZelContext* context, int16_t errorNumber) {
    ZelNoteFailure(context, RfaMapTransportError(errorNumber), 0, errorNumber);
}

}  // namespace

int32_t TransportSend(ZelContext* context, const uint8_t* buffer, uint16_t length, bool expedited) {
    int16_t errorNumber = 0;
    const int32_t result = ztsock::Send(context->connectionId, buffer, length, expedited ? 1 : 0, &errorNumber);
    if (result == -1) NoteTransportFailure(context, errorNumber);
    return result;
}

int32_t TransportReceive(ZelContext* context, uint8_t* buffer, uint16_t maximum) {
    int16_t errorNumber = 0;
    const int32_t result = ztsock::Receive(context->connectionId, buffer, maximum, &errorNumber);
    context->blockRemaining = result > 0 ? (result & 0xFFFF) : 0;
    if (result == -1) {
        NoteTransportFailure(context, errorNumber);
        // The transport keeps a connection that has only been silent, but the
        // operation that waited has given up in the middle of its exchange:
        // a reply coming late would be taken for the answer to the next
        // request. The connection is broken, and later calls fail with 2.
        if (errorNumber == ztsock::kErrTimedOut) ztsock::Break(context->connectionId);
        return -1;
    }
    if (result == 0 && ztsock::Query(context->connectionId) == 1) {
        NoteTransportFailure(context, ztsock::kErrConnectionReset);
        return -1;
    }
    return result;
}

int TransportClose(ZelContext* context) {
    int32_t value = -1;
    const int32_t closed = ztsock::Close(context->connectionId, &value);
    context->connectionId = 0;
    return closed != 0 && value != -1 ? 1 : 0;
}

void ZelNoteFailure(ZelContext* context, uint16_t code, int32_t value, int32_t detail) {
    if (ZelConnectionFailed(context)) return;
    context->failure = ZelFailureCause{code, value, detail};
    context->failureRecorded = true;
}

bool ZelConnectionFailed(const ZelContext* context) {
    return context->failureRecorded && context->failure.code != RFA_ERR_PROTOCOL;
}

void ZelRecordFailure(ZelContext* context) {
    RfaLinkStatus& status = context->link->status;
    if (status.errorCode != 0) return;
    if (!context->failureRecorded) {
        RfaSetError(context, RFA_ERR_PROTOCOL, 0);
        return;
    }
    RfaSetError(context, context->failure.code, context->failure.value);
    status.errorDetail = context->failure.detail;
}

void ZelClearFailure(ZelContext* context) {
    context->failure = ZelFailureCause{};
    context->failureRecorded = false;
}
