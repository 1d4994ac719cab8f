// Socket primitives both sides of the transport share: an owned descriptor,
// a bounded wait for readiness, and the options every link's socket gets.
#pragma once

#include <poll.h>

#include <chrono>
#include <utility>

namespace ztsock {

// A descriptor closed when its owner goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int Release() { return std::exchange(fd_, -1); }
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

// A point in time after which a wait gives up; negative milliseconds: never.
class Deadline {
public:
    explicit Deadline(int milliseconds);
    // Milliseconds left for poll(2): -1 without a limit, else 0 or more.
    int RemainingMs() const;

private:
    bool unlimited_;
    std::chrono::steady_clock::time_point end_;
};

// Waits until `fd` reports one of `events` (or an error or hang-up) or the
// timeout passes; a signal does not cut the wait short. Returns 1 when
// ready, 0 on timeout, -1 with errno on failure.
int WaitFor(int fd, short events, int timeoutMs);

// TCP_NODELAY, so that a request and its reply are not held back, and
// SO_KEEPALIVE, so that a vanished peer is noticed eventually.
void SetLinkOptions(int fd);

}  // namespace ztsock
