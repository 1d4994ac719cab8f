#include "zelft/exit_codes.h"

#include <zel32.h>

namespace zelft {
namespace {

struct ErrorCodeRow {
    int32_t code;
    const char* words;
    const char* localWords;  // the words for the local side of a copy, or null
    ExitCode exitWithoutStatus;  // no remote status caused the error
    ExitCode exitWithStatus;     // errorValue holds the remote status that mapped to this code
};

// One row per error code of zel32.h: its words, the words for the local side
// of a copy, and the exit code without and with a remote status.
constexpr ExitCode kRemote = ExitCode::kRemoteFile, kUsage = ExitCode::kUsage, kLink = ExitCode::kConnection,
                   kLocal = ExitCode::kLocalFile, kOther = ExitCode::kOther;
constexpr ErrorCodeRow kErrorCodes[] = {
    {RFA_ERR_LOCAL_IO, "local file read or write failed", nullptr, kLocal, kLocal},
    {RFA_ERR_NET_RESET, "connection reset or closed by the server", nullptr, kLink, kLink},
    {RFA_ERR_ACCESS_DENIED, "user name or password refused", nullptr, kLink, kLink},
    {RFA_ERR_BAD_ARGUMENT, "argument rejected by the library", nullptr, kUsage, kUsage},
    {RFA_ERR_DIR_NOT_FOUND, "directory not found", nullptr, kRemote, kRemote},
    {RFA_ERR_FILE_PROTECTED, "file protected", nullptr, kRemote, kRemote},
    {RFA_ERR_FILE_NOT_FOUND, "file not found", "local file cannot be opened or created", kLocal, kRemote},
    {RFA_ERR_FILE_LOCKED, "file locked", nullptr, kRemote, kRemote},
    {RFA_ERR_NET_PROTOCOL, "network protocol error", nullptr, kLink, kLink},
    {RFA_ERR_NO_RESOURCES, "out of resources", nullptr, kOther, kRemote},
    {RFA_ERR_NET_NOT_CONNECTED, "not connected", nullptr, kLink, kLink},
    {RFA_ERR_NODE_UNKNOWN, "node unknown", nullptr, kLink, kLink},
    {RFA_ERR_UNSUPPORTED, "not supported by the server", nullptr, kOther, kOther},
    {RFA_ERR_DEVICE_FULL, "device full", nullptr, kRemote, kRemote},
    {RFA_ERR_PRIVILEGE, "privilege violation", nullptr, kRemote, kRemote},
    {RFA_ERR_PROTOCOL, "protocol error", nullptr, kOther, kRemote},
    {RFA_ERR_CONNECT_FAILED, "connection failed", nullptr, kLink, kLink},
    {RFA_ERR_UNREACHABLE, "node unreachable", nullptr, kLink, kLink},
    {RFA_ERR_RECORD_SIZE, "record size larger than the link's buffer", nullptr, kUsage, kUsage},
};

const ErrorCodeRow* FindRow(int32_t errorCode) {
    for (const ErrorCodeRow& row : kErrorCodes) {
        if (row.code == errorCode) return &row;
    }
    return nullptr;
}

}  // namespace

const char* ErrorCodeWords(int32_t errorCode, bool localSide) {
    if (errorCode == -1) return "the link is not open";
    const ErrorCodeRow* row = FindRow(errorCode);
    if (row == nullptr) return "unknown error";
    return localSide && row->localWords != nullptr ? row->localWords : row->words;
}

// The server's end of file, as the Status decoder leaves it in errorValue:
// it never causes an error (as a cause it would read 0x00050027).
constexpr int32_t kEndOfFileAfterAnError = 0x5027;

bool CausedByRemoteStatus(int32_t errorValue) { return errorValue != 0 && errorValue != kEndOfFileAfterAnError; }

bool IsLocalFileError(int32_t errorCode, int32_t errorValue) {
    return errorCode == RFA_ERR_LOCAL_IO || (errorCode == RFA_ERR_FILE_NOT_FOUND && !CausedByRemoteStatus(errorValue));
}

bool MayCarryRemoteStatus(int32_t errorCode) {
    const ErrorCodeRow* row = FindRow(errorCode);
    return row != nullptr && row->exitWithStatus == ExitCode::kRemoteFile;
}

ExitCode ExitCodeFor(int32_t errorCode, int32_t errorValue) {
    if (errorCode == RFA_OK) return ExitCode::kOk;
    if (errorCode == -1) return ExitCode::kConnection;
    const ErrorCodeRow* row = FindRow(errorCode);
    if (row == nullptr) return ExitCode::kOther;
    return CausedByRemoteStatus(errorValue) && MayCarryRemoteStatus(errorCode) ? row->exitWithStatus
                                                                               : row->exitWithoutStatus;
}

}  // namespace zelft
