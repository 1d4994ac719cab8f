#include "zelft/staged_download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zelft/copy_names.h"

namespace zelft {

StagedDownload::StagedDownload(std::string target) : target_(std::move(target)) {
    struct stat info {};
    const bool exists = ::lstat(target_.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        written_ = target_;
        return;
    }
    if (exists) {
        hadMode_ = true;
        existingMode_ = info.st_mode & 07777;
    }
    std::string pattern = JoinLocal(LocalDirectoryOf(target_), ".zelft-XXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        failure_ = LocalFailure("get: cannot create a file beside " + target_ + ": " + std::strerror(errno));
        return;
    }
    ::close(fd);
    written_ = name.data();
    temporary_ = true;
}

StagedDownload::~StagedDownload() {
    if (temporary_) ::unlink(written_.c_str());
}

Failure StagedDownload::Commit() {
    if (!temporary_) return Failure{};
    mode_t mode = static_cast<mode_t>(existingMode_);
    if (!hadMode_) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::chmod(written_.c_str(), mode) != 0 || ::rename(written_.c_str(), target_.c_str()) != 0) {
        return LocalFailure("get: cannot put the copy in place as " + target_ + ": " + std::strerror(errno));
    }
    temporary_ = false;
    return Failure{};
}

}  // namespace zelft
