// One file copy through RfaCopy, shared by get and put: the copy attributes
// of the command line, the progress bar while it runs, a line with --verbose
// when it is done, and its failure described.
#pragma once

#include <memory>
#include <string>

#include "zelft/command_line.h"
#include "zelft/failure.h"
#include "zelft/progress_bar.h"
#include "zelft/remote_link.h"

namespace zelft {

struct CopyRequest {
    uint32_t direction;       // RFA_COPY_DOWNLOAD or RFA_COPY_UPLOAD
    std::string remotePath;   // as the server takes it
    std::string remoteName;   // node::path, for messages
    std::string localPath;
};

// A progress bar on standard error when it is a terminal and neither --quiet
// nor --no-progress was given, registered with the link; else null.
std::unique_ptr<ProgressBar> StartProgress(const Invocation& invocation, RemoteLink* link);

Failure CopyFile(const Invocation& invocation, RemoteLink* link, ProgressBar* progress, const CopyRequest& request);

}  // namespace zelft
