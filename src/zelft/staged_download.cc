#include "zelft/staged_download.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "zelft/copy_names.h"
#include "zelft/temporary_file.h"

namespace zelft {

Failure CheckDownloadTarget(const std::string& target) {
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        // Written in place, as below. A link to nothing is no refusal: the
        // copy creates the file it names.
        if (::access(target.c_str(), W_OK) == 0 || (S_ISLNK(info.st_mode) && errno == ENOENT)) return Failure{};
        return LocalFailure("get: cannot write to " + target + ": " + std::strerror(errno));
    }
    const std::string directory = LocalDirectoryOf(target);
    if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return LocalFailure("get: no local directory " + directory + " for " + target);
    }
    if (::access(directory.c_str(), W_OK) != 0) return LocalFailure("get: cannot write into " + directory);
    return Failure{};
}

StagedDownload::StagedDownload(std::string target) : target_(std::move(target)) {
    struct stat info {};
    const bool exists = ::lstat(target_.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        written_ = target_;
        return;
    }
    if (exists) existingMode_ = info.st_mode & 07777;
    std::string name = JoinLocal(LocalDirectoryOf(target_), ".zelft-XXXXXX");
    if (!CreateTemporaryFile(&name)) {
        failure_ = LocalFailure("get: cannot create a file beside " + target_ + ": " + std::strerror(errno));
        return;
    }
    written_ = std::move(name);
    temporary_ = true;
}

StagedDownload::~StagedDownload() {
    if (!temporary_) return;
    ::unlink(written_.c_str());
    ForgetTemporaryFile();
}

Failure StagedDownload::Commit() {
    if (!temporary_) return Failure{};
    mode_t mode = 0;
    if (existingMode_) {
        mode = *existingMode_;
    } else {
        const mode_t mask = ::umask(0);  // read back at once: umask has no getter
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::chmod(written_.c_str(), mode) != 0 || ::rename(written_.c_str(), target_.c_str()) != 0) {
        return LocalFailure("get: cannot put the copy in place as " + target_ + ": " + std::strerror(errno));
    }
    temporary_ = false;
    ForgetTemporaryFile();
    return Failure{};
}

}  // namespace zelft
