#include "zelft/copy_names.h"

namespace zelft {
namespace {

// Where the file name begins: behind the directory of the bracketed form
// ("[DIR]NAME", "<DIR>NAME", "DEV:[DIR]NAME": a bracket that opens the
// name or follows a device), else behind the last "/". A bracket anywhere
// else is part of a name ("tmp/old[1]"), as the server reads it.
size_t FileStart(std::string_view remotePath) {
    const size_t open = remotePath.find_first_of("[<");
    const bool bracketed = open != std::string_view::npos &&
                           (open == 0 || (remotePath[open - 1] == ':' &&
                                          remotePath.substr(0, open).find('/') == std::string_view::npos));
    if (bracketed) {
        const size_t close = remotePath.find(remotePath[open] == '[' ? ']' : '>', open + 1);
        if (close != std::string_view::npos) return close + 1;
    }
    const size_t slash = remotePath.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

bool HoldsWildcard(std::string_view text) { return text.find_first_of("*%") != std::string_view::npos; }

}  // namespace

bool HasWildcard(std::string_view remotePath) { return HoldsWildcard(RemoteFilePart(remotePath)); }

bool HasWildcardInDirectory(std::string_view remotePath) { return HoldsWildcard(RemoteDirectoryPart(remotePath)); }

std::string_view RemoteDirectoryPart(std::string_view remotePath) { return remotePath.substr(0, FileStart(remotePath)); }

std::string_view RemoteFilePart(std::string_view remotePath) { return remotePath.substr(FileStart(remotePath)); }

std::string RemoteBaseName(std::string_view remotePath) {
    std::string_view name = RemoteFilePart(remotePath);
    // A version is ";" and digits at the end (A.TXT;12); any other ";" is
    // part of the name, as on a Unix server.
    const size_t version = name.rfind(';');
    if (version != std::string_view::npos &&
        name.find_first_not_of("0123456789", version + 1) == std::string_view::npos) {
        name = name.substr(0, version);
    }
    return std::string(name);
}

bool NamesRemoteDirectory(std::string_view remotePath) { return FileStart(remotePath) == remotePath.size(); }

std::string RemoteNameInDirectory(std::string_view remoteDirectory, std::string_view name) {
    std::string target(remoteDirectory);
    if (!NamesRemoteDirectory(target)) target += '/';
    return target + std::string(name);
}

std::string LocalBaseName(std::string_view localPath) {
    while (localPath.size() > 1 && localPath.back() == '/') localPath.remove_suffix(1);
    const size_t slash = localPath.rfind('/');
    return std::string(slash == std::string_view::npos ? localPath : localPath.substr(slash + 1));
}

std::string LocalDirectoryOf(std::string_view localPath) {
    while (localPath.size() > 1 && localPath.back() == '/') localPath.remove_suffix(1);
    const size_t slash = localPath.rfind('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(localPath.substr(0, slash));
}

bool IsLocalFileName(std::string_view name) {
    constexpr std::string_view kNotInAName("/\0", 2);
    return !name.empty() && name != "." && name != ".." && name.find_first_of(kNotInAName) == std::string_view::npos;
}

std::string JoinLocal(std::string_view directory, std::string_view name) {
    std::string path(directory);
    if (path.empty()) return std::string(name);
    if (path.back() != '/') path += '/';
    return path + std::string(name);
}

}  // namespace zelft
