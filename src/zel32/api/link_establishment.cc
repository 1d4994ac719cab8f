#include "zel32/api/link_establishment.h"

#include <cstring>

#include "zel32/api/argument_checks.h"
#include "zel32/api/context_lifecycle.h"
#include "zel32/api/link_table.h"
#include "zel32/api/session_list.h"
#include "zel32/host/local_files.h"
#include "zel32/protocol/configuration.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/send_path.h"
#include "zel32/trace/message_trace.h"
#include "zel32/trace/trace_file.h"
#include "zel32/transport/transport.h"

bool RfaBuildConnectString(const char* node, const char* user, const char* password,
                           char out[kConnectStringSize]) {
    // The transport splits the string at its first two slashes: a slash in
    // the node or the user name would hand the server another user or
    // password than the caller's. One in the password stays in it.
    if (std::strchr(node, '/') != nullptr || std::strchr(user, '/') != nullptr) return false;
    const size_t nodeLength = std::strlen(node);
    const size_t userLength = std::strlen(user);
    // A password travels only behind a user name.
    const size_t passwordLength = userLength == 0 ? 0 : std::strlen(password);
    const size_t total = nodeLength + (userLength == 0 ? 0 : 1 + userLength + 1 + passwordLength);
    if (total >= kConnectStringSize) return false;
    std::memcpy(out, node, nodeLength);
    size_t used = nodeLength;
    if (userLength != 0) {
        out[used++] = '/';
        std::memcpy(out + used, user, userLength);
        used += userLength;
        out[used++] = '/';
        std::memcpy(out + used, password, passwordLength);
        used += passwordLength;
    }
    out[used] = '\0';
    return true;
}

int ZelConfigurationRound(ZelContext* context, bool* arrived) {
    const uint8_t before = context->receivedCount[wire::kConfiguration];
    *arrived = false;
    if (ZelSendMessage(context, wire::kConfiguration) < 0) return -1;
    int result;
    do {
        result = ZelAwaitReply(context, wire::kConfiguration);
    } while (result == 2 && context->lastReceivedType != wire::kConfiguration);
    *arrived = context->receivedCount[wire::kConfiguration] != before;
    return 1;
}

namespace {

// Up to three Configuration messages, the capabilities widened each time the
// peer refuses one (error 20). Every attempt starts with clean error fields,
// so the outcome is that of the last one. An exchange in which no
// Configuration came back fails with the cause of that.
int ExchangeConfiguration(ZelContext* context) {
    for (;;) {
        RfaClearError(context);
        ZelClearFailure(context);
        bool arrived = false;
        if (ZelConfigurationRound(context, &arrived) < 0) {
            ZelRecordFailure(context);
            return -1;
        }
        if (!arrived) ZelRecordFailure(context);
        if (context->link->status.errorCode != RFA_ERR_PROTOCOL) return arrived ? 1 : -1;
        const int attempts = context->sentCount[wire::kConfiguration];
        if (attempts >= 3) {
            context->state = kStateClosing;
            context->sentCount[wire::kConfiguration] = 1;
            return -1;
        }
        // The next attempt reads only the answer to its own Configuration:
        // whatever came in one block with the refused answer (a Status, a
        // malformed or refused Configuration) belongs to that attempt.
        context->blockRemaining = 0;
        ZelRaiseConfigCapabilities(attempts);
    }
}

// Undoes a failed open; the slot stays taken so the caller can read the error.
int32_t AbandonOpen(ZelContext* context, bool connected) {
    const int32_t code = context->link->status.errorCode;
    if (connected) TransportClose(context);
    const uint32_t handle = context->link->handle;
    if (RfaUnregisterContext(context, handle) < 0) return -1;
    if (RfaReleaseContextBuffers(context) < 0) return -1;
    if (RfaReleaseContext(context) < 0) return -1;
    return code;
}

}  // namespace

int32_t RfaOpenLinkWork(RfaOpenLinkParams* params) {
    if (params == nullptr) return RFA_ERR_BAD_ARGUMENT;
    const uint32_t handle = RfaAllocateSlot();
    if (handle == 0) return RFA_ERR_NO_RESOURCES;
    RfaLink* link = RfaLinkAt(handle);
    link->openOption = params->openOption;
    link->renameLocal = (params->openOption & RFA_OPEN_RENAME_TARGET) != 0 ? 1 : 0;
    link->notify = params->notify;
    char connectString[kConnectStringSize];
    // Fields without their NUL, or a connect string too long for its buffer,
    // are refused before anything is sent.
    if (params->notify == nullptr || params->nodeName[0] == '\0' || !RfaFitsField(params->nodeName, kNameSize) ||
        !RfaFitsField(params->userName, kUserFieldSize) || !RfaFitsField(params->password, kUserFieldSize) ||
        !RfaBuildConnectString(params->nodeName, params->userName, params->password, connectString)) {
        RfaFreeSlot(handle);
        return RFA_ERR_BAD_ARGUMENT;
    }
    // Each field holds its NUL (checked above) and is as large as the caller's.
    static_assert(sizeof link->nodeName == sizeof params->nodeName && sizeof link->userName == sizeof params->userName &&
                  sizeof link->password == sizeof params->password);
    std::memcpy(link->nodeName, params->nodeName, sizeof link->nodeName);
    std::memcpy(link->userName, params->userName, sizeof link->userName);
    std::memcpy(link->password, params->password, sizeof link->password);
    params->handle = handle;

    ZelContext* context = RfaRegisterContext(link);
    if (context == nullptr) return -1;
    link->status.transferCount = 0;
    link->status.lastTransferLength = 0;
    context->operation = kOpOpenLink;

    if (TransportConnect(context, connectString) < 0) return AbandonOpen(context, false);
    context->state = kStateConnected;
    if (ExchangeConfiguration(context) < 0) return AbandonOpen(context, true);
    context->lastOperation = kOpOpenLink;
    context->state = kStateOpen;
    // A Sync Error that refused an attempt was answered by the next one: it
    // must not make the link's next operation resynchronise.
    context->statusCode = 0;
    return link->status.errorCode;
}

int ZelCloseLinkHandler(ZelContext* context) {
    context->state = kStateClosing;
    TransportClose(context);
    int result = 1;
    // A failed statistics write or trace close is reported, but the context
    // is still unregistered and released: nothing may refer to it afterwards.
    if (context->traceOn != 0) {
        if (ZelTraceStatistics(context) < 0) {
            result = -1;
            host::CloseFile(context->traceFile);  // the write's error stays recorded
            context->traceOn = 0;
            context->traceFile = 0;
        } else if (ZelStopTrace(context) < 0) {
            result = -1;
        }
    }
    context->state = kStateCreated;
    if (RfaUnregisterContext(context, context->link->handle) < 0) result = -1;
    if (RfaReleaseContextBuffers(context) < 0) result = -1;
    return result;
}
