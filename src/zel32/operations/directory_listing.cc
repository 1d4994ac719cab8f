#include "zel32/operations/directory_listing.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "zel32/api/list_buffer.h"
#include "zel32/host/local_files.h"
#include "zel32/host/temp_names.h"
#include "zel32/host/text.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/send_path.h"
#include "zel32/protocol/status_message.h"
#include "zel32/protocol/templates.h"
#include "zel32/transport/local_file.h"

namespace {

constexpr size_t kItemSize = 512;    // one item of the listing: 511 characters and a NUL
constexpr size_t kHeaderSize = 256;  // the saved header line: 255 characters and a NUL
constexpr char kSpoolPrefix[] = "QRX";

constexpr uint8_t kNameVolume = 0x08;
constexpr uint8_t kNameDirectory = 0x04;
constexpr uint8_t kNameFile = 0x02;
constexpr uint8_t kFopDirectory = 0x20;

// The listing state besides the flags the Status decoder reads: the last
// header line written, where the next text goes in the list buffer, which
// buffer the text so far is in, and the error of a failed emit, put aside
// while the peer's replies are still taken.
struct ListingText {
    char header[kHeaderSize];
    size_t cursor;
    RfaListBufferInfo buffer;
    bool emitFailed;
    uint16_t failedCode;
    int32_t failedValue;
};

thread_local ListingText listingText{};

// A text built in a fixed area and cut, never overrun, when its parts are
// too long: each part may keep room for the parts that must follow it.
class BoundedText {
public:
    BoundedText(char* area, size_t size) : area_(area), size_(size) { area_[0] = '\0'; }

    // Appends up to `length` characters, leaving room for `reserve` more.
    void Append(const char* text, size_t length, size_t reserve = 0) {
        const size_t room = Room(reserve);
        if (length > room) length = room;
        std::memcpy(area_ + length_, text, length);
        length_ += length;
        area_[length_] = '\0';
    }
    void Append(const char* text) { Append(text, std::strlen(text)); }

    // Appends a name with every apostrophe doubled, cut before a character
    // (or a doubled apostrophe) that would not leave room for `reserve`.
    void AppendDoubled(const char* text, size_t length, size_t reserve) {
        for (size_t i = 0; i < length; ++i) {
            const size_t needed = text[i] == '\'' ? 2 : 1;
            if (needed > Room(reserve)) break;
            area_[length_++] = text[i];
            if (needed == 2) area_[length_++] = '\'';
        }
        area_[length_] = '\0';
    }

    const char* text() const { return area_; }
    size_t length() const { return length_; }

private:
    size_t Room(size_t reserve) const {
        const size_t free = size_ - 1 - length_;
        return free > reserve ? free - reserve : 0;
    }

