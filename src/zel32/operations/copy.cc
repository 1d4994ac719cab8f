#include "zel32/operations/copy.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "zel32/host/file_times.h"
#include "zel32/host/local_files.h"
#include "zel32/operations/copy_progress.h"
#include "zel32/operations/reading_loops.h"
#include "zel32/operations/record_conversion.h"
#include "zel32/operations/remote_file.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/data_message.h"
#include "zel32/protocol/description_messages.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/send_path.h"
#include "zel32/protocol/status_message.h"
#include "zel32/transport/drain_deadline.h"
#include "zel32/transport/local_file.h"
#include "zel32/transport/transport.h"

namespace {

using namespace wire;

// Candidate names run from NAME.1 to NAME.998.
constexpr int kHighestCandidate = 998;

// ---- Names -----------------------------------------------------------------

// Where the file part of a remote name begins: behind the end of its
// bracketed directory, the last "]" or ">" ([A.B]F, <A.B>F), or when it has
// none behind its last "/".
size_t RemoteDirectoryLength(const char* name) {
    const char* square = std::strrchr(name, ']');
    const char* angle = std::strrchr(name, '>');
    const char* end = square == nullptr || (angle != nullptr && angle > square) ? angle : square;
    if (end == nullptr) end = std::strrchr(name, '/');
    return end == nullptr ? 0 : static_cast<size_t>(end - name) + 1;
}

// Where the file name of a local path begins: behind its last "/".
size_t LocalDirectoryLength(const char* name) {
    const char* end = std::strrchr(name, '/');
    return end == nullptr ? 0 : static_cast<size_t>(end - name) + 1;
}

// Candidate `number` for `name`: the name cut after the first "." of its
// file part (behind `directoryLength`), or with a "." appended when that
// has none, then the number. False when it would not fit a name field.
bool BuildCandidate(const char* name, size_t directoryLength, int number, char (&out)[kNameSize]) {
    const char* dot = std::strchr(name + directoryLength, '.');
    const size_t stem = dot != nullptr ? static_cast<size_t>(dot - name) : std::strlen(name);
    const int written = std::snprintf(out, sizeof out, "%.*s.%d", static_cast<int>(stem), name, number);
    return written > 0 && static_cast<size_t>(written) < sizeof out;
}

void SwapNames(RfaLink* link) {
    char held[kNameSize];
    std::memcpy(held, link->status.name1, kNameSize);
    std::memcpy(link->status.name1, link->status.name2, kNameSize);
    std::memcpy(link->status.name2, held, kNameSize);
}

// ---- Local files -----------------------------------------------------------

// Closes the copy's local file on every way out of the copy that has not
// closed it itself; such a close records nothing, so the error that ended
// the copy stays.
class LocalFileGuard {
public:
    explicit LocalFileGuard(intptr_t* file) : file_(file) {}
    ~LocalFileGuard() {
        if (*file_ > 0) host::CloseFile(*file_);
        *file_ = 0;
    }
    LocalFileGuard(const LocalFileGuard&) = delete;
    LocalFileGuard& operator=(const LocalFileGuard&) = delete;

private:
    intptr_t* file_;
};

// Closes the local file and forgets it: 1, or -1 with error 1.
int CloseLocal(ZelContext* context, intptr_t* file) {
    const intptr_t handle = *file;
    *file = 0;
    return RfaCloseLocalFile(context, handle);
}

void RecordLocalSize(ZelContext* context, intptr_t file) {
    const int64_t size = host::FileSize(file);
    if (size >= 0) ZelSetLocalSize(context, static_cast<uint64_t>(size));
}

// ---- The exchange ----------------------------------------------------------

// After the Access: the peer's Acknowledge, then the connecting Control and
// its Acknowledge. 1 when the record stream is connected; 0 when the peer
// ended the access instead (an Access Complete), which ends the copy in
// success with nothing transferred; -1 on failure.
int ConnectRecordStream(ZelContext* context) {
    if (ZelReadUntil(context, kAcknowledge) < 0) return -1;
    if (context->lastReceivedType != kAcknowledge) return 0;
    context->controlConnect = 1;
    const int sent = ZelSendMessage(context, kControl);
    context->controlConnect = 0;
    if (sent < 0) return -1;
    int result;
    do {
        result = ZelAwaitReply(context, context->lastSentType);
        if (result < 0) return -1;
        // Records (or their end) come only after the Control that starts
        // the data phase: passed over here, they would be lost while the
        // copy went on to succeed. The access is wound down.
        if (context->lastReceivedType == kData || context->lastReceivedType == kStatus) {
            ZelNoteFailure(context, RFA_ERR_PROTOCOL, 0, 0);
            ZelWindDownAccess(context);
            return -1;
        }
    } while (result == 2 && context->lastReceivedType != kAcknowledge);
    return context->lastReceivedType == kAcknowledge ? 1 : 0;
}

int EndAccess(ZelContext* context) {
    if (ZelSendMessage(context, kAccessComplete) < 0) return -1;
    return ZelAwaitAccessComplete(context) < 0 ? -1 : 1;
}

// Opens the local target of a download, under a free name when existing
// files are to be kept (the one a first run chose, in a second run). 0 when
// there is none (error 7 recorded).
intptr_t OpenLocalTarget(ZelContext* context) {
    RfaLink* link = context->link;
    const intptr_t file = link->renameLocal != 0 && !context->localTargetCreated
                              ? ZelCreateUniqueLocalFile(context)
                              : RfaOpenLocalFile(context, link->status.name2, host::kOpenCreate);
    if (file <= 0) return 0;
    context->localTargetCreated = true;
    return file;
}

// The local file of a download, usable until a write to it fails. Its
// error is put aside while the records keep coming, so that a failure of
// the exchange records its own cause; it is the outcome when the exchange
// ends well. As for any error, a remote status that comes after it (the
// end of file) leaves its value in errorValue; records are written as they
// come, as far as the caller can tell, so a write's failure counts as
// coming before the statuses of the data phase even when the buffered
// write fails behind them.
struct LocalTarget {
    bool usable = false;
    uint16_t code = 0;
    int32_t value = 0;

