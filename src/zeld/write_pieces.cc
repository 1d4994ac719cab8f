#include "zeld/write_pieces.h"

#include <cerrno>

namespace zeld {

StatusValue WritePieces(int fd, iovec* pieces, size_t count) {
    size_t next = 0;
    for (;;) {
        // Empty pieces (an empty record) are stepped over: a writev of no
        // bytes returns 0, which would read as a write that failed.
        while (next < count && pieces[next].iov_len == 0) ++next;
        if (next == count) break;
        const ssize_t put = ::writev(fd, &pieces[next], static_cast<int>(count - next));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return put < 0 ? StatusForErrno(errno, Stage::kWrite) : kStatusWriteError;
        // Step over what went out; a short write leaves part of a piece.
        auto left = static_cast<size_t>(put);
        while (left != 0 && left >= pieces[next].iov_len) left -= pieces[next++].iov_len;
        if (left != 0) {
            pieces[next].iov_base = static_cast<uint8_t*>(pieces[next].iov_base) + left;
            pieces[next].iov_len -= left;
        }
    }
    return kOk;
}

}  // namespace zeld
