#include "fault_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

namespace hardening {
namespace {

constexpr int kPollSliceMs = 100;  // how soon a relay thread sees the relay stop
constexpr size_t kChunk = 65536;
constexpr size_t kFrameHeader = 3;  // kind and a 16-bit little-endian length

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void SetNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Closes with a reset (RST) instead of an orderly close.
void ResetConnection(ztsock::UniqueFd* fd) {
    if (!fd->valid()) return;
    const linger abortive{1, 0};
    ::setsockopt(fd->get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    fd->Reset();
}

}  // namespace

// One direction of a connection: the bytes read and not yet passed on, where
// the frame being passed stands, and the fault armed on it (the fields of
// the fault and the frame count are under the relay's mutex; the rest
// belongs to the connection's thread).
struct FaultRelay::Flow {
    std::vector<uint8_t> pending;
    size_t sent = 0;          // of pending
    bool ended = false;       // the sender closed its side
    bool shut = false;        // the receiver was told (shutdown for writing)
    // Frame counting.
    uint8_t header[kFrameHeader] = {};
    size_t headerFill = 0;
    size_t payloadLeft = 0;
    uint64_t frames = 0;
    // The fault.
    bool armed = false;
    Fault fault = Fault::kSilence;
    uint64_t strikeAtFrames = 0;
    uint64_t bytesLeft = 0;
    bool struck = false;
    bool silenced = false;
    bool stopped = false;
};

struct FaultRelay::Link {
    ztsock::UniqueFd client;
    ztsock::UniqueFd server;
    Flow flows[2];  // by Direction
    std::thread thread;
    std::atomic<bool> finished{false};
};

FaultRelay::FaultRelay(uint16_t serverPort) : serverPort_(serverPort) {}

FaultRelay::~FaultRelay() {
    stopping_ = true;
    if (acceptThread_.joinable()) acceptThread_.join();
    for (const std::unique_ptr<Link>& link : links_) {
        if (link->thread.joinable()) link->thread.join();
    }
}

bool FaultRelay::Start(std::string* error) {
    listener_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (!listener_.valid() || ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), 128) != 0 ||
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        *error = std::string("relay cannot listen: ") + std::strerror(errno);
        return false;
    }
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

std::string FaultRelay::node() const { return "127.0.0.1:" + std::to_string(port_); }

void FaultRelay::ArmLink(Link* link, const Plan& plan) {
    Flow& flow = link->flows[static_cast<int>(plan.direction)];
    flow.armed = true;
    flow.fault = plan.fault;
    flow.strikeAtFrames = flow.frames + plan.frames;
    flow.bytesLeft = plan.bytes;
    flow.struck = false;
}

void FaultRelay::Arm(Direction direction, Fault fault, uint64_t frames, uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (latest_ != nullptr) ArmLink(latest_, Plan{true, direction, fault, frames, bytes});
}

void FaultRelay::ArmNextConnection(Direction direction, Fault fault, uint64_t frames, uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    nextConnection_ = Plan{true, direction, fault, frames, bytes};
}

bool FaultRelay::struck() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return latest_ != nullptr && (latest_->flows[0].struck || latest_->flows[1].struck);
}

uint64_t FaultRelay::frames(Direction direction) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return latest_ == nullptr ? 0 : latest_->flows[static_cast<int>(direction)].frames;
}

void FaultRelay::AcceptLoop() {
    while (!stopping_) {
        pollfd ready{listener_.get(), POLLIN, 0};
        if (::poll(&ready, 1, kPollSliceMs) <= 0) continue;
        ztsock::UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client.valid()) continue;
        ztsock::UniqueFd server(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const sockaddr_in address = Loopback(serverPort_);
        if (!server.valid() ||
            ::connect(server.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            continue;  // no server: the client sees its connection close
        }
        SetNonBlocking(client.get());
        SetNonBlocking(server.get());
        auto link = std::make_unique<Link>();
        link->client = std::move(client);
        link->server = std::move(server);
        Link* started = link.get();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (nextConnection_.armed) ArmLink(started, nextConnection_);
            nextConnection_ = Plan{};
            latest_ = started;
            // Threads of connections that have ended are joined as new ones come.
            for (auto it = links_.begin(); it != links_.end();) {
                if ((*it)->finished) {
                    (*it)->thread.join();
                    it = links_.erase(it);
                } else {
                    ++it;
                }
            }
            links_.push_back(std::move(link));
        }
        started->thread = std::thread([this, started] { Relay(started); });
    }
}

