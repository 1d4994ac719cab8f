// Programs run as child processes for the end-to-end tests: their output and
// exit code captured, and a zeld on a free loopback port serving a scratch
// tree, started, waited for and stopped as a user would.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/test_paths.h"

namespace zeltest {

std::string ZeldPath();

struct ProcessResult {
    int exitCode = -1;  // 128 + signal number when a signal ended it
    std::string out;
    std::string err;
};

struct RunOptions {
    std::vector<std::string> environment;  // NAME=VALUE added to (or replacing in) this process's
    std::string input;                     // written to standard input, which then closes
    std::string directory;                 // working directory, if not this one
};

// Runs a program to its end. ZELFT_PASSWORD is removed from the inherited
// environment unless `options` sets it.
ProcessResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {});

// A program started with posix_spawn, its standard output and error on pipes
// (or standard error on a given descriptor).
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::vector<std::string>& argv, const RunOptions& options, int stderrFd = -1);
    pid_t pid() const { return pid_; }
    bool Exited();  // without waiting
    // Reads the pipes until the process ends; its exit code.
    ProcessResult Finish();
    void Kill(int signalNumber);

private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

struct ZeldOptions {
    std::string personality = "stream";
    std::string usersText;               // users file content; empty: none
    std::vector<std::string> arguments;  // more arguments for zeld
};

// A zeld on 127.0.0.1 with a free port, serving `root()`.
class ZeldServer {
public:
    explicit ZeldServer(ZeldOptions options = {});
    ~ZeldServer();
    // What runs zeld (its arguments follow), e.g. a shell that sets a limit
    // first; nothing by default.
    void SetLauncher(std::vector<std::string> launcher) { launcher_ = std::move(launcher); }
    // Starts zeld and waits until it takes connections. False with a message.
    bool Start(std::string* error);
    // Stops it with SIGTERM and waits for it (SIGKILL when it does not end);
    // its exit code. Later calls give the same.
    int Stop();
    // What it wrote to standard error until it stopped.
    const std::string& errors() const { return ended_.err; }
    std::string node() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string Remote(const std::string& path) const { return node() + "::" + path; }
    const std::string& root() const { return root_.path(); }
    std::string Path(const std::string& name) const { return root_ / name; }
    std::string log() const;

private:
    ZeldOptions options_;
    std::vector<std::string> launcher_;
    ScratchDir root_;
    ScratchDir files_;  // users file, log
    ChildProcess process_;
    ProcessResult ended_;
    bool stopped_ = false;
    int port_ = 0;
};

// A crypt(3) hash of `password` made by `zeld --hash-password`.
std::string HashPassword(const std::string& password);

// A port on 127.0.0.1 that nothing listens on at the moment.
int FreePort();

// Bytes 0 to 255 over and over, `size` of them, shuffled by `seed`.
std::string BinaryContent(size_t size, unsigned seed);

}  // namespace zeltest
