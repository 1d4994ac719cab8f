// Looking at the host around a test: an environment variable set for the
// test's duration, and whether the process still holds a file open.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace zeltest {

// Sets (or, with nullopt, removes) a variable and puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (old_) {
            ::setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Whether any descriptor of the process refers to the file at `path`.
inline bool HoldsOpen(const std::string& path) {
    DIR* directory = ::opendir("/proc/self/fd");
    if (directory == nullptr) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        char target[4096];
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
        if (length > 0 && std::string(target, static_cast<size_t>(length)) == path) found = true;
    }
    ::closedir(directory);
    return found;
}

}  // namespace zeltest