size_t FaultRelay::Passable(Link* link, Direction direction, const uint8_t* data, size_t length,
                            std::optional<Fault>* struck) {
    std::lock_guard<std::mutex> lock(mutex_);
    Flow& flow = link->flows[static_cast<int>(direction)];
    auto counting = [&] { return flow.armed && !flow.struck && flow.frames >= flow.strikeAtFrames; };
    size_t at = 0;
    while (at < length) {
        if (counting() && flow.bytesLeft == 0) {
            flow.struck = true;
            *struck = flow.fault;
            return at;
        }
        size_t span = flow.headerFill < kFrameHeader ? 1 : std::min(flow.payloadLeft, length - at);
        if (counting()) {
            span = std::min<uint64_t>(span, flow.bytesLeft);
            flow.bytesLeft -= span;
        }
        if (flow.headerFill < kFrameHeader) {
            flow.header[flow.headerFill++] = data[at];
            if (flow.headerFill == kFrameHeader) flow.payloadLeft = flow.header[1] | (flow.header[2] << 8);
        } else {
            flow.payloadLeft -= span;
        }
        if (flow.headerFill == kFrameHeader && flow.payloadLeft == 0) {
            ++flow.frames;
            flow.headerFill = 0;
        }
        at += span;
    }
    if (counting() && flow.bytesLeft == 0) {  // it strikes right behind these bytes
        flow.struck = true;
        *struck = flow.fault;
    }
    return length;
}

void FaultRelay::Relay(Link* link) {
    ztsock::UniqueFd* ends[2] = {&link->client, &link->server};  // the sender of each Direction
    auto resetBoth = [&] {
        ResetConnection(&link->client);
        ResetConnection(&link->server);
    };
    std::vector<uint8_t> chunk(kChunk);
    while (!stopping_) {
        Flow* flows = link->flows;
        if (flows[0].shut && flows[1].shut) break;
        pollfd fds[2] = {{link->client.get(), 0, 0}, {link->server.get(), 0, 0}};
        for (int d = 0; d < 2; ++d) {
            const Flow& flow = flows[d];
            if (!flow.ended && !flow.stopped && flow.sent == flow.pending.size()) fds[d].events |= POLLIN;
            if (flow.sent < flow.pending.size()) fds[1 - d].events |= POLLOUT;
        }
        if (::poll(fds, 2, kPollSliceMs) <= 0) continue;
        bool broken = false;
        for (int d = 0; d < 2 && !broken; ++d) {
            Flow& flow = flows[d];
            const int from = ends[d]->get();
            const int to = ends[1 - d]->get();
            if ((fds[d].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && (fds[d].events & POLLIN) != 0) {
                const ssize_t got = ::recv(from, chunk.data(), chunk.size(), 0);
                if (got > 0) {
                    if (flow.silenced) continue;  // read and dropped
                    std::optional<Fault> fault;
                    const size_t passing =
                        Passable(link, static_cast<Direction>(d), chunk.data(), static_cast<size_t>(got), &fault);
                    flow.pending.assign(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(passing));
                    flow.sent = 0;
                    if (fault.has_value()) {
                        switch (*fault) {
                            case Fault::kSilence: flow.silenced = true; break;
                            case Fault::kStopReading: flow.stopped = true; break;
                            case Fault::kReset:
                                // What came before the fault still goes out, as far as it can at once.
                                (void)::send(to, flow.pending.data(), flow.pending.size(), MSG_NOSIGNAL);
                                resetBoth();
                                link->finished = true;
                                return;
                        }
                    }
                } else if (got == 0) {
                    flow.ended = true;
                } else if (errno != EAGAIN && errno != EINTR) {
                    broken = true;
                }
            } else if ((fds[d].revents & (POLLHUP | POLLERR)) != 0) {
                broken = true;  // a sender we do not read from is gone
            }
            if (!broken && (fds[1 - d].revents & POLLOUT) != 0 && flow.sent < flow.pending.size()) {
                const ssize_t put = ::send(to, flow.pending.data() + flow.sent, flow.pending.size() - flow.sent,
                                           MSG_NOSIGNAL | MSG_DONTWAIT);
                if (put > 0) {
                    flow.sent += static_cast<size_t>(put);
                } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
                    broken = true;
                }
            }
            if (!broken && flow.ended && !flow.shut && flow.sent == flow.pending.size()) {
                ::shutdown(to, SHUT_WR);
                flow.shut = true;
            }
        }
        if (broken) {
            resetBoth();  // a reset on one side is passed on as a reset
            break;
        }
    }
    link->client.Reset();
    link->server.Reset();
    link->finished = true;
}

}  // namespace hardening