    // The data phase starts with no status: an error one has ended the
    // access before, and statusCode shows the ones that come from here on.
    void Begin(ZelContext* context) {
        usable = context->localFile != 0;
        context->statusCode = 0;
        PutErrorAside(context);
    }
    void PutErrorAside(ZelContext* context) {
        code = context->link->status.errorCode;
        value = context->link->status.errorValue;
        RfaClearError(context);
    }
    void Fail(ZelContext* context) {
        usable = false;
        PutErrorAside(context);
    }
    void Record(ZelContext* context) const {
        const uint16_t statusSince = context->statusCode;
        RfaSetError(context, code, statusSince != 0 ? static_cast<int32_t>(statusSince) : value);
    }
};

// Writes the records still waiting in the local buffer when the exchange
// has failed: what was received is kept. The exchange's error stays.
void KeepWhatCame(ZelContext* context) {
    const RfaLinkStatus saved = context->link->status;
    ZelFlushDownload(context);
    RfaLinkStatus& status = context->link->status;
    status.errorCode = saved.errorCode;
    status.errorValue = saved.errorValue;
    status.errorDetail = saved.errorDetail;
}

int Download(ZelContext* context) {
    if (ZelPrepareLocalBuffer(context) < 0) return -1;
    if (ZelSendAll(context, {kAttributes, kAccess}) < 0) return -1;
    const int connected = ConnectRecordStream(context);
    if (connected <= 0) return connected < 0 ? -1 : 1;
    if (ZelSendMessage(context, kControl) < 0) return -1;

    // Without a usable local file the records are still read to the end,
    // and dropped.
    context->localFile = OpenLocalTarget(context);
    LocalFileGuard guard(&context->localFile);
    LocalTarget target;
    target.Begin(context);
    // Records come for as long as the file lasts; what comes between them
    // (the Acknowledge of the data-phase Control) is bounded as endless
    // replies are in a reading loop, timed from the first of it.
    ZelDrainDeadline betweenRecords;
    for (;;) {
        if (betweenRecords.Expired(context)) {
            if (target.usable) KeepWhatCame(context);
            return -1;
        }
        if (target.usable) {
            // Records are written from where they lie in the block received;
            // anything else is received and decoded below.
            ZelRecordView first{};
            const int took = ZelReceiveDataInPlace(context, &first);
            if (took < 0) {
                KeepWhatCame(context);
                return -1;
            }
            if (took > 0) {
                if (!ZelDownloadRecordsInPlace(context, first)) target.Fail(context);
                betweenRecords = ZelDrainDeadline{};
                continue;
            }
        }
        const int result = ZelAwaitReply(context, context->lastSentType);
        if (result < 0) {  // an error Status has wound the access down, or the link failed
            if (target.usable) KeepWhatCame(context);
            return -1;
        }
        if (result == 1 || context->lastReceivedType == kStatus) break;
        // An Acknowledge of the data-phase Control carries no record.
        if (context->lastReceivedType != kData) continue;
        betweenRecords = ZelDrainDeadline{};
        if (target.usable && !ZelDownloadRecords(context)) target.Fail(context);
    }
    if (target.usable && !ZelFlushDownload(context)) target.Fail(context);
    if (EndAccess(context) < 0) return -1;
    if (context->localFile != 0) {
        RecordLocalSize(context, context->localFile);
        if (CloseLocal(context, &context->localFile) < 0) return -1;
    }
    if (!target.usable) {
        target.Record(context);
        return -1;
    }
    return 1;
}

int Upload(ZelContext* context) {
    RfaLink* link = context->link;
    // The local buffer comes before anything is sent: once the Access has
    // gone, a copy ended for want of it would leave the peer an empty file
    // in place of the target.
    if (ZelPrepareLocalBuffer(context) < 0) return -1;
    const intptr_t source = RfaOpenLocalFile(context, link->status.name1, host::kOpenRead);
    if (source < 0) return -1;
    context->sourceFile = source;
    LocalFileGuard guard(&context->sourceFile);
    std::tm written{};
    if (!host::LastWriteTimeUtc(source, &written)) {
        RfaSetError(context, RFA_ERR_FILE_NOT_FOUND, 0);
        return -1;
    }
    ZelStampUploadTime(written);

    if (ZelProbeRemoteTarget(context) < 0) return -1;
    const int connected = ConnectRecordStream(context);
    if (connected < 0) return -1;
    if (connected == 0) return CloseLocal(context, &context->sourceFile);
    if (ZelSendMessage(context, kControl) < 0) return -1;
    RecordLocalSize(context, source);
    const int converted = ZelUploadFile(context);
    if (converted < 0 && context->link->status.errorCode == RFA_ERR_LOCAL_IO) {
        // The local file could not be read to its end: the access is wound
        // down, so that the peer discards what it got rather than keep a
        // truncated file in place of the target. The read's error stays.
        ZelWindDownAccess(context);
        CloseLocal(context, &context->sourceFile);
        return -1;
    }
    // A failed send still ends the access; its error stays.
    if (EndAccess(context) < 0) return -1;
    if (CloseLocal(context, &context->sourceFile) < 0) return -1;
    return converted;
}

}  // namespace

