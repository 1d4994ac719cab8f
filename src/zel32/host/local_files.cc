#include "zel32/host/local_files.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace host {
namespace {

int Descriptor(intptr_t handle) { return static_cast<int>(handle - 1); }
intptr_t Handle(int fd) { return fd < 0 ? -1 : static_cast<intptr_t>(fd) + 1; }

// A local file may be a pipe or a FIFO whose reader has gone (a download to
// /dev/stdout piped into head): the write must fail with EPIPE, not end the
// host program with SIGPIPE. The signal is blocked in this thread for the
// write, and one it raised is taken back before the mask is restored; one
// that was pending already is left alone.
class QuietPipe {
public:
    QuietPipe() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &saved_);
        // Only a SIGPIPE that was blocked already can be pending: the usual
        // write costs the two mask changes, no more.
        if (sigismember(&saved_, SIGPIPE) == 1) {
            sigset_t pending;
            sigemptyset(&pending);
            pendingBefore_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        }
    }
    ~QuietPipe() {
        const int error = errno;  // the write's, for the caller
        if (raised_ && !pendingBefore_) {
            const timespec now{};
            while (sigtimedwait(&pipe_, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
        errno = error;
    }
    QuietPipe(const QuietPipe&) = delete;
    QuietPipe& operator=(const QuietPipe&) = delete;

    // After a failed write: whether it raised SIGPIPE.
    void Failed(int error) { raised_ = raised_ || error == EPIPE; }

private:
    sigset_t pipe_;
    sigset_t saved_;
    bool pendingBefore_ = false;
    bool raised_ = false;
};

// A local file is shared as on the platform the library models: readers
// share it with readers, and one that may write has it alone. flock holds
// per open file description, so two links of one process exclude each other
// too. The lock is advisory: a program that takes none is not held back.
// Devices, pipes and FIFOs are no such shared files (any number of writers
// may use /dev/null at once): only regular files are locked.
bool TakeShare(int fd, OpenMode mode) {
    const int operation = (mode == kOpenRead ? LOCK_SH : LOCK_EX) | LOCK_NB;
    int result;
    do {
        result = ::flock(fd, operation);
    } while (result < 0 && errno == EINTR);
    // Only another opener's lock refuses the file. A file system that keeps
    // no locks (an NFS mount without its lock service) leaves the file as
    // it was before locks were taken, rather than unusable.
    return result == 0 || errno != EWOULDBLOCK;
}

}  // namespace

intptr_t OpenFile(const char* name, OpenMode mode) {
    // The create mode truncates only once it holds the file: an O_TRUNC
    // here would empty a file that another opener is writing.
    int flags = O_CLOEXEC;
    switch (mode) {
    case kOpenRead: flags |= O_RDONLY; break;
    case kOpenCreate: flags |= O_RDWR | O_CREAT; break;
    case kOpenReadWrite: flags |= O_RDWR; break;
    case kOpenCreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    }
    int fd;
    do {
        fd = ::open(name, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat info;
    // Directories open for reading on POSIX; as local files they are not usable.
    bool usable = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    if (usable && S_ISREG(info.st_mode)) {
        usable = TakeShare(fd, mode) && (mode != kOpenCreate || ::ftruncate(fd, 0) == 0);
    }
    if (!usable) {
        ::close(fd);
        return -1;
    }
    return Handle(fd);
}

intptr_t CreateExclusive(const char* name) {
    return Handle(::open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
}

bool CloseFile(intptr_t handle) {
    if (handle <= 0) return false;
    return ::close(Descriptor(handle)) == 0;
}

int64_t ReadFile(intptr_t handle, void* buffer, size_t count) {
    ssize_t n;
    do {
        n = ::read(Descriptor(handle), buffer, count);
    } while (n < 0 && errno == EINTR);
    return n;
}

int64_t WriteFile(intptr_t handle, const void* buffer, size_t count, size_t* written) {
    const WritePiece piece{buffer, count};
    return WriteFilePieces(handle, &piece, 1, written);
}

int64_t WriteFilePieces(intptr_t handle, const WritePiece* pieces, size_t count, size_t* written) {
    iovec vector[kMaxWritePieces];
    size_t used = 0;
    size_t total = 0;
    *written = 0;
    for (size_t i = 0; i < count; ++i) {
        if (pieces[i].size == 0) continue;
        if (used == kMaxWritePieces) return -1;
        vector[used++] = iovec{const_cast<void*>(pieces[i].data), pieces[i].size};
        total += pieces[i].size;
    }
    size_t done = 0;
    size_t first = 0;
    QuietPipe quiet;
    while (done < total) {
        const ssize_t n = ::writev(Descriptor(handle), vector + first, static_cast<int>(used - first));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            quiet.Failed(errno);
            *written = done;
            return -1;
        }
        done += static_cast<size_t>(n);
        // Past the pieces written whole, into the one written in part.
        size_t advance = static_cast<size_t>(n);
        while (first < used && advance >= vector[first].iov_len) advance -= vector[first++].iov_len;
        if (first < used) {
            vector[first].iov_base = static_cast<uint8_t*>(vector[first].iov_base) + advance;
            vector[first].iov_len -= advance;
        }
    }
    *written = done;
    return static_cast<int64_t>(done);
}

int64_t FileSize(intptr_t handle) {
    struct stat info;
    if (::fstat(Descriptor(handle), &info) != 0) return -1;
    return info.st_size;
}

bool SeekToEnd(intptr_t handle) {
    // A pipe, FIFO or terminal cannot seek: what is written to it goes at
    // its end already.
    return ::lseek(Descriptor(handle), 0, SEEK_END) >= 0 || errno == ESPIPE;
}

bool NameExists(const char* name) {
    struct stat info;
    return ::lstat(name, &info) == 0;
}

}  // namespace host
