#include "support/zeld_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

extern char** environ;

namespace zeltest {
namespace {

constexpr int kStartAttempts = 5;
constexpr auto kStartPatience = std::chrono::seconds(20);
constexpr auto kStopPatience = std::chrono::seconds(20);

std::string NameOf(const std::string& assignment) { return assignment.substr(0, assignment.find('=')); }

// This process's environment without ZELFT_PASSWORD and without the names
// `extra` sets, then `extra`.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string assignment = *entry;
        const std::string name = NameOf(assignment);
        bool replaced = name == "ZELFT_PASSWORD";
        for (const std::string& added : extra) replaced = replaced || NameOf(added) == name;
        if (!replaced) result.push_back(assignment);
    }
    result.insert(result.end(), extra.begin(), extra.end());
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

void ReadAvailable(int* fd, std::string* into) {
    char buffer[65536];
    const ssize_t got = ::read(*fd, buffer, sizeof buffer);
    if (got > 0) {
        into->append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
        ::close(*fd);
        *fd = -1;
    }
}

}  // namespace

std::string ZeldPath() { return BuildDir() + "/zeld"; }

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        Kill(SIGKILL);
        Finish();
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const RunOptions& options, int stderrFd) {
    std::vector<std::string> arguments = argv;
    if (!options.directory.empty()) {
        arguments.insert(arguments.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", options.directory});
    }
    std::vector<std::string> environment = ChildEnvironment(options.environment);
    int input[2], output[2], errors[2];
    if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(errors, O_CLOEXEC) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, stderrFd >= 0 ? stderrFd : errors[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
#ifdef POSIX_SPAWN_SETSID
    // Without a controlling terminal zelft cannot prompt for a password.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
#endif
    // The signals that end a program start at their default action, even
    // when this process was started ignoring them (in the background of a
    // script): tests send them, and a program keeps what it inherits.
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signalNumber);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    short flags = 0;
    posix_spawnattr_getflags(&attributes, &flags);
    posix_spawnattr_setflags(&attributes, static_cast<short>(flags | POSIX_SPAWN_SETSIGDEF));
    std::vector<char*> argumentPointers = Pointers(arguments);
    std::vector<char*> environmentPointers = Pointers(environment);
    const int spawned = ::posix_spawn(&pid_, argumentPointers[0], &actions, &attributes, argumentPointers.data(),
                                      environmentPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(input[0]);
    ::close(output[1]);
    ::close(errors[1]);
    if (spawned != 0) {
        pid_ = -1;
        ::close(input[1]);
        ::close(output[0]);
        ::close(errors[0]);
        return false;
    }
    reaped_ = false;
    // Small inputs only: they fit in the pipe.
    if (!options.input.empty() && ::write(input[1], options.input.data(), options.input.size()) < 0) {
        // The child may have ended already; its result tells.
    }
    ::close(input[1]);
    outFd_ = output[0];
    errFd_ = errors[0];
    return true;
}

bool ChildProcess::Exited() {
    if (reaped_) return true;
    if (::waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
    return reaped_;
}

void ChildProcess::Kill(int signalNumber) {
    if (pid_ > 0 && !reaped_) ::kill(pid_, signalNumber);
}

ProcessResult ChildProcess::Finish() {
    ProcessResult result;
    while (outFd_ >= 0 || errFd_ >= 0) {
        pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (outFd_ >= 0 && fds[0].revents != 0) ReadAvailable(&outFd_, &result.out);
        if (errFd_ >= 0 && fds[1].revents != 0) ReadAvailable(&errFd_, &result.err);
    }
    while (!reaped_) {
        if (::waitpid(pid_, &status_, 0) == pid_) reaped_ = true;
        else if (errno != EINTR) break;
    }
    if (WIFEXITED(status_)) result.exitCode = WEXITSTATUS(status_);
    if (WIFSIGNALED(status_)) result.exitCode = 128 + WTERMSIG(status_);
    return result;
}

ProcessResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
    ChildProcess child;
    if (!child.Start(argv, options)) return ProcessResult{-1, "", "cannot start " + argv[0]};
    return child.Finish();
}

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) ::close(fd);
    return port;
}

std::string HashPassword(const std::string& password) {
    const ProcessResult result = RunProgram({ZeldPath(), "--hash-password"}, RunOptions{{}, password + "\n", ""});
    std::string hash = result.out;
    while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r')) hash.pop_back();
    return result.exitCode == 0 ? hash : "";
}

std::string BinaryContent(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string content(size, '\0');
    for (char& c : content) c = static_cast<char>(generator() & 0xFF);
    return content;
}

ZeldServer::ZeldServer(ZeldOptions options) : options_(std::move(options)) {}

ZeldServer::~ZeldServer() { Stop(); }

int ZeldServer::Stop() {
    if (process_.pid() <= 0) return -1;
    if (!stopped_) {
        process_.Kill(SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStopPatience;
        while (!process_.Exited() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        process_.Kill(SIGKILL);
        ended_ = process_.Finish();
        stopped_ = true;
    }
    return ended_.exitCode;
}

std::string ZeldServer::log() const { return ReadFile(files_ / "zeld.log"); }

bool ZeldServer::Start(std::string* error) {
    std::vector<std::string> base = launcher_;
    base.insert(base.end(), {ZeldPath(), "--root", root(), "--foreground", "--log", files_ / "zeld.log",
                             "--personality", options_.personality});
    if (!options_.usersText.empty()) {
        WriteFile(files_ / "users", options_.usersText);
        base.insert(base.end(), {"--users", files_ / "users"});
    }
    base.insert(base.end(), options_.arguments.begin(), options_.arguments.end());
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        port_ = FreePort();
        std::vector<std::string> argv = base;
        argv.insert(argv.end(), {"--listen", node()});
        // zeld's own output goes to the pipes, which Finish drains at the end;
        // with --log it writes next to nothing there.
        if (!process_.Start(argv, RunOptions{})) {
            *error = "cannot start " + ZeldPath();
            return false;
        }
        // Its log says when it listens. (A trial connection would take one of
        // its client places until it noticed that connection gone.)
        const std::string listening = "listening on " + node() + "\n";
        const auto deadline = std::chrono::steady_clock::now() + kStartPatience;
        while (!process_.Exited() && std::chrono::steady_clock::now() < deadline) {
            if (log().find(listening) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        process_.Kill(SIGKILL);  // gone (probably the port was taken meanwhile) or stuck
        const ProcessResult ended = process_.Finish();
        *error = "zeld did not start: " + ended.err + log();
    }
    return false;
}

}  // namespace zeltest
