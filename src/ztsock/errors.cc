#include "ztsock/errors.h"

#include <cerrno>

namespace ztsock {
namespace {

struct ErrorRow {
    int posix;
    int16_t bsd;
};

// Linux numbers the socket calls and the resolver produce, next to the BSD
// numbers callers expect. The low Unix numbers are the same on both systems;
// the socket numbers differ. A broken pipe counts as a reset: to the caller
// both mean the peer has gone.
constexpr ErrorRow kErrorRows[] = {
    {EPERM, 1},
    {ENOENT, kErrNoSuchObject},
    {EINTR, 4},
    {EIO, 5},
    {EBADF, 9},
    {ENOMEM, 12},
    {EACCES, kErrAccessDenied},
    {EFAULT, 14},
    {EINVAL, kErrInvalidArgument},
    {ENFILE, 23},
    {EMFILE, 24},
    {EPIPE, kErrConnectionReset},
    {EAGAIN, 35},
    {EINPROGRESS, 36},
    {EALREADY, 37},
    {ENOTSOCK, kErrNotSocket},
    {EDESTADDRREQ, 39},
    {EMSGSIZE, kErrMessageSize},
    {EPROTOTYPE, 41},
    {ENOPROTOOPT, 42},
    {EPROTONOSUPPORT, 43},
    {ESOCKTNOSUPPORT, 44},
    {EOPNOTSUPP, 45},
    {EPFNOSUPPORT, 46},
    {EAFNOSUPPORT, 47},
    {EADDRINUSE, 48},
    {EADDRNOTAVAIL, kErrHostUnresolved},
    {ENETDOWN, 50},
    {ENETUNREACH, kErrNetUnreachable},
    {ENETRESET, 52},
    {ECONNABORTED, 53},
    {ECONNRESET, kErrConnectionReset},
    {ENOBUFS, kErrNoResources},
    {EISCONN, 56},
    {ENOTCONN, 57},
    {ESHUTDOWN, 58},
    {ETOOMANYREFS, 59},
    {ETIMEDOUT, kErrTimedOut},
    {ECONNREFUSED, kErrConnectionRefused},
    {ELOOP, 62},
    {ENAMETOOLONG, 63},
    {EHOSTDOWN, kErrHostDown},
    {EHOSTUNREACH, kErrHostDown},
};

}  // namespace

int16_t BsdErrorNumber(int posixError) {
    for (const ErrorRow& row : kErrorRows) {
        if (row.posix == posixError) return row.bsd;
    }
    return kErrOther;
}

}  // namespace ztsock
