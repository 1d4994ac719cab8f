#include "zel32/operations/commands.h"

#include <cstring>

#include "zel32/operations/reading_loops.h"
#include "zel32/operations/remote_file.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/description_messages.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/send_path.h"
#include "zel32/transport/drain_deadline.h"
#include "zel32/transport/transport.h"

namespace {

// A command the peer cannot do: error 16, and nothing is sent.
int Unsupported(ZelContext* context) {
    RfaSetError(context, RFA_ERR_UNSUPPORTED, 0);
    return -1;
}

// ---- Delete, Md, Rd, Submit, Rename ----------------------------------------

struct CommandRow {
    RfaOperation operation;
    bool ZelContext::*requiredFlag;  // null: every peer
    bool sendsAttributes;            // an Attributes message before the Access
    bool sendsName;                  // a Name message (the new name) after it
};

constexpr CommandRow kCommands[] = {
    {kOpDelete, nullptr, false, false},
    {kOpMd, nullptr, true, false},
    {kOpRd, nullptr, false, false},
    {kOpSubmit, &ZelContext::peerCanSubmit, false, false},
    {kOpRename, &ZelContext::peerCanRename, false, true},
};

const CommandRow* CommandFor(uint16_t operation) {
    for (const CommandRow& row : kCommands) {
        if (row.operation == operation) return &row;
    }
    return nullptr;
}

int SendRequest(ZelContext* context, const CommandRow& command) {
    // A rename's Name follows its Access, which goes out at once: a Name
    // too long for the peer's buffer is refused first, not after the Access
    // has left the peer waiting for it.
    if (command.sendsName && !ZelMessageFits(context, wire::kName)) return -1;
    // An Attributes goes back out of the block when its Access fails.
    const int sent = command.sendsAttributes ? ZelSendAll(context, {wire::kAttributes, wire::kAccess})
                                             : ZelSendMessage(context, wire::kAccess);
    if (sent < 0) return -1;
    if (command.sendsName && ZelSendMessage(context, wire::kName) < 0) return -1;
    return 1;
}

// ---- Protection ------------------------------------------------------------

constexpr uint8_t kAccessBits = 0x0F;

// Adds what a Protection message says to the caller's record; nothing in
// the record is cleared, access bits are only added.
void MergeProtection(const ZelProtection& received, RfaProtectionRecord* record) {
    if ((received.protMenu & RFA_PROT_OWNER) != 0) {
        record->present |= RFA_PROT_OWNER;
        // The owner (at most 40 characters) ends with a NUL in the record, so
        // that no tail of a longer earlier owner shows behind it. A message
        // whose owner is empty or missing copies nothing and leaves the
        // record's owner as it was.
        if (received.ownerCount > 0) {
            std::memcpy(record->owner, received.owner, received.ownerCount);
            record->owner[received.ownerCount] = '\0';
        }
    }
    for (const ZelProtectionAccessField& merge : kProtectionAccessFields) {
        if ((received.protMenu & merge.bit) == 0) continue;
        record->present |= merge.bit;
        record->*merge.record |= (received.*merge.received)[0] & kAccessBits;
    }
}

// The replies to the Access: descriptive messages until an Acknowledge.
// With a record, each Protection message is merged into it. Bounded as
// ZelReadUntil is.
int ReadDescription(ZelContext* context, RfaProtectionRecord* record) {
    ZelDrainDeadline deadline;
    int result;
    do {
        if (deadline.Expired(context)) return -1;
        result = ZelAwaitReply(context, context->lastSentType);
        if (result == 2 && record != nullptr && context->lastReceivedType == wire::kProtection)
            MergeProtection(context->protection, record);
    } while (result == 2 && context->lastReceivedType != wire::kAcknowledge);
    return result;
}

int ReadProtection(ZelContext* context) {
    if (ZelSendAll(context, {wire::kAttributes, wire::kAccess}) < 0) return -1;
    const int result = ReadDescription(context, context->link->protection);
    if (result == -1) return -1;
    // An Access answered with an Access Complete has ended the access:
    // there is nothing to complete and no second Access Complete to wait for.
    if (result == 1) return 1;
    if (context->lastReceivedType == wire::kAcknowledge && ZelSendMessage(context, wire::kAccessComplete) < 0)
        return -1;
    return ZelAwaitAccessComplete(context) == -1 ? -1 : 1;
}

int SetProtection(ZelContext* context) {
    if (ZelSendAll(context, {wire::kAttributes, wire::kAccess}) < 0) return -1;
    if (ReadDescription(context, nullptr) == -1) return -1;
    const uint32_t saved = context->controlConnect;
    context->controlConnect = 1;
    const int sent = ZelSendMessage(context, wire::kControl);
    context->controlConnect = saved;
    if (sent < 0) return -1;
    if (ZelReadUntil(context, wire::kAcknowledge) == -1) return -1;
    // CMPFUNC 6 behind the Control, the new protection, CMPFUNC 7 behind it.
    if (ZelSendAll(context, {wire::kAccessComplete, wire::kProtection, wire::kAccessComplete}) < 0) return -1;
    return ZelAwaitAccessComplete(context) == -1 ? -1 : 1;
}

}  // namespace

