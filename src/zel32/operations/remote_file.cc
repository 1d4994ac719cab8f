#include "zel32/operations/remote_file.h"

#include <algorithm>
#include <cstring>

#include "wire/record_format.h"
#include "zel32/operations/reading_loops.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/data_message.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/send_path.h"
#include "zel32/protocol/status_message.h"
#include "zel32/protocol/templates.h"
#include "zel32/transport/drain_deadline.h"

namespace {

using namespace wire;

constexpr uint8_t kPrintCharacter = 0x80;  // a print postfix that stands for one character
constexpr uint8_t kPrintUpperSet = 0x40;

// The Status value of the end of file (MACCODE 5, MICCODE 0x27).
constexpr int32_t kEndOfFileStatus = 0x5027;

// Every Open starts a new access: nothing of the previous file's record
// stream, read or written, carries over to it.
void ForgetFileAccess(ZelContext* context) {
    ZelRestartRecordStream(context);
    context->fileAccess = kFileAccessOpen;
}

// The text a Read gives for the record just received: the print prefix as
// line feeds, the data up to its first NUL, the print postfix character and
// the implied line end.
void ComposeRecordText(ZelContext* context) {
    ZelRecordText& text = context->recordText;
    text = ZelRecordText{};
    const uint8_t rat = context->attributes.rat[0];
    const bool print = (rat & kRatPrintFormat) != 0;
    if (print) text.lineFeeds = context->printPrefix;  // 1 to 255, whatever its bit 0x80
    if (context->recordLength > 0)
        text.dataLength = static_cast<uint32_t>(
            strnlen(reinterpret_cast<const char*>(context->recordData), context->recordLength));
    const uint8_t postfix = context->printPostfix;
    if (print && (postfix & kPrintCharacter) != 0) {
        const uint8_t character = (postfix & kPrintUpperSet) != 0 ? postfix & 0x9F : postfix & 0x1F;
        // Appending a NUL to a text adds nothing to it.
        if (character != 0) text.closing[text.closingLength++] = character;
    }
    if (ZelTextTransfer(context) && (rat & kRatImpliedLineEnd) != 0 && !ZelStreamPeer(context)) {
        text.closing[text.closingLength++] = '\r';
        text.closing[text.closingLength++] = '\n';
    }
    text.length = text.lineFeeds + text.dataLength + text.closingLength;
}

// Copies the next at most `room` characters of the pending record text to
// `out` with a NUL behind them; the text stays pending until all of it has
// been handed out. Returns the characters copied.
uint16_t TakeRecordText(ZelContext* context, char* out, size_t room) {
    ZelRecordText& text = context->recordText;
    size_t copied = 0;
    while (copied < room && text.returned < text.length) {
        const uint32_t at = text.returned;
        const size_t wanted = room - copied;
        size_t count;
        if (at < text.lineFeeds) {
            count = std::min<size_t>(wanted, text.lineFeeds - at);
            std::memset(out + copied, '\n', count);
        } else if (at < text.lineFeeds + text.dataLength) {
            const uint32_t offset = at - text.lineFeeds;
            count = std::min<size_t>(wanted, text.dataLength - offset);
            std::memcpy(out + copied, context->recordData + offset, count);
        } else {
            const uint32_t offset = at - text.lineFeeds - text.dataLength;
            count = std::min<size_t>(wanted, text.closingLength - offset);
            std::memcpy(out + copied, text.closing + offset, count);
        }
        copied += count;
        text.returned += static_cast<uint32_t>(count);
    }
    out[copied] = '\0';
    // A buffer with room for the NUL alone can take none of the text: the
    // record is skipped rather than kept forever.
    if (text.returned >= text.length || room == 0) text = ZelRecordText{};
    return static_cast<uint16_t>(copied);
}

// An access already ended (by an error Status's wind-down or an Abort) has
// nothing more to read or write: the Read or Write fails again with the
// error kept for it.
bool FailEndedAccess(ZelContext* context) {
    if (context->fileAccess != kFileAccessEnded) return false;
    RfaSetError(context, context->fileErrorCode, context->fileErrorValue);
    return true;
}

}  // namespace

void ZelEndFileAccess(ZelContext* context) {
    context->fileAccess = kFileAccessEnded;
    context->fileRecordsWritten = false;
    context->fileErrorCode = RFA_ERR_PROTOCOL;
    context->fileErrorValue = 0;
    context->recordText = ZelRecordText{};
}

void ZelLoseFileAccess(ZelContext* context) {
    const bool wrote = context->fileRecordsWritten;
    ZelEndFileAccess(context);
    context->fileRecordsWritten = wrote;
}

void ZelRestartRecordStream(ZelContext* context) {
    context->readStarted = 0;
    context->writeStarted = 0;
    context->recordText = ZelRecordText{};
}

namespace {

int OpenFile(ZelContext* context) {
    if (ZelSendAll(context, {kAttributes, kAccess}) < 0) return -1;
    // Whatever ends the wait short of a failure, the connecting Control follows.
    if (ZelReadUntil(context, kAcknowledge) < 0) return -1;
    // controlConnect is set for this one send only, also when it fails, so
    // that no later Control goes out as a connecting one.
    context->controlConnect = 1;
    const int sent = ZelSendMessage(context, kControl);
    context->controlConnect = 0;
    if (sent < 0) return -1;
    return ZelReadUntil(context, kAcknowledge) < 0 ? -1 : 1;
}

}  // namespace

