#include "zeld/staged_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zeld {
namespace {

constexpr int kNameAttempts = 100;
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
            targetName_ = target.name;
            mode_ = target.exists ? target.existingMode : newFileMode;
            asLines_ = asLines;
            failure_ = kOk;
            bytes_ = 0;
            buffered_ = 0;
            if (!buffer_) buffer_.reset(new uint8_t[kBufferSize]);  // not cleared: it is filled before it is read
            return kOk;
        }
        if (errno != EEXIST) break;
    }
    const StatusValue status = StatusForErrno(errno, Stage::kOpen);
    directory_.Reset();
    return status;
}

StatusValue StagedFile::Drain() {
    size_t written = 0;
    while (written < buffered_ && failure_ == kOk) {
        const ssize_t put = ::write(fd_.get(), buffer_.get() + written, buffered_ - written);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) {
            failure_ = StatusForErrno(errno, Stage::kWrite);
            break;
        }
        written += static_cast<size_t>(put);
    }
    buffered_ = 0;
    return failure_;
}

StatusValue StagedFile::Write(const uint8_t* record, size_t length) {
    if (!active()) return kStatusWriteError;
    if (failure_ != kOk) return failure_;
    const size_t total = length + (asLines_ ? 1 : 0);
    // A record comes in one transmission block, so it always fits the buffer.
    if (total > kBufferSize) return failure_ = kStatusWriteError;
    if (buffered_ + total > kBufferSize && Drain() != kOk) return failure_;
    std::memcpy(buffer_.get() + buffered_, record, length);
    buffered_ += length;
    if (asLines_) buffer_[buffered_++] = '\n';
    bytes_ += total;
    return kOk;
}

StatusValue StagedFile::Commit(const time_t* modified) {
    if (!active()) return kStatusWriteError;
    StatusValue status = Drain();
    if (status == kOk && ::fchmod(fd_.get(), mode_) != 0) status = StatusForErrno(errno, Stage::kWrite);
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
    if (!stagingName_.empty() && directory_.valid()) ::unlinkat(directory_.get(), stagingName_.c_str(), 0);
    stagingName_.clear();
    fd_.Reset();
    lock_.Reset();
    directory_.Reset();
    buffered_ = 0;
}

}  // namespace zeld
