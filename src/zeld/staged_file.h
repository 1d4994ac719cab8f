// An upload's file: written under a temporary name (".zeld-XXXXXX", six
// letters or digits) beside its target, renamed into place only when the
// transfer completes, and removed when it does not, so a target is never
// left half written. The temporary file is locked (flock) while it exists,
// so that a server starting later can tell one left by a killed server
// (Tree::RemoveStaleUploads) from one being written now.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "zeld/status_codes.h"
#include "zeld/tree.h"

namespace zeld {

class StagedFile {
public:
    StagedFile() = default;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile() { Discard(); }

    // Creates the temporary file beside `target`. `newFileMode` is the mode
    // of a file that did not exist (an existing target keeps its own).
    // `asLines`: each record is stored followed by "\n".
    StatusValue Create(CreateTarget target, bool asLines, mode_t newFileMode);
    bool active() const { return fd_.valid(); }

    // Stores one record. The first failure is kept and returned again.
    StatusValue Write(const uint8_t* record, size_t length);
    // Puts the file in place of the target, with `modified` as its time
    // when given. The file is discarded on failure.
    StatusValue Commit(const time_t* modified);
    // Removes the temporary file (nothing when none is active).
    void Discard();

    uint64_t bytes() const { return bytes_; }
    const std::string& targetName() const { return targetName_; }

private:
    StatusValue Drain();

    // Records are gathered and the file written in large pieces: the
    // writes, not the copies, are what an upload's speed hangs on. The
    // buffer is taken at the first upload of the connection; a server of
    // many clients pays it for each one that uploads.
    static constexpr size_t kBufferSize = size_t{256} << 10;
    UniqueFd directory_;
    UniqueFd fd_;
    UniqueFd lock_;  // holds the flock until the file is renamed or removed
    std::string stagingName_;
    std::string targetName_;
    mode_t mode_ = 0;
    bool asLines_ = false;
    StatusValue failure_ = kOk;
    uint64_t bytes_ = 0;
    size_t buffered_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
};

}  // namespace zeld
