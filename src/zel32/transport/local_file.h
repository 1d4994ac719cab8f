// The local-file service of the operations: open, close, read and write a
// local file, recording failures on the link (7 for an open, 8 for a bad
// handle, 1 for a failed read, write or close).
#pragma once

#include <cstdint>

#include "zel32/host/local_files.h"

struct ZelContext;

intptr_t RfaOpenLocalFile(ZelContext* context, const char* name, host::OpenMode mode);
int RfaCloseLocalFile(ZelContext* context, intptr_t handle);
int32_t RfaReadLocalFile(ZelContext* context, intptr_t handle, void* buffer, uint32_t count);
int32_t RfaWriteLocalFile(ZelContext* context, intptr_t handle, const void* buffer, uint32_t count);
// Writes the pieces as one write; a failure records 1 with the bytes that
// did get written as its value. Returns the bytes written, or -1 with that
// count in *written.
int32_t RfaWriteLocalPieces(ZelContext* context, intptr_t handle, const host::WritePiece* pieces, size_t count,
                            size_t* written);
