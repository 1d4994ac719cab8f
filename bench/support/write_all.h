// Writes all of a buffer to a descriptor, as the benchmark programs write
// their files: false when a write fails or makes no progress.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace zelbench {

inline bool WriteAll(int fd, const void* data, size_t length) {
    const auto* at = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const ssize_t written = ::write(fd, at, length);
        if (written <= 0) return false;
        at += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace zelbench
