// POSIX stand-ins for the platform's local file calls. A handle is the file
// descriptor plus one, so that 0 never names a file; descriptors are opened
// close-on-exec.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

enum OpenMode {
    kOpenRead = 1,       // an existing file, reading
    kOpenCreate = 2,     // create or truncate, reading and writing
    kOpenReadWrite = 3,  // an existing file, reading and writing
    kOpenCreateNew = 4,  // a file that does not exist yet (else -1 with EEXIST), reading and writing
};

// Returns a handle (at least 1), or -1. A regular file is opened shared
// for reading only: -1 while another opener writes it, or, for the modes
// that write, while another has it open at all (flock, so advisory).
intptr_t OpenFile(const char* name, OpenMode mode);
// A new file that must not exist yet, readable and writable by its owner only.
intptr_t CreateExclusive(const char* name);
bool CloseFile(intptr_t handle);
// Bytes read (0 at the end of the file), or -1.
int64_t ReadFile(intptr_t handle, void* buffer, size_t count);
// Writes all `count` bytes; on failure returns -1 with the bytes that did
// get written in *written.
int64_t WriteFile(intptr_t handle, const void* buffer, size_t count, size_t* written);
// One piece of a gathered write.
struct WritePiece {
    const void* data;
    size_t size;
};
constexpr size_t kMaxWritePieces = 8;
// Writes the pieces (at most kMaxWritePieces that are not empty) one after
// the other, with one system call as a rule; on failure returns -1 with the
// bytes that did get written in *written.
int64_t WriteFilePieces(intptr_t handle, const WritePiece* pieces, size_t count, size_t* written);
// The file's size, or -1.
int64_t FileSize(intptr_t handle);
// Moves to the end of the file, for appending; a file that cannot seek (a
// pipe, FIFO or terminal) is at its end already. False on failure.
bool SeekToEnd(intptr_t handle);
// Whether anything exists under the name.
bool NameExists(const char* name);

}  // namespace host
