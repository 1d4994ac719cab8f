#include "zel32/host/local_files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace host {
namespace {

int Descriptor(intptr_t handle) { return static_cast<int>(handle - 1); }
intptr_t Handle(int fd) { return fd < 0 ? -1 : static_cast<intptr_t>(fd) + 1; }

}  // namespace

intptr_t OpenFile(const char* name, OpenMode mode) {
    int flags = O_CLOEXEC;
    switch (mode) {
    case kOpenRead: flags |= O_RDONLY; break;
    case kOpenCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case kOpenReadWrite: flags |= O_RDWR; break;
    }
    int fd;
    do {
        fd = ::open(name, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        struct stat info;
        // Directories open for reading on POSIX; as local files they are not usable.
        if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
            ::close(fd);
            return -1;
        }
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
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(Descriptor(handle), bytes + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *written = done;
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    *written = done;
    return static_cast<int64_t>(done);
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
    while (done < total) {
        const ssize_t n = ::writev(Descriptor(handle), vector + first, static_cast<int>(used - first));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
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

bool SeekToEnd(intptr_t handle) { return ::lseek(Descriptor(handle), 0, SEEK_END) >= 0; }

bool NameExists(const char* name) {
    struct stat info;
    return ::lstat(name, &info) == 0;
}

}  // namespace host
