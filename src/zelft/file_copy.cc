#include "zelft/file_copy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "zelft/copy_names.h"
#include "zelft/staged_download.h"
#include "zelft/terminal_text.h"

namespace zelft {
namespace {

uint64_t LocalSize(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

}  // namespace

std::unique_ptr<ProgressBar> StartProgress(const Invocation& invocation, RemoteLink* link) {
    if (invocation.quiet || invocation.noProgress || ::isatty(STDERR_FILENO) == 0) return nullptr;
    auto progress = std::make_unique<ProgressBar>(STDERR_FILENO);
    // A library without progress reports leaves the bar to be drawn once, at the end.
    if (link->SetProgress(ProgressBar::Callback, progress.get()).failed()) return nullptr;
    return progress;
}

Failure CopyFile(const Invocation& invocation, RemoteLink* link, ProgressBar* progress, const CopyRequest& request) {
    const bool download = request.direction == RFA_COPY_DOWNLOAD;
    const std::string& source = download ? request.remotePath : request.localPath;
    const std::string described = download ? request.remoteName + " -> " + request.localPath
                                           : request.localPath + " -> " + request.remoteName;
    // A download writes beside its target and takes its name only when done.
    std::unique_ptr<StagedDownload> staged;
    if (download) {
        staged = std::make_unique<StagedDownload>(request.localPath);
        if (staged->failure().failed()) return staged->failure();
    }
    // What RfaCopy writes: the staged local file, or the remote target.
    const std::string& target = download ? staged->writtenPath() : request.remotePath;
    if (progress != nullptr) {
        progress->Begin(download ? RemoteBaseName(request.remotePath) : LocalBaseName(request.localPath));
    }
    const int32_t result = RfaCopy(link->handle(), source.c_str(), target.c_str(), request.direction, invocation.mode,
                                   invocation.hasAttributes ? &invocation.attributes : nullptr);
    Failure failure = link->Check(OperationName{download ? "get" : "put", described, true}, result);
    // A server may end a download's access at once, in success: the local
    // target was then never written, and an empty file must not replace it.
    if (!failure.failed() && download && link->Look().localFileSizeKnown == 0) {
        failure = Failure{ExitCode::kRemoteFile,
                          "get " + described + ": the server ended the copy without sending the file; nothing copied"};
    }
    if (progress != nullptr) progress->Finish(!failure.failed(), LocalSize(download ? target : request.localPath));
    if (!failure.failed() && download) failure = staged->Commit();
    if (!failure.failed() && invocation.verbose) {
        Say(std::string(download ? "got " : "put ") + described + " (" + std::to_string(LocalSize(request.localPath)) +
            " bytes)");
    }
    return failure;
}

}  // namespace zelft
