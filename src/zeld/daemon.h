// Becoming a daemon: detached from the terminal and the session that
// started it, working directory "/", standard streams on /dev/null.
#pragma once

#include <string>

namespace zeld {

// Double fork and setsid; returns in the daemon only (the parents exit 0).
// False with a message when a step fails.
bool Daemonize(std::string* error);

// `path` made absolute against the working directory (before the daemon
// changes it); left as it is when already absolute or empty.
std::string AbsolutePath(const std::string& path);

}  // namespace zeld
