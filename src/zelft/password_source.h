// Where the password of a link comes from: a file named by --password-file
// (its first line), the environment variable ZELFT_PASSWORD, or a prompt
// without echo on the controlling terminal. Never the command line, so it
// does not show in the process list.
#pragma once

#include <string>

namespace zelft {

constexpr const char kPasswordVariable[] = "ZELFT_PASSWORD";

enum class PasswordResult { kFound, kNone, kError };

// The first line of `path`, without its line end. kError with a message when
// the file cannot be read.
PasswordResult ReadPasswordFile(const std::string& path, std::string* password, std::string* error);

// The value of ZELFT_PASSWORD. The variable's text is overwritten in place
// and the variable removed, so that the password does not stay readable in
// /proc/PID/environ (`ps e`) while the transfer runs.
PasswordResult TakePasswordFromEnvironment(std::string* password);

// Asks for the password on the controlling terminal with echo off; kNone
// when the process has no terminal.
PasswordResult PromptForPassword(const std::string& prompt, std::string* password, std::string* error);

// The password for `user`: the file when one is named, else the environment,
// else a prompt. kNone when `user` is empty or no source gave one.
PasswordResult ObtainPassword(const std::string& passwordFile, const std::string& user, const std::string& node,
                              std::string* password, std::string* error);

}  // namespace zelft