    char* area_;
    size_t size_;
    size_t length_ = 0;
};

// Whether the text written so far is still in `list`: a ZelInit on another
// thread may have replaced the buffer (and the old one may be gone), and
// the listing cannot go on where it was. It fails with 1, as when the text
// cannot be kept.
bool TextStillIn(ZelContext* context, const RfaListBufferInfo& list) {
    if (listingText.cursor == 0 ||
        (list.buffer == listingText.buffer.buffer && list.size == listingText.buffer.size))
        return true;
    RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
    return false;
}

size_t NameLength(const ZelContext* context) {
    return strnlen(context->name.name, context->name.nameCount);
}

// Closes the spool file when the listing ends. After a failure the failure's
// error is kept; after success a failed close is the listing's error.
int CloseSpool(ZelContext* context, bool succeeded) {
    if (context->spooling == 0) return 1;
    context->spooling = 0;
    if (succeeded) return RfaCloseLocalFile(context, context->spoolFile);
    host::CloseFile(context->spoolFile);
    return 1;
}

// The listing outgrew the buffer: a new spool file takes what the buffer
// holds and then the text that did not fit. The spool file's handle stays
// in the context (the driver passes it to the caller), and its name goes to
// the notification text.
int MoveToSpool(ZelContext* context, const RfaListBufferInfo& list, const char* text, size_t length) {
    char directory[kTextSize];
    char name[kTextSize];
    intptr_t file = -1;
    // No temporary directory or name to be had is error 7, as for a spool
    // file that cannot be created: the caller learns why the listing failed.
    if (!host::TempDirectory(directory, sizeof directory) ||
        (file = host::CreateTempFile(directory, kSpoolPrefix, name, sizeof name)) < 0) {
        RfaSetError(context, RFA_ERR_FILE_NOT_FOUND, 0);
        return -1;
    }
    context->spoolFile = file;
    context->spooling = 1;  // from here on, every end of the listing closes the file
    std::memcpy(context->notifyText, name, std::strlen(name) + 1);  // both kTextSize bytes
    if (listingText.cursor > 0 &&
        RfaWriteLocalFile(context, file, list.buffer, static_cast<uint32_t>(listingText.cursor)) < 0)
        return -1;
    if (RfaWriteLocalFile(context, file, text, static_cast<uint32_t>(length)) < 0) return -1;
    context->listOverflow = 0;
    return 1;
}

void Emit(ZelContext* context, const BoundedText& item) { ZelListEmit(context, item.text(), item.length()); }

// ---- The items of each message ---------------------------------------------

// "Directory NODE::VOLUME", also kept as the header of later directory lines.
void EmitVolume(ZelContext* context) {
    RfaLink* link = context->link;
    host::UpperCaseInPlace(link->nodeName);
    BoundedText header(listingText.header, sizeof listingText.header);
    header.Append("Directory ");
    header.Append(link->nodeName, strnlen(link->nodeName, sizeof link->nodeName));
    header.Append("::");
    header.Append(context->name.name, NameLength(context));
    Emit(context, header);
}

// The directory's line: alone under the first header, else after a blank
// line with the saved header in front. The line ends are never cut off.
void EmitDirectory(ZelContext* context) {
    static constexpr char kLineEnds[] = "\r\n\r\n";
    constexpr size_t kLineEndsLength = sizeof kLineEnds - 1;
    char area[kItemSize];
    BoundedText item(area, sizeof area);
    if (!ZelListing().noHeaderYet) {
        item.Append("\r\n");
        item.Append(listingText.header, std::strlen(listingText.header), kLineEndsLength);
    }
    item.Append(context->name.name, NameLength(context), kLineEndsLength);
    item.Append(kLineEnds);
    ZelListing().noHeaderYet = false;
    Emit(context, item);
}

// The file's name quoted, apostrophes doubled, and one space.
void EmitFileName(ZelContext* context) {
    const size_t length = NameLength(context);
    ZelListingFlags& flags = ZelListing();
    if (flags.noFileYet) flags.noFileYet = std::memchr(context->name.name, '*', length) != nullptr;
    static constexpr char kClosing[] = "' ";
    constexpr size_t kClosingLength = sizeof kClosing - 1;
    char area[kItemSize];
    BoundedText item(area, sizeof area);
    item.Append("'");
    item.AppendDoubled(context->name.name, length, kClosingLength);
    item.Append(kClosing);
    Emit(context, item);
}

int ListName(ZelContext* context) {
    const uint8_t type = context->name.nameType;
    if ((type & kNameVolume) != 0) EmitVolume(context);
    if ((type & kNameDirectory) != 0) EmitDirectory(context);
    if ((type & kNameFile) != 0) EmitFileName(context);
    return 1;
}

bool PeerNamesDirectories(const ZelContext* context) {
    const uint8_t filesys = context->peerFilesys;
    return filesys == 1 || filesys == 3 || filesys == 4;
}

void EmitText(ZelContext* context, const char* text) { ZelListEmit(context, text, std::strlen(text)); }

// The size: " -D<blocks> " for a directory, " -F<blocks> " for a file.
int ListAttributes(ZelContext* context) {
    const bool full = context->link->dirFlag != 0;
    const bool fopDirectory = (context->attributes.fop[0] & kFopDirectory) != 0;
    bool directory = fopDirectory;
    bool sizeShown = true;
    if (full) {
        if (PeerNamesDirectories(context))
            directory = std::strstr(context->name.name, ".DIR") != nullptr;
    } else if (context->peerFilesys == 3) {
        sizeShown = false;
    }
    if (sizeShown) {
        // A message without EBK shows 0, never the count of an earlier file.
        const uint32_t blocks = context->attributes.ebkCount != 0 ? context->attributes.ebk : 0;
        char area[32];
        const int length = std::snprintf(area, sizeof area, directory ? " -D%" PRIu32 " " : " -F%" PRIu32 " ", blocks);
        ZelListEmit(context, area, static_cast<size_t>(length));
    }
    if (!full) EmitText(context, "\r\n");
    return 1;
}

// The date of a full listing: the creation date, or the revision date when
// the caller chose it, and a blank line after the entry.
int ListDates(ZelContext* context) {
    if (context->link->dirFlag == 0) return 1;
    const char* date = context->useCreationDate != 0 ? context->dates.cdt : context->dates.rdt;
    char area[kItemSize];
    BoundedText item(area, sizeof area);
    item.Append(" ");
    item.Append(date, strnlen(date, kDateTextSize));
    item.Append("\r\n");
    Emit(context, item);
    EmitText(context, "\r\n");
    return 1;
}

struct ErrorLine {
    uint16_t miccode;
    const char* text;
};

constexpr ErrorLine kErrorLines[] = {
    {85, "    -ERRORINZEL privilege violation\r\n"},
    {48, "    -ERRORINZEL file locked by another user\r\n"},
    {50, "    -ERRORINZEL file not found\r\n"},
};
constexpr const char* kOtherErrorLine = "    -ERRORINZEL error on attribute read\r\n";

// A status the listing goes on after: a line under the file, then a
// Continue Transfer so that the peer goes on with the next file.
int ListStatus(ZelContext* context) {
    if (ZelListing().noFileYet) return -1;
    const unsigned miccode = ZelMiccode(context->statusCode);
    const char* line = kOtherErrorLine;
    for (const ErrorLine& row : kErrorLines) {
        if (row.miccode == miccode) line = row.text;
    }
    EmitText(context, line);
    return ZelSendMessage(context, wire::kContinueTransfer);
}

}  // namespace