int ZelProbeRemoteTarget(ZelContext* context) {
    RfaLink* link = context->link;
    for (int candidate = 1;; ++candidate) {
        // Open reads its file spec from name1. The status it may end with
        // is looked at below: none is left from before.
        SwapNames(link);
        context->operation = kOpOpenFile;
        context->statusCode = 0;
        const int opened = ZelOpenFileHandler(context);
        SwapNames(link);
        if (opened < 0 && ZelConnectionFailed(context)) {
            // A connection that failed fails the copy: nothing more can be asked.
            context->operation = kOpCopy;
            return -1;
        }
        if (opened < 0 && link->renameLocal != 0 && !ZelStatusSaysFileNotFound(context->statusCode)) {
            // A target the peer will not open (no privilege, locked) may
            // still exist, and the Access would replace it: only "file not
            // found" frees the name. The Open's error fails the copy.
            context->operation = kOpCopy;
            return -1;
        }
        if (opened < 0) {
            // No such target (or, when it is overwritten anyway, none that
            // opens): the copy creates it. The status that said so goes too:
            // a Sync Error left behind would make the driver run the whole
            // copy again once it is done.
            RfaClearError(context);
            ZelClearFailure(context);
            context->statusCode = 0;
            break;
        }
        context->operation = kOpCloseFile;
        const int closed = EndAccess(context);
        context->operation = kOpCopy;
        if (closed < 0) return -1;
        if (link->renameLocal == 0) break;  // the existing target is overwritten
        // Every candidate taken fails the copy as a target that cannot be
        // created would: error 7, name2 holding the number past the last.
        char next[kNameSize];
        const bool built = BuildCandidate(link->status.name2, RemoteDirectoryLength(link->status.name2), candidate, next);
        if (built) std::memcpy(link->status.name2, next, kNameSize);
        if (!built || candidate > kHighestCandidate) {
            RfaSetError(context, RFA_ERR_FILE_NOT_FOUND, 0);
            return -1;
        }
    }
    context->operation = kOpCopy;
    return ZelSendAll(context, {kAttributes, kDateAndTime, kAccess});
}

intptr_t ZelCreateUniqueLocalFile(ZelContext* context) {
    char* name = context->link->status.name2;
    intptr_t file = host::OpenFile(name, host::kOpenCreateNew);
    if (file > 0) return file;
    bool taken = errno == EEXIST;
    const size_t directoryLength = LocalDirectoryLength(name);
    char stem[kNameSize];
    std::memcpy(stem, name, kNameSize);
    char candidate[kNameSize];
    for (int number = 1; taken && number <= kHighestCandidate; ++number) {
        if (!BuildCandidate(stem, directoryLength, number, candidate)) break;
        // name2 shows the name taken, or the last one tried.
        std::memcpy(name, candidate, kNameSize);
        file = host::OpenFile(name, host::kOpenCreateNew);
        if (file > 0) return file;
        taken = errno == EEXIST;
    }
    // No free name, or a candidate that cannot be created: the target
    // cannot be had, and the copy says so with the code of a local file
    // that cannot be opened.
    RfaSetError(context, RFA_ERR_FILE_NOT_FOUND, 0);
    return -1;
}

int ZelCopyHandler(ZelContext* context) {
    ZelStartCopyProgress(context);
    const int result = context->link->status.copyDirection == RFA_COPY_UPLOAD ? Upload(context) : Download(context);
    ZelFinishCopyProgress(context);
    return result;
}
