#include "zel32/host/file_times.h"

#include <sys/stat.h>

namespace host {

bool LastWriteTimeUtc(intptr_t handle, std::tm* utc) {
    if (handle <= 0) return false;
    struct stat info;
    if (::fstat(static_cast<int>(handle - 1), &info) != 0) return false;
    const time_t seconds = info.st_mtim.tv_sec;
    return ::gmtime_r(&seconds, utc) != nullptr;
}

}  // namespace host
