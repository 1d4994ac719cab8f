#include "zel32/trace/ioctl.h"

#include "zel32/protocol/context.h"
#include "zel32/trace/trace_file.h"

namespace {

// Word 0: start (non-zero) or stop; word 1: the file's name; word 2:
// append (non-zero) or create.
int Trace(ZelContext* context, const uintptr_t* words) {
    if (words[0] == 0) return ZelStopTrace(context);
    const char* name = reinterpret_cast<const char*>(words[1]);
    if (name == nullptr) {
        RfaSetError(context, RFA_ERR_BAD_ARGUMENT, 0);
        return -1;
    }
    return ZelStartTrace(context, name, words[2] != 0);
}

// Remote file systems whose listings carry both dates to choose from.
bool PeerHasDateChoice(uint8_t filesys) { return filesys == 1 || filesys == 2 || filesys == 3 || filesys == 10; }

// Word 0: non-zero for the creation date, 0 for the revision date.
int DateChoice(ZelContext* context, const uintptr_t* words) {
    if (PeerHasDateChoice(context->peerFilesys)) {
        context->useCreationDate = words[0] != 0 ? 1 : 0;
        return 1;
    }
    // Elsewhere only the creation date can be had: asking for the other fails.
    if (words[0] == 0) {
        RfaSetError(context, RFA_ERR_UNSUPPORTED, 0);
        return -1;
    }
    return 1;
}

// Word 0: the caller's progress procedure (0 removes it); word 1: its context.
int Progress(ZelContext* context, const uintptr_t* words) {
    context->progress = reinterpret_cast<RfaProgressProc>(words[0]);
    context->progressContext = reinterpret_cast<void*>(words[1]);
    return 1;
}

}  // namespace

int ZelIoctlHandler(ZelContext* context) {
    const uint16_t code = context->ioctlCode;
    if (code != RFA_IOCTL_TRACE && code != RFA_IOCTL_DATE_CHOICE && code != RFA_IOCTL_PROGRESS) return 1;
    const uintptr_t* words = context->ioctlArgument;
    // Without an argument block there is no progress procedure: it is removed.
    if (words == nullptr && code == RFA_IOCTL_PROGRESS) {
        context->progress = nullptr;
        context->progressContext = nullptr;
        return 1;
    }
    // The trace and the date choice read their argument block; without one, nothing is done.
    if (words == nullptr) {
        RfaSetError(context, RFA_ERR_BAD_ARGUMENT, 0);
        return -1;
    }
    switch (code) {
    case RFA_IOCTL_TRACE: return Trace(context, words);
    case RFA_IOCTL_DATE_CHOICE: return DateChoice(context, words);
    default: return Progress(context, words);
    }
}
