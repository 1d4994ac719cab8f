#include "zeld/staged_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "zeld/write_pieces.h"

namespace zeld {
namespace {

constexpr int kNameAttempts = 100;
constexpr uint8_t kNewline[1] = {'\n'};
constexpr char kNameCharacters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::string StagingName() {
    uint8_t random[6];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        // No entropy to be had: the name only needs to differ from its neighbours.
        const auto seed = static_cast<uint64_t>(::getpid()) ^ static_cast<uint64_t>(::time(nullptr));
        for (size_t i = 0; i < sizeof random; ++i) random[i] = static_cast<uint8_t>(seed >> (i * 8));
    }
    std::string name = ".zeld-";
    for (const uint8_t byte : random) name += kNameCharacters[byte % (sizeof kNameCharacters - 1)];
    return name;
}

}  // namespace

StatusValue StagedFile::Create(CreateTarget target, bool asLines, mode_t newFileMode) {
    Discard();
    directory_.Reset(::fcntl(target.parent.fd(), F_DUPFD_CLOEXEC, 0));
    if (!directory_.valid()) return StatusForErrno(errno, Stage::kOpen);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = StagingName();
        // Private until it is complete; the final mode is set at the commit.
        const int fd = ::openat(directory_.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                S_IRUSR | S_IWUSR);
        if (fd >= 0) {
            fd_.Reset(fd);
            // The lock lives on a second descriptor of the same open file, so
            // that it outlasts the close that checks the writes (Commit).
            lock_.Reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
            if (!lock_.valid() || ::flock(lock_.get(), LOCK_EX | LOCK_NB) != 0) {
                const StatusValue status = StatusForErrno(errno, Stage::kOpen);
                ::unlinkat(directory_.get(), name.c_str(), 0);
                fd_.Reset();
                lock_.Reset();
                directory_.Reset();
                return status;
            }
            stagingName_ = std::move(name);
            directoryPath_.clear();
            for (const std::string& part : target.parent.names()) directoryPath_ += part + "/";
            targetName_ = target.name;
            newFileMode_ = newFileMode;
            asLines_ = asLines;
            failure_ = kOk;
            bytes_ = 0;
            if (!buffer_) {
                buffer_.reset(new uint8_t[kBufferSize]);  // not cleared: it is filled before it is read
                pieces_.reset(new iovec[kMaxPieces]);
            }
            ClearPieces();
            return kOk;
        }
        if (errno != EEXIST) break;
    }
    const StatusValue status = StatusForErrno(errno, Stage::kOpen);
    directory_.Reset();
    return status;
}

uint8_t* StagedFile::BlockArea(size_t blockLength) {
    if (!active() || failure_ != kOk || asLines_ || holding_ || blockLength > kBufferSize) return nullptr;
    if (kBufferSize - used_ < blockLength && Drain() != kOk) return nullptr;
    return buffer_.get() + used_;
}

void StagedFile::BeginBlock(const uint8_t* block, size_t length) {
    holding_ = buffer_ && block == buffer_.get() + used_ && length <= kBufferSize - used_;
    if (!holding_) return;
    heldBegin_ = used_;
    heldEnd_ = used_ + length;
    used_ = heldEnd_;
}

void StagedFile::EndBlock() {
    holding_ = false;
    if (pieceCount_ == 0) used_ = 0;  // nothing waits in the buffer
}

bool StagedFile::InHeldBlock(const uint8_t* record, size_t length) const {
    if (!holding_) return false;
    const uint8_t* begin = buffer_.get() + heldBegin_;
    const uint8_t* end = buffer_.get() + heldEnd_;
    return record >= begin && record <= end && length <= static_cast<size_t>(end - record);
}

void StagedFile::AddPiece(const uint8_t* data, size_t length) {
    if (pieceCount_ != 0) {
        iovec& last = pieces_[pieceCount_ - 1];
        if (static_cast<const uint8_t*>(last.iov_base) + last.iov_len == data) {
            last.iov_len += length;
            return;
        }
    }
    if (length != 0) pieces_[pieceCount_++] = iovec{const_cast<uint8_t*>(data), length};
}

