// Print and submit: a file is handed to a command the operator configured
// (run without a shell, with the file's real path as its last argument) or
// copied into a spool directory. Nothing runs unless it was configured.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zeld/status_codes.h"
#include "ztsock/socket.h"

namespace zeld {

// Splits a command line into words: blanks separate them, single and
// double quotes group, a backslash takes the next character as it is.
// False for an unclosed quote or no words at all.
bool SplitCommand(std::string_view text, std::vector<std::string>* words);

class Spooler {
public:
    // Nothing configured: every hand-over is refused.
    Spooler() = default;
    // A command (already split into words) or a spool directory.
    static std::unique_ptr<Spooler> ForCommand(std::vector<std::string> words);
    static std::unique_ptr<Spooler> ForDirectory(const std::string& directory, std::string* error);

    // How long a command may run before it is stopped and counted failed.
    static constexpr int kCommandSeconds = 60;

    // Hands over the open file `fd` (real path `realPath`, file name
    // `name`) for `user`: kOk, or kStatusSpoolFailure. A command is given
    // the path only while it still leads to that same file. Once `*cutOff`
    // is true (a stopping server's grace period is over) a command still
    // running is killed and counted failed, as one that ran too long.
    StatusValue Hand(int fd, const std::string& realPath, const std::string& name, const std::string& user,
                     const std::atomic<bool>* cutOff = nullptr) const;

private:
    StatusValue RunCommand(int fd, const std::string& realPath, const std::string& user,
                           const std::atomic<bool>* cutOff) const;
    StatusValue CopyToDirectory(int fd, const std::string& name) const;

    std::vector<std::string> command_;
    ztsock::UniqueFd directory_;
};

}  // namespace zeld
