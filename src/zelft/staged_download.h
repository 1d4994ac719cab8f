// The local side of a download: the file is written under a temporary name
// beside the target and takes the target's name only once the copy has
// succeeded, so that a copy that fails half way leaves the target as it was
// (or absent) rather than truncated or half written. A target that is not a
// regular file (a device such as /dev/stdout, a FIFO, a symbolic link) is
// written in place, as it is. The temporary file goes when the copy fails,
// and when a signal ends zelft (temporary_file.h).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "zelft/failure.h"

namespace zelft {

// Whether a download can be written to `target`, asked before connecting:
// a target written in place must itself be writable; one written beside
// needs its directory to exist and be writable.
Failure CheckDownloadTarget(const std::string& target);

class StagedDownload {
public:
    // Chooses where the copy writes: a new temporary file, or `target` itself.
    explicit StagedDownload(std::string target);
    ~StagedDownload();  // removes a temporary file that was not committed
    StagedDownload(const StagedDownload&) = delete;
    StagedDownload& operator=(const StagedDownload&) = delete;

    // Empty when no temporary file could be made (the failure says why).
    const std::string& writtenPath() const { return written_; }
    const Failure& failure() const { return failure_; }

    // The copy succeeded: the temporary file gets the mode the target had (a
    // new target the usual one) and the target's name.
    Failure Commit();

private:
    std::string target_;
    std::string written_;
    bool temporary_ = false;
    std::optional<mode_t> existingMode_;  // of a target replaced
    Failure failure_;
};

}  // namespace zelft
