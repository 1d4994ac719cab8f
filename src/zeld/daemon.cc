#include "zeld/daemon.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zeld {

bool Daemonize(std::string* error) {
    pid_t child = ::fork();
    if (child < 0) {
        *error = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (child > 0) std::_Exit(0);
    if (::setsid() < 0) {
        *error = std::string("setsid: ") + std::strerror(errno);
        return false;
    }
    // A second fork: the daemon is no session leader and never gets a terminal.
    child = ::fork();
    if (child < 0) {
        *error = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (child > 0) std::_Exit(0);
    if (::chdir("/") != 0) {
        *error = std::string("chdir /: ") + std::strerror(errno);
        return false;
    }
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) {
        *error = std::string("/dev/null: ") + std::strerror(errno);
        return false;
    }
    for (int stream = 0; stream <= 2; ++stream) ::dup2(null, stream);
    if (null > 2) ::close(null);
    return true;
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    char* here = ::getcwd(nullptr, 0);
    if (here == nullptr) return path;
    std::string absolute = std::string(here) + "/" + path;
    std::free(here);
    return absolute;
}

}  // namespace zeld
