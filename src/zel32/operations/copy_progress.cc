#include "zel32/operations/copy_progress.h"

#include <chrono>

#include "zel32/protocol/context.h"

namespace {

// At most about five reports a second.
constexpr int64_t kReportIntervalMs = 200;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Report(ZelContext* context) {
    context->progressReportedAt = NowMs();
    context->link->reportingProgress = true;
    context->progress(context->progressContext, context->copiedBytes, context->localSize);
    context->link->reportingProgress = false;
}

}  // namespace

void ZelStartCopyProgress(ZelContext* context) {
    RfaLinkStatus& status = context->link->status;
    status.bytesTransferred = 0;
    status.localFileSizeKnown = 0;
    context->copiedBytes = 0;
    context->localSize = RFA_SIZE_UNKNOWN;
    context->progressReportedAt = NowMs();
}

void ZelCountCopied(ZelContext* context, uint64_t count) {
    context->link->status.bytesTransferred += static_cast<uint32_t>(count);  // modulo 2^32
    context->copiedBytes += count;
    if (context->progress != nullptr && NowMs() - context->progressReportedAt >= kReportIntervalMs) Report(context);
}

void ZelSetLocalSize(ZelContext* context, uint64_t size) {
    RfaLinkStatus& status = context->link->status;
    status.localFileSize = static_cast<uint32_t>(size);  // modulo 2^32
    status.localFileSizeKnown = 1;
    context->localSize = size;
}

void ZelFinishCopyProgress(ZelContext* context) {
    if (context->progress != nullptr) Report(context);
}