int ZelOpenFileHandler(ZelContext* context) {
    ForgetFileAccess(context);
    context->fileRecordsWritten = false;
    // A file that did not open has no access for a Read or Write to use:
    // they fail at once rather than send a record stream the peer must
    // refuse (records written behind a refused Control would be lost
    // without a word until the Close).
    if (OpenFile(context) < 0) {
        ZelEndFileAccess(context);
        return -1;
    }
    return 1;
}

int ZelReadFileHandler(ZelContext* context) {
    RfaLink* link = context->link;
    char* buffer = RfaIoBuffer(link);
    *link->ioResult = 0;
    buffer[0] = '\0';
    // The caller's buffer holds ioLength bytes, the NUL included.
    const size_t room = link->ioLength - 1u;
    // The rest of a record that did not fit comes before the next record.
    if (context->recordText.length != 0) {
        *link->ioResult = TakeRecordText(context, buffer, room);
        return 1;
    }
    // After the end of file, or once an error Status or an Abort ended the
    // access, no message will come: past the end of file the Read returns no
    // text at once and shows the end-of-file status again; after an error or
    // an Abort it fails, so that a reading loop cannot take it for an empty
    // record and go on for ever.
    if (context->fileAccess == kFileAccessAtEnd) {
        link->status.errorValue = kEndOfFileStatus;
        return 1;
    }
    if (FailEndedAccess(context)) return -1;
    if (context->readStarted == 0) {
        if (ZelSendMessage(context, kControl) < 0) return -1;
        context->readStarted = 1;
    }
    // Only the Control's one Acknowledge may come before the record: a peer
    // sending Acknowledges for ever is cut off as a reading loop cuts off
    // endless replies.
    ZelDrainDeadline deadline;
    for (;;) {
        if (deadline.Expired(context)) return -1;
        // An error Status winds the access down; only when the peer has
        // completed that is the access over. A Status that could not be
        // decoded, or a wind-down that failed, leaves it to the Close.
        const uint32_t windDownsBefore = context->windDownsCompleted;
        if (ZelAwaitReply(context, context->lastSentType) < 0) {
            // An Access Complete in place of a record ends the access too:
            // the peer has closed it, and nothing more will come.
            const bool peerEnded = context->lastReceivedType == kAccessComplete;
            if (context->windDownsCompleted != windDownsBefore || peerEnded) {
                context->fileAccess = kFileAccessEnded;
                context->fileErrorCode = link->status.errorCode != 0 ? link->status.errorCode : RFA_ERR_PROTOCOL;
                context->fileErrorValue = link->status.errorValue;
            }
            return -1;
        }
        if (context->lastReceivedType == kStatus) {  // the end of file
            context->fileAccess = kFileAccessAtEnd;
            return 1;
        }
        if (context->lastReceivedType == kData) break;
    }
    ComposeRecordText(context);
    *link->ioResult = TakeRecordText(context, buffer, room);
    return 1;
}

// Each Write sends the caller's record as one Data message behind the
// Control that the first Write of the file sends. No reply is read: the
// records stream to the peer, which appends them to the file, and an error
// it reports about them comes at Close.
int ZelWriteFileHandler(ZelContext* context) {
    RfaLink* link = context->link;
    *link->ioResult = 0;
    const size_t length = link->ioLength;
    // A record must fit one Data message in one block.
    if (length + kDataMessageOverhead > context->bufferSize) {
        RfaSetError(context, RFA_ERR_RECORD_SIZE, 0);
        return -1;
    }
    if (FailEndedAccess(context)) return -1;
    if (context->writeStarted == 0) {
        if (ZelSendMessage(context, kControl) < 0) return -1;
        context->writeStarted = 1;
    }
    std::memcpy(context->workBuffer, RfaIoBuffer(link), length);
    context->workLength = static_cast<int32_t>(length);
    const int sent = ZelSendMessage(context, kData);
    context->workLength = 0;
    if (sent < 0) return -1;
    context->fileRecordsWritten = true;
    *link->ioResult = static_cast<uint16_t>(length);
    return 1;
}

int ZelCloseFileHandler(ZelContext* context) {
    const uint8_t access = context->fileAccess;
    const bool streamRunning = context->readStarted != 0 && access == kFileAccessOpen;
    ForgetFileAccess(context);
    // The wind-down of an error Status, or an Abort, has completed the access
    // already; a Sync Error's repair dropped it, with any records written.
    if (access == kFileAccessEnded) {
        if (!context->fileRecordsWritten) return 1;
        context->fileRecordsWritten = false;
        RfaSetError(context, RFA_ERR_PROTOCOL, 0);
        return -1;
    }
    // Records still streaming to a Read: only their end-of-file Status may
    // come now (a Data message fails the Close). Without a Read's Control,
    // or after the end of file, no Status will come and none is awaited.
    if (streamRunning && context->lastReceivedType != kStatus) {
        do {
            if (ZelAwaitReply(context, context->lastSentType) < 0) return -1;
        } while (context->lastReceivedType != kStatus);
    }
    if (ZelSendMessage(context, kAccessComplete) < 0) return -1;
    if (ZelAwaitAccessComplete(context) < 0) return -1;
    context->fileRecordsWritten = false;
    return 1;
}
