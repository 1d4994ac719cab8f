#include "zel32/transport/local_file.h"

#include "zel32/protocol/context.h"

intptr_t RfaOpenLocalFile(ZelContext* context, const char* name, host::OpenMode mode) {
    const intptr_t handle = host::OpenFile(name, mode);
    if (handle < 0) {
        RfaSetError(context, RFA_ERR_FILE_NOT_FOUND, 0);
        return -1;
    }
    return handle;
}

int RfaCloseLocalFile(ZelContext* context, intptr_t handle) {
    if (!host::CloseFile(handle)) {
        RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
        return -1;
    }
    return 1;
}

int32_t RfaReadLocalFile(ZelContext* context, intptr_t handle, void* buffer, uint32_t count) {
    if (handle <= 0) {
        RfaSetError(context, RFA_ERR_FILE_LOCKED, 0);
        return -1;
    }
    if (buffer == nullptr) {
        RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
        return -1;
    }
    const int64_t n = host::ReadFile(handle, buffer, count);
    if (n < 0) {
        RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
        return -1;
    }
    return static_cast<int32_t>(n);
}

int32_t RfaWriteLocalFile(ZelContext* context, intptr_t handle, const void* buffer, uint32_t count) {
    // Only 0 is refused here; a negative handle fails in the write itself.
    if (handle == 0) {
        RfaSetError(context, RFA_ERR_FILE_LOCKED, 0);
        return -1;
    }
    if (buffer == nullptr) {
        RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
        return -1;
    }
    size_t written = 0;
    if (host::WriteFile(handle, buffer, count, &written) < 0) {
        RfaSetError(context, RFA_ERR_LOCAL_IO, static_cast<int32_t>(written));
        return -1;
    }
    return static_cast<int32_t>(written);
}

int32_t RfaWriteLocalPieces(ZelContext* context, intptr_t handle, const host::WritePiece* pieces, size_t count,
                            size_t* written) {
    *written = 0;
    if (handle == 0) {
        RfaSetError(context, RFA_ERR_FILE_LOCKED, 0);
        return -1;
    }
    if (host::WriteFilePieces(handle, pieces, count, written) < 0) {
        RfaSetError(context, RFA_ERR_LOCAL_IO, static_cast<int32_t>(*written));
        return -1;
    }
    return static_cast<int32_t>(*written);
}
