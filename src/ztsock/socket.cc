#include "ztsock/socket.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace ztsock {

void UniqueFd::Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

Deadline::Deadline(int milliseconds)
    : unlimited_(milliseconds < 0),
      end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0))) {}

int Deadline::RemainingMs() const {
    if (unlimited_) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end_ - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
}

int WaitFor(int fd, short events, int timeoutMs) {
    const Deadline deadline(timeoutMs);
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, deadline.RemainingMs());
        if (ready >= 0) return ready > 0 ? 1 : 0;
        if (errno != EINTR) return -1;
    }
}

void SetLinkOptions(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
}

}  // namespace ztsock
