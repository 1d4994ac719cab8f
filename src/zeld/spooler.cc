#include "zeld/spooler.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

extern char** environ;

namespace zeld {
namespace {

constexpr int kPollMilliseconds = 20;
constexpr int kCopyNameAttempts = 1000;

void Pause(int milliseconds) {
    const struct timespec pause = {0, milliseconds * 1000000L};
    ::nanosleep(&pause, nullptr);
}

}  // namespace

bool SplitCommand(std::string_view text, std::vector<std::string>* words) {
    words->clear();
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else if (c == '\\' && quote == '"' && i + 1 < text.size()) {
                word += text[++i];
            } else {
                word += c;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) words->push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote != 0) return false;
    if (inWord) words->push_back(std::move(word));
    return !words->empty();
}

std::unique_ptr<Spooler> Spooler::ForCommand(std::vector<std::string> words) {
    std::unique_ptr<Spooler> spooler(new Spooler);
    spooler->command_ = std::move(words);
    return spooler;
}

std::unique_ptr<Spooler> Spooler::ForDirectory(const std::string& directory, std::string* error) {
    std::unique_ptr<Spooler> spooler(new Spooler);
    spooler->directory_.Reset(::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!spooler->directory_.valid()) {
        *error = "cannot open the spool directory " + directory + ": " + std::strerror(errno);
        return nullptr;
    }
    return spooler;
}

StatusValue Spooler::Hand(int fd, const std::string& realPath, const std::string& name, const std::string& user,
                          const std::atomic<bool>* cutOff) const {
    if (!command_.empty()) return RunCommand(fd, realPath, user, cutOff);
    if (directory_.valid()) return CopyToDirectory(fd, name);
    return kStatusSpoolFailure;
}

StatusValue Spooler::RunCommand(int fd, const std::string& realPath, const std::string& user,
                                const std::atomic<bool>* cutOff) const {
    // The command opens the file by its path, which must still lead to the
    // file the client opened, not to what a rename in another session has
    // put there since: another client's file, or a link out of the tree.
    struct stat opened;
    struct stat named;
    if (::fstat(fd, &opened) != 0 || ::stat(realPath.c_str(), &named) != 0 || opened.st_dev != named.st_dev ||
        opened.st_ino != named.st_ino)
        return kStatusSpoolFailure;
    std::vector<char*> argv;
    for (const std::string& word : command_) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(const_cast<char*>(realPath.c_str()));
    argv.push_back(nullptr);

    // The user name reaches the command in its environment, never in a command line.
    std::string userVariable = "ZELD_USER=" + user;
    std::vector<char*> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "ZELD_USER=", 10) != 0) environment.push_back(*entry);
    }
    environment.push_back(userVariable.data());
    environment.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int stream = 0; stream <= 2; ++stream) {
        posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", stream == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    // The command leads a process group of its own, so that giving it up
    // ends what it started too (a shell's children), not only its first
    // process.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) return kStatusSpoolFailure;

    int status = 0;
    for (int waited = 0;; waited += kPollMilliseconds) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (done < 0 && errno != EINTR) return kStatusSpoolFailure;
        // Left to run on, the command would keep a stopping server waiting.
        if (waited >= kCommandSeconds * 1000 || (cutOff != nullptr && cutOff->load())) {
            ::kill(-child, SIGKILL);
            // A second stop signal must not leave the command unreaped.
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            return kStatusSpoolFailure;
        }
        Pause(kPollMilliseconds);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? kOk : kStatusSpoolFailure;
}

StatusValue Spooler::CopyToDirectory(int fd, const std::string& name) const {
    // Written under a temporary name, then linked under the file's name (or
    // NAME.1, NAME.2, ...) so that whoever takes jobs never sees half a file.
    static std::atomic<unsigned> jobs{0};
    char staging[64];
    std::snprintf(staging, sizeof staging, ".zeld-spool-%ld-%u", static_cast<long>(::getpid()), jobs++);
    ztsock::UniqueFd out(::openat(directory_.get(), staging, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!out.valid()) return kStatusSpoolFailure;
    bool copied = true;
    off_t offset = 0;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            copied = got == 0;
            break;
        }
        offset += got;
        for (ssize_t put = 0; put < got && copied;) {
            const ssize_t wrote = ::write(out.get(), buffer + put, static_cast<size_t>(got - put));
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote < 0) copied = false;
            else put += wrote;
        }
        if (!copied) break;
    }
    if (::close(out.Release()) != 0) copied = false;
    bool placed = false;
    for (int attempt = 0; copied && !placed && attempt < kCopyNameAttempts; ++attempt) {
        const std::string target = attempt == 0 ? name : name + "." + std::to_string(attempt);
        if (::linkat(directory_.get(), staging, directory_.get(), target.c_str(), 0) == 0) {
            placed = true;
        } else if (errno != EEXIST) {
            break;
        }
    }
    ::unlinkat(directory_.get(), staging, 0);
    return placed ? kOk : kStatusSpoolFailure;
}

}  // namespace zeld