int ZelListReply(ZelContext* context) {
    switch (context->lastReceivedType) {
    case wire::kName: return ListName(context);
    case wire::kAttributes: return ListAttributes(context);
    case wire::kDateAndTime: return ListDates(context);
    case wire::kStatus: return ListStatus(context);
    default: return 1;
    }
}

void ZelDiscardSpool(ZelContext* context) {
    if (context->spoolFile != 0) {
        if (context->spooling != 0) host::CloseFile(context->spoolFile);
        (void)std::remove(context->notifyText);  // gone already is as good
        context->spoolFile = 0;
        context->notifyText[0] = '\0';
    }
    context->spooling = 0;
}

void ZelStartListing(ZelContext* context) {
    ZelListing() = ZelListingFlags{true, true};
    // A listing run again after a resynchronisation starts over: the spool
    // file of the first run, partial and closed when that run failed, is
    // removed, so that the caller is never handed it.
    ZelDiscardSpool(context);
    context->listOverflow = 0;
    context->listLength = 0;
    const RfaHeldListBuffer held;
    if (held.info().size > 0) held.info().buffer[0] = '\0';
    listingText.cursor = 0;
    // A directory line of this listing never shows the header of an earlier one.
    listingText.header[0] = '\0';
    listingText.emitFailed = false;
}

int ZelEndListing(ZelContext* context, bool succeeded) {
    context->listLength = 0;
    if (succeeded && listingText.emitFailed) {
        // The peer's statuses since have left their values: the caller
        // learns the emit's own.
        RfaSetError(context, listingText.failedCode, listingText.failedValue);
        succeeded = false;
    }
    if (CloseSpool(context, succeeded) < 0) return -1;
    return succeeded ? 1 : -1;
}

namespace {

int PlaceText(ZelContext* context, const char* text, size_t length) {
    if (context->spooling != 0)
        return RfaWriteLocalFile(context, context->spoolFile, text, static_cast<uint32_t>(length)) < 0 ? -1 : 1;
    const RfaHeldListBuffer held;
    const RfaListBufferInfo& list = held.info();
    if (!TextStillIn(context, list)) return -1;
    // Compared in 64 bits: a buffer of nearly 4 GiB must not see the
    // length wrap round and take text past its end.
    const uint64_t total = uint64_t{context->listLength} + length;
    context->listLength = static_cast<uint32_t>(total);
    if (total >= list.size) context->listOverflow = 1;
    if (context->listOverflow != 0) return MoveToSpool(context, list, text, length);
    // listLength < size: the text and its NUL fit behind the cursor.
    std::memcpy(list.buffer + listingText.cursor, text, length);
    listingText.cursor += length;
    listingText.buffer = list;
    list.buffer[listingText.cursor] = '\0';
    return 1;
}

}  // namespace

void ZelListEmit(ZelContext* context, const char* text, size_t length) {
    if (listingText.emitFailed || PlaceText(context, text, length) > 0) return;
    // The peer goes on sending the listing whatever happens here: its replies
    // are still taken and answered, their text dropped, so that none is left
    // for the next operation. The error waits for the end of the listing; a
    // failure of the exchange itself records its own cause meanwhile.
    listingText.emitFailed = true;
    listingText.failedCode = context->link->status.errorCode;
    listingText.failedValue = context->link->status.errorValue;
    RfaClearError(context);
}

int ZelDirHandler(ZelContext* context) {
    ZelStartListing(context);
    if (ZelSendMessage(context, wire::kAccess) < 0) return -1;
    for (;;) {
        const int result = ZelAwaitReply(context, context->lastSentType);
        if (result != 2) return ZelEndListing(context, result == 1);
        if (context->aborting != 0) {
            if (ZelSendMessage(context, wire::kAccessComplete) < 0) return ZelEndListing(context, false);
            continue;
        }
        if (ZelListReply(context) < 0) return ZelEndListing(context, false);
    }
}
