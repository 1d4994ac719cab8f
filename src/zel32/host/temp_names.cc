#include "zel32/host/temp_names.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

#include "zel32/host/local_files.h"

namespace host {
namespace {

constexpr char kDefaultDirectory[] = "/tmp";
constexpr int kAttempts = 100;
constexpr int kUniqueCharacters = 6;

bool IsDirectory(const char* path) {
    struct stat info;
    return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// A new candidate each call: the process, the time and a running count,
// mixed so that neighbouring calls differ in every character.
uint64_t NextCandidate() {
    static thread_local uint64_t counter = 0;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    uint64_t value = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
                     (static_cast<uint64_t>(::getpid()) << 16) ^ (++counter * 0x9E3779B97F4A7C15ull);
    value ^= value >> 33;
    value *= 0xFF51AFD7ED558CCDull;
    value ^= value >> 33;
    return value;
}

}  // namespace

bool TempDirectory(char* out, size_t size) {
    // $TMPDIR stands in for the platform's temporary-path call.
    const char* directory = std::getenv("TMPDIR");
    if (directory == nullptr || directory[0] == '\0' || !IsDirectory(directory)) directory = kDefaultDirectory;
    size_t length = std::strlen(directory);
    while (length > 1 && directory[length - 1] == '/') --length;
    if (length >= size) return false;
    std::memcpy(out, directory, length);
    out[length] = '\0';
    return true;
}

intptr_t CreateTempFile(const char* directory, const char* prefix, char* name, size_t size) {
    static constexpr char kCharacters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        uint64_t value = NextCandidate();
        char unique[kUniqueCharacters + 1];
        for (int i = 0; i < kUniqueCharacters; ++i) {
            unique[i] = kCharacters[value % (sizeof kCharacters - 1)];
            value /= sizeof kCharacters - 1;
        }
        unique[kUniqueCharacters] = '\0';
        const char* separator = std::strcmp(directory, "/") == 0 ? "" : "/";
        const int length = std::snprintf(name, size, "%s%s%s%s.TMP", directory, separator, prefix, unique);
        if (length < 0 || static_cast<size_t>(length) >= size) {
            if (size > 0) name[0] = '\0';
            return -1;
        }
        const intptr_t handle = CreateExclusive(name);
        if (handle > 0) return handle;
        if (errno != EEXIST) break;
    }
    if (size > 0) name[0] = '\0';
    return -1;
}

}  // namespace host
