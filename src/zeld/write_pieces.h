// Writing pieces of memory to a file with one writev while the file takes
// them all: an upload's records from where they lie, a record and its line
// end in one write (so that appends to one file never interleave in a line).
#pragma once

#include <sys/uio.h>

#include <cstddef>

#include "zeld/status_codes.h"

namespace zeld {

// Writes pieces[0, count) in order, going on after a short write or a
// signal; `pieces` is changed on the way. At most IOV_MAX pieces. kOk, or
// the status of the failure (a write that takes nothing is a write error).
StatusValue WritePieces(int fd, iovec* pieces, size_t count);

}  // namespace zeld
