// An upload's file: written under a temporary name (".zeld-XXXXXX", six
// letters or digits) beside its target, renamed into place only when the
// transfer completes, and removed when it does not, so a target is never
// left half written. The temporary file is locked (flock) while it exists,
// so that a server starting later can tell one left by a killed server
// (Tree::RemoveStaleUploads) from one being written now.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "zeld/operation_log.h"
#include "zeld/status_codes.h"
#include "zeld/tree.h"

namespace zeld {

class StagedFile {
public:
    // `log` hears of a temporary file that could not be removed.
    explicit StagedFile(OperationLog* log = nullptr) : log_(log) {}
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile() { Discard(); }

    // Creates the temporary file beside `target`. `newFileMode` is the mode
    // of a file that does not exist at the commit (an existing target keeps
    // its own).
    // `asLines`: each record is stored followed by "\n".
    StatusValue Create(CreateTarget target, bool asLines, mode_t newFileMode);
    bool active() const { return fd_.valid(); }

    // Where the client's next block is best received while records come
    // in: room for a whole transmission block (`blockLength` bytes) in the
    // file's own buffer, so that its records are written from where they
    // lie rather than copied. Null when the upload does not want it (none
    // active, a failure kept, records stored as lines: a copy is cheaper
    // than a piece to write for each line and its end). What was gathered
    // may be written first to make the room.
    uint8_t* BlockArea(size_t blockLength);
    // The block whose messages are about to be handled, and the end of its
    // handling. A block received at BlockArea is held: its records stay
    // where they are until written. Every record written between the two
    // calls comes from that block.
    void BeginBlock(const uint8_t* block, size_t length);
    void EndBlock();

    // Stores one record. The first failure is kept and returned again.
    StatusValue Write(const uint8_t* record, size_t length);
    // Puts the file in place of the target, with `modified` as its time
    // when given. The target is looked at again first: another session may
    // have put something else there, or protected it, since the Access.
    // The file is discarded on failure.
    StatusValue Commit(const time_t* modified);
    // Removes the temporary file (nothing when none is active). One that
    // cannot be removed (its directory made unwritable meanwhile) is
    // emptied and logged, so that its bytes do not stay in a file no client
    // sees or deletes.
    void Discard();

    uint64_t bytes() const { return bytes_; }
    const std::string& targetName() const { return targetName_; }

private:
    StatusValue Drain();
    // The mode the file takes from the target as it is now, or why it may
    // not replace it.
    StatusValue ModeForTarget(mode_t* mode) const;
    // Adds a piece to write, joined to the last when it follows it.
    void AddPiece(const uint8_t* data, size_t length);
    void ClearPieces();
    bool InHeldBlock(const uint8_t* record, size_t length) const;

    // Records are gathered and the file written in large pieces: the
    // writes, not the copies, are what an upload's speed hangs on. The
    // pieces are records in held blocks and runs of copied ones, all in
    // one buffer, taken at the first upload of the connection; a server of
    // many clients pays it for each one that uploads.
    static constexpr size_t kBufferSize = size_t{256} << 10;
    // Pieces one writev takes (IOV_MAX on Linux); Drain writes them all in one.
    static constexpr size_t kMaxPieces = 1024;
    OperationLog* log_ = nullptr;
    UniqueFd directory_;
    std::string directoryPath_;  // beneath the root, with its slash: for the log
    UniqueFd fd_;
    UniqueFd lock_;  // holds the flock until the file is renamed or removed
    std::string stagingName_;
    std::string targetName_;
    mode_t newFileMode_ = 0;
    bool asLines_ = false;
    StatusValue failure_ = kOk;
    uint64_t bytes_ = 0;
    size_t used_ = 0;             // bytes of the buffer in use: held blocks and copies
    size_t heldBegin_ = 0;        // the held block: [heldBegin_, heldEnd_) of the buffer
    size_t heldEnd_ = 0;
    bool holding_ = false;
    std::unique_ptr<iovec[]> pieces_;  // what the next Drain writes, in order
    size_t pieceCount_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
};

}  // namespace zeld