void StagedFile::ClearPieces() {
    pieceCount_ = 0;
    // A held block stays where it is until its handling ends.
    used_ = holding_ ? heldEnd_ : 0;
}

StatusValue StagedFile::Drain() {
    if (failure_ == kOk && pieceCount_ != 0) failure_ = WritePieces(fd_.get(), pieces_.get(), pieceCount_);
    ClearPieces();
    return failure_;
}

StatusValue StagedFile::Write(const uint8_t* record, size_t length) {
    if (failure_ != kOk || !active()) return active() ? failure_ : kStatusWriteError;
    const size_t total = length + (asLines_ ? 1 : 0);
    // Room for the two pieces a record can add.
    if (pieceCount_ + 2 > kMaxPieces && Drain() != kOk) return failure_;
    if (InHeldBlock(record, length)) {
        AddPiece(record, length);
        if (asLines_) AddPiece(kNewline, 1);
    } else {
        if (total > kBufferSize - used_ && Drain() != kOk) return failure_;
        // A record comes in one transmission block, so it fits an empty
        // buffer; only a record from outside a held block could miss.
        if (total > kBufferSize - used_) return failure_ = kStatusWriteError;
        uint8_t* copy = buffer_.get() + used_;
        std::memcpy(copy, record, length);
        if (asLines_) copy[length] = '\n';
        used_ += total;
        AddPiece(copy, total);
    }
    bytes_ += total;
    return kOk;
}

StatusValue StagedFile::ModeForTarget(mode_t* mode) const {
    struct stat info;
    if (::fstatat(directory_.get(), targetName_.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) return StatusForErrno(errno, Stage::kWrite);
        *mode = newFileMode_;
        return kOk;
    }
    const StatusValue replaceable = ReplaceableStatus(info);
    if (replaceable != kOk) return replaceable;
    // The permissions carry over to the new content, the set-user-ID,
    // set-group-ID and sticky bits do not: a client's bytes must not
    // become a program that runs as the file's owner.
    *mode = info.st_mode & 0777;
    return kOk;
}

StatusValue StagedFile::Commit(const time_t* modified) {
    if (!active()) return kStatusWriteError;
    StatusValue status = Drain();
    mode_t mode = newFileMode_;
    if (status == kOk) status = ModeForTarget(&mode);
    if (status == kOk && ::fchmod(fd_.get(), mode) != 0) status = StatusForErrno(errno, Stage::kWrite);
    if (status == kOk && modified != nullptr) {
        const struct timespec times[2] = {{*modified, 0}, {*modified, 0}};
        ::futimens(fd_.get(), times);  // a time that cannot be set is no reason to lose the file
    }
    if (status == kOk && ::close(fd_.Release()) != 0) status = StatusForErrno(errno, Stage::kWrite);
    if (status == kOk &&
        ::renameat(directory_.get(), stagingName_.c_str(), directory_.get(), targetName_.c_str()) != 0) {
        status = StatusForErrno(errno, Stage::kWrite);
    }
    if (status != kOk) {
        Discard();
        return status;
    }
    stagingName_.clear();
    lock_.Reset();
    directory_.Reset();
    return kOk;
}

void StagedFile::Discard() {
    if (!stagingName_.empty() && directory_.valid() && ::unlinkat(directory_.get(), stagingName_.c_str(), 0) != 0) {
        const int error = errno;
        // The lock's descriptor is the same open file (writable), open
        // until the end, when the other may already be closed (Commit).
        const bool emptied = ::ftruncate(lock_.get(), 0) == 0;
        if (log_ != nullptr) {
            log_->Event("could not remove the temporary file of an unfinished upload (" +
                        std::string(std::strerror(error)) + "), left " + (emptied ? "empty" : "as it was") + ": " +
                        PrintableSpec(directoryPath_ + stagingName_));
        }
    }
    stagingName_.clear();
    fd_.Reset();
    lock_.Reset();
    directory_.Reset();
    ClearPieces();
}

}  // namespace zeld
