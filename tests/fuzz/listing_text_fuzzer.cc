// The listing text builder: a directory listing fed arbitrary sequences of
// Name, Attributes, Date and Time, Status, Acknowledge and Access Complete
// replies through the message decoders, into a list buffer of any size
// (none, a few bytes, a page), moving to a spool file when it outgrows it.
//
// Input: byte 0 picks the list buffer's size, byte 1 the listing's options
// (full, the date shown, the peer's file system), byte 2 the length of the
// node name that follows; then replies, each a type byte, a two-byte
// little-endian length and the body.
//
// What must hold after every reply: the buffer, allocated to its exact size,
// is never written past (the address sanitizer checks) and holds a text
// terminated within it; once the listing has moved to its spool file, the
// file begins with the text the buffer kept.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "wire/message_types.h"
#include "zel32.h"
#include "zel32/api/context_lifecycle.h"
#include "zel32/operations/directory_listing.h"
#include "zel32/protocol/accept_table.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/receive_path.h"

namespace {

constexpr uint32_t kBufferSizes[] = {0, 1, 2, 3, 4, 16, 64, 300, 600, 4096};
constexpr uint8_t kReplyTypes[] = {wire::kName,      wire::kName,        wire::kAttributes,     wire::kDateAndTime,
                                   wire::kStatus,    wire::kAcknowledge, wire::kAccessComplete, wire::kName};
constexpr uint8_t kFileSystems[] = {1, 2, 3, 4, 10, 12};

std::string spoolDirectory;

void RemoveSpoolDirectory() { ::rmdir(spoolDirectory.c_str()); }

ZelContext* Context() {
    static RfaLink link{};
    static ZelContext* context = [] {
        link.handle = 1;
        return RfaCreateContext(&link);
    }();
    return context;
}

std::string FileContent(const char* path) {
    std::string content;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return content;
    char chunk[4096];
    ssize_t got;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0) content.append(chunk, static_cast<size_t>(got));
    ::close(fd);
    return content;
}

// The buffer's text ends within it.
void CheckBuffer(const char* buffer, uint32_t size) {
    if (size > 0 && std::memchr(buffer, '\0', size) == nullptr) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Spool files go to a directory of this run, emptied after each input.
    char pattern[] = "/tmp/zel-listing-fuzz-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    spoolDirectory = pattern;
    ::setenv("TMPDIR", pattern, 1);
    std::atexit(RemoveSpoolDirectory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint32_t bufferSize = kBufferSizes[data[0] % (sizeof kBufferSizes / sizeof kBufferSizes[0])];
    std::unique_ptr<char[]> buffer(bufferSize > 0 ? new char[bufferSize] : nullptr);
    if (bufferSize > 0) std::memset(buffer.get(), 'x', bufferSize);
    ZelInit(buffer.get(), bufferSize);

    ZelContext* context = Context();
    RfaLink* link = context->link;
    link->status = RfaLinkStatus{};
    link->dirFlag = data[1] & 0x01;
    context->useCreationDate = (data[1] >> 1) & 0x01;
    context->peerFilesys = kFileSystems[(data[1] >> 2) % sizeof kFileSystems];
    context->peerBlocking = true;
    context->operation = kOpDir;
    context->lastSentType = wire::kAccess;
    context->state = kStateOpen;
    context->connectionId = 0;  // nothing can be sent: a wind-down fails at its first send
    context->aborting = 0;
    context->spoolFile = 0;
    context->notifyText[0] = '\0';
    context->blockRemaining = 0;
    // Nothing of the previous input: each input stands alone.
    context->name = ZelName{};
    context->attributes = ZelAttributes{};
    context->dates = ZelDates{};
    context->statusCode = 0;

    size_t at = 2;
    const size_t nodeLength = data[at] < size - at - 1 ? data[at] : size - at - 1;
    ++at;
    std::memset(link->nodeName, 0, sizeof link->nodeName);
    std::memcpy(link->nodeName, data + at, nodeLength < kNameSize - 1 ? nodeLength : kNameSize - 1);
    at += nodeLength;

    ZelStartListing(context);
    bool ended = false;
    while (!ended && at + 3 <= size) {
        const uint8_t type = kReplyTypes[data[at] % sizeof kReplyTypes];
        size_t length = data[at + 1] | (data[at + 2] << 8);
        at += 3;
        if (length > size - at) length = size - at;
        if (length > kBufferSize) length = kBufferSize;
        std::memcpy(context->receiveBuffer, data + at, length);
        at += length;
        context->messageBody = 0;
        context->readCursor = 0;
        context->lastReceivedType = type;
        // As the handler's wait for a reply: a reply the listing does not
        // take ends it, and so does its Access Complete.
        int decoded = ZelDecodeMessage(context, static_cast<int>(length));
        if (decoded != -1 && (ZelAcceptMask(kOpDir, wire::kAccess) & wire::TypeBit(type)) == 0) decoded = -1;
        if (decoded != -1 && type == wire::kAccessComplete) decoded = 1;
        if (decoded != 2) {
            ZelEndListing(context, decoded == 1);
            ended = true;
        } else if (ZelListReply(context) < 0 && type != wire::kStatus) {
            // (A listed Status line is followed by a Continue Transfer, which
            // cannot go out here: the listing goes on as when it has.)
            ZelEndListing(context, false);
            ended = true;
        }
        CheckBuffer(buffer.get(), bufferSize);
    }
    if (!ended) ZelEndListing(context, true);
    CheckBuffer(buffer.get(), bufferSize);

    if (context->spoolFile != 0) {
        const std::string spooled = FileContent(context->notifyText);
        const size_t kept = bufferSize > 0 ? std::strlen(buffer.get()) : 0;
        if (spooled.compare(0, kept, buffer.get(), kept) != 0) __builtin_trap();
        ::unlink(context->notifyText);
    }
    ZelInit(nullptr, 0);
    return 0;
}
