// An upload's file: written under a temporary name (".zeld-XXXXXX") beside
// its target, renamed into place only when the transfer completes, and
// removed when it does not, so a target is never left half written.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
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

    static constexpr size_t kBufferSize = 65536;  // more than a transmission block
    UniqueFd directory_;
    UniqueFd fd_;
    std::string stagingName_;
    std::string targetName_;
    mode_t mode_ = 0;
    bool asLines_ = false;
    StatusValue failure_ = kOk;
    uint64_t bytes_ = 0;
    size_t buffered_ = 0;
    uint8_t buffer_[kBufferSize];
};

}  // namespace zeld
