#include "zel32/protocol/status_message.h"

#include "zel32/protocol/context.h"
#include "zel32/protocol/field_check.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/send_path.h"
#include "zel32/protocol/templates.h"
#include "zel32/trace/message_trace.h"
#include "zel32/transport/transport.h"

namespace {

struct StatusMapping {
    uint8_t maccode;
    uint16_t miccode;
    uint16_t errorCode;
};

constexpr StatusMapping kStatusMappings[] = {
    {4, 0x0A, RFA_ERR_FILE_NOT_FOUND},  {4, 0x20, RFA_ERR_DIR_NOT_FOUND}, {4, 0x25, RFA_ERR_FILE_PROTECTED},
    {4, 0x30, RFA_ERR_FILE_LOCKED},     {4, 0x32, RFA_ERR_FILE_NOT_FOUND}, {4, 0x33, RFA_ERR_FILE_NOT_FOUND},
    {4, 0x48, RFA_ERR_FILE_PROTECTED},  {4, 0x55, RFA_ERR_PRIVILEGE},      {4, 0x97, RFA_ERR_DEVICE_FULL},
    {5, 0x67, RFA_ERR_NO_RESOURCES},
};

constexpr unsigned kMacFileOpen = 4;
constexpr unsigned kMacTransferError = 5;
constexpr uint16_t kMicEndOfFile = 0x27;
constexpr uint16_t kMicLocked = 0x30;
constexpr uint16_t kMicNotFound = 0x32;
constexpr uint16_t kMicPrivilege = 0x55;

// A hostile peer could answer every wind-down with another error status;
// each one nests a wind-down, so the nesting is bounded.
constexpr int kMaxNestedWindDowns = 8;
thread_local int nestedWindDowns = 0;

bool ExpectedHere(const ZelContext* context, unsigned maccode, unsigned miccode) {
    const uint16_t operation = context->operation;
    // The end of file ends a read or a copy; it also comes to a Close of a
    // file closed before its last record was read.
    const bool reading = operation == kOpReadFile || operation == kOpCopy || operation == kOpCloseFile;
    if (reading && maccode == kMacTransferError && miccode == kMicEndOfFile) return true;
    return operation == kOpDir && !ZelListing().noFileYet && maccode == kMacFileOpen &&
           (miccode == kMicLocked || miccode == kMicPrivilege || miccode == kMicNotFound);
}

bool ListingPeerWithoutWindDown(const ZelContext* context) {
    const uint8_t filesys = context->peerFilesys;
    return filesys == 1 || filesys == 3 || filesys == 4;
}

// A listing ends its access with an Access Complete; a "file not found"
// after the first directory line is the normal end of a listing.
int WindDownListing(ZelContext* context, unsigned miccode) {
    // A Status answering the Configuration of a repair: no access is open.
    if (context->lastSentType == wire::kConfiguration) return -1;
    if (ZelListing().noHeaderYet && ListingPeerWithoutWindDown(context)) return -1;
    if (ZelSendMessage(context, wire::kAccessComplete) < 0) return -1;
    ZelAwaitAccessComplete(context);
    if (miccode == kMicNotFound && !ZelListing().noHeaderYet) {
        RfaClearError(context);
        return 1;
    }
    return -1;
}

// A transfer in trouble: the access is wound down.
int WindDownTransfer(ZelContext* context) {
    if (context->lastSentType == wire::kAccess || context->operation == kOpRename) return -1;
    // A Status answering a Configuration (at the open, or when a Sync Error
    // is repaired) comes with no access open: there is nothing to wind down,
    // and a peer that ignores the stray messages would never answer them.
    if (context->lastSentType == wire::kConfiguration) return -1;
    // An Abort has already ended the access with its own Access Complete and
    // drops what the interrupted transfer still sends; a second wind-down
    // would leave an Access Complete too many in the stream.
    if (context->operation == kOpAbort) return -1;
    ZelWindDownAccess(context);
    return -1;
}

}  // namespace

int ZelWindDownAccess(ZelContext* context) {
    context->aborting = 1;
    expeditedSend = 1;
    const int sent = ZelSendMessage(context, wire::kContinueTransfer);
    expeditedSend = 0;
    if (sent < 0) return -1;
    if (ZelSendMessage(context, wire::kAccessComplete) < 0) return -1;
    context->aborting = 0;
    // The peer's Access Complete completes the access, even where the
    // operation's replies do not admit it (a Read's).
    const uint8_t completions = context->receivedCount[wire::kAccessComplete];
    ZelAwaitAccessComplete(context);
    if (context->receivedCount[wire::kAccessComplete] != completions) context->windDownsCompleted += 1;
    return 1;
}

uint16_t ZelErrorCodeForStatus(unsigned maccode, unsigned miccode) {
    for (const StatusMapping& mapping : kStatusMappings) {
        if (mapping.maccode == maccode && mapping.miccode == miccode) return mapping.errorCode;
    }
    return RFA_ERR_PROTOCOL;
}

bool ZelStatusSaysFileNotFound(uint16_t status) {
    return ZelMaccode(status) == kMacFileOpen && ZelMiccode(status) == kMicNotFound;
}

int ZelDecodeStatus(ZelContext* context, wire::Reader& body) {
    ZelStatusFields& fields = context->statusFields;
    fields.rfaCount = fields.recnumCount = fields.stvCount = fields.stxCount = 0;
    context->statusCode = 0;  // a body too short for a status leaves none behind
    uint16_t status = 0;
    if (!body.TakeU16(&status)) return ZelUnexpectedMessage(context);
    context->statusCode = status;
    context->link->status.errorValue = status;
    const unsigned maccode = ZelMaccode(status);
    const unsigned miccode = ZelMiccode(status);
    if (context->traceOn != 0 && ZelTraceStatus(context, maccode, miccode) < 0) return -1;

    if (!body.empty() && !ZelTakeImage(context, body, 8, fields.rfa, sizeof fields.rfa, &fields.rfaCount)) return -1;
    if (!body.empty() && !ZelTakeImage(context, body, 8, fields.recnum, sizeof fields.recnum, &fields.recnumCount))
        return -1;
    if (!body.empty() && !ZelTakeImage(context, body, 8, fields.stv, sizeof fields.stv, &fields.stvCount)) return -1;
    if (!body.empty() && !ZelTakeImage(context, body, 255, fields.stx, sizeof fields.stx - 1, &fields.stxCount))
        return -1;
    fields.stx[fields.stxCount] = '\0';

    const int32_t value = static_cast<int32_t>((maccode << 16) | miccode);
    if (maccode == kMacSyncError) {
        // Left for the driver's resynchronisation; should it not repair the
        // link, the operation fails with this status.
        ZelNoteFailure(context, RFA_ERR_PROTOCOL, value, 0);
        return -1;
    }
    if (ExpectedHere(context, maccode, miccode)) return 1;
    RfaSetError(context, ZelErrorCodeForStatus(maccode, miccode), value);

    if (nestedWindDowns >= kMaxNestedWindDowns) return -1;
    ++nestedWindDowns;
    const int result = context->operation == kOpDir ? WindDownListing(context, miccode) : WindDownTransfer(context);
    --nestedWindDowns;
    return result;
}