int ZelCommandHandler(ZelContext* context) {
    const CommandRow* command = CommandFor(context->operation);
    if (command == nullptr) return Unsupported(context);
    if (command->requiredFlag != nullptr && !(context->*command->requiredFlag)) return Unsupported(context);
    // A command that finds an abort in progress ends the access instead.
    if (context->aborting != 0) {
        if (ZelSendMessage(context, wire::kAccessComplete) < 0) return -1;
        return ZelAwaitAccessComplete(context) == -1 ? -1 : 1;
    }
    if (SendRequest(context, *command) < 0) return -1;
    return ZelReadUntilNotMore(context) == -1 ? -1 : 1;
}

int ZelPrintHandler(ZelContext* context) {
    if (!context->peerCanPrint) return Unsupported(context);
    if (ZelSendAll(context, {wire::kAttributes, wire::kAccess}) < 0) return -1;
    if (ZelReadUntil(context, wire::kAcknowledge) == -1) return -1;
    // After an Acknowledge (or during an abort) the access is completed;
    // CMPFUNC 1 with the print options, or CMPFUNC 1 alone while aborting.
    if (context->aborting == 0 && context->lastReceivedType != wire::kAcknowledge) return 1;
    if (ZelSendMessage(context, wire::kAccessComplete) < 0) return -1;
    return ZelAwaitAccessComplete(context) == -1 ? -1 : 1;
}

int ZelProtectionHandler(ZelContext* context) {
    const bool setting = context->link->protectionFlag != 0;
    if (!context->peerCanProtection || (setting && !context->peerCanSetProtection)) return Unsupported(context);
    return setting ? SetProtection(context) : ReadProtection(context);
}

int ZelAbortHandler(ZelContext* context) {
    if (ZelSendMessage(context, wire::kAccessComplete) < 0) return -1;
    // Until the peer's Access Complete: Data and Status of the interrupted
    // transfer, and replies that may not come now, are passed over. A failed
    // connection ends the wait, since nothing can arrive any more; every
    // receive is bounded by the transport's timeout, and the whole wait by
    // the drain's deadline.
    ZelDrainDeadline deadline;
    for (;;) {
        ZelClearFailure(context);
        if (deadline.Expired(context)) {
            RfaClearError(context);
            return -1;
        }
        // Cleared first, so that only a message of this call can end the wait.
        context->lastReceivedType = wire::kTypeUnknown;
        const int result = ZelAwaitReply(context, wire::kAccessComplete);
        if (context->lastReceivedType == wire::kAccessComplete) {
            if (result == -1) return -1;
            // The errors of the messages passed over are not the Abort's.
            RfaClearError(context);
            ZelEndFileAccess(context);
            return 1;
        }
        if (result == -1 && ZelConnectionFailed(context)) {
            // Nor are they when the connection has failed: that is the Abort's error.
            RfaClearError(context);
            return -1;
        }
    }
}

int ZelCwdHandler(ZelContext*) { return 1; }
