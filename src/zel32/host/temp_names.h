// Temporary files of the library: the temporary directory ($TMPDIR when it
// names a directory, else /tmp) and new files with unique names in it, made
// exclusively and readable by their owner only. A long directory listing is
// spooled into such a file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

// The temporary directory, without a trailing slash, into out (size bytes,
// its NUL included). False when it does not fit.
bool TempDirectory(char* out, size_t size);

// Creates a new file `directory`/`prefix`XXXXXX.TMP under a name no file has
// yet (mode 0600, close-on-exec) and writes the name into `name` (size
// bytes). Returns the file's handle, or -1 when the name does not fit or no
// file could be created.
intptr_t CreateTempFile(const char* directory, const char* prefix, char* name, size_t size);

}  // namespace host
