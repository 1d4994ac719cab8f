#include "zeld/status_codes.h"

#include <cerrno>

namespace zeld {

StatusValue StatusForErrno(int error, Stage stage) {
    switch (error) {
        case ENOENT: return kStatusFileNotFound;
        case ENOTDIR: return kStatusDirectoryNotFound;
        case EEXIST: return kStatusFileExists;
        case EACCES:
        case EPERM:
        case EISDIR:
        case ENOTEMPTY: return kStatusProtected;
        case EROFS:
        case ELOOP:
        case EXDEV: return kStatusPrivilege;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return kStatusDeviceFull;
        case EBUSY:
        case ETXTBSY:
        case EWOULDBLOCK: return kStatusLocked;
        case ENAMETOOLONG:
        case EINVAL: return kStatusBadDirectoryName;
        default: break;
    }
    switch (stage) {
        case Stage::kRead: return kStatusReadError;
        case Stage::kWrite: return kStatusWriteError;
        case Stage::kOpen: break;
    }
    return kStatusUnspecified;
}

const char* StatusText(StatusValue status) {
    switch (MacOf(status)) {
        case kMacUnsupported: return "unsupported";
        case kMacFormat: return "malformed message";
        case kMacInvalid: return "invalid field";
        case kMacSync: return "sync error";
        default: break;
    }
    switch (status) {
        case kStatusBadDirectoryName: return "bad name";
        case kStatusDirectoryNotFound: return "directory not found";
        case kStatusProtected: return "protected";
        case kStatusFileExists: return "file exists";
        case kStatusLocked: return "locked";
        case kStatusFileNotFound: return "file not found";
        case kStatusPrivilege: return "privilege violation";
        case kStatusDeviceFull: return "device full";
        case kStatusSpoolFailure: return "spool or submit failure";
        case kStatusBadWildcard: return "invalid wildcard";
        case kStatusEndOfFile: return "end of file";
        case kStatusReadError: return "read error";
        case kStatusWriteError: return "write error";
        default: return "error";
    }
}

}  // namespace zeld
