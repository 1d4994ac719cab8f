#include "ztsock/server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ztsock/errors.h"

namespace ztsock {
namespace {

constexpr int kRefuseLingerMs = 100;
// How long Accept pauses when the system is out of descriptors.
constexpr int kOutOfDescriptorsPauseMs = 100;

bool OutOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

std::string Describe(const std::string& what, const SocketAddress& address, int error) {
    return what + " " + address.ToText() + ": " + std::strerror(error);
}

// A listening socket on `address`; invalid with errno set on failure.
UniqueFd ListenOn(const SocketAddress& address) {
    UniqueFd socket(::socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.valid()) return socket;
    const int on = 1;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // An IPv6 socket takes only IPv6, so that "*" can also bind 0.0.0.0.
    if (address.family() == AF_INET6) ::setsockopt(socket.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(socket.get(), address.get(), address.length) != 0 || ::listen(socket.get(), SOMAXCONN) != 0) {
        const int error = errno;
        socket.Reset();
        errno = error;
    }
    return socket;
}

}  // namespace

ServerConnection::ServerConnection(UniqueFd socket, std::string peerAddress)
    : stream_(std::move(socket)), peerAddress_(std::move(peerAddress)) {}

bool ServerConnection::ReadConnect(ConnectRequest* request, int timeoutMs, int16_t* errorNumber) {
    errorNumber = ErrorSlot(errorNumber);
    uint8_t payload[kMaxConnectPayload];
    FrameHeader header;
    const ReadOutcome outcome =
        stream_.ReadFrame(payload, sizeof payload, KindBit(kFrameConnect), timeoutMs, &header, errorNumber,
                          TimeLimit::kWholeRead);
    if (outcome != ReadOutcome::kFrame) return false;
    if (!DecodeConnectPayload(payload, header.length, request)) {
        *errorNumber = kErrConnectionReset;
        stream_.Close();
        return false;
    }
    request->peerAddress = peerAddress_;
    return true;
}

bool ServerConnection::Accept(int16_t* errorNumber) {
    return stream_.SendFrame(kFrameAccept, nullptr, 0, sendTimeoutMs_, ErrorSlot(errorNumber));
}

bool ServerConnection::Reject(int16_t errorNumber, int lingerMs) {
    uint8_t payload[kRejectPayloadLength];
    EncodeRejectPayload(errorNumber, payload);
    int16_t sendError;
    const bool sent = stream_.SendFrame(kFrameReject, payload, sizeof payload, sendTimeoutMs_, &sendError);
    stream_.CloseAfterDraining(lingerMs);
    return sent;
}

int32_t ServerConnection::Receive(void* buffer, size_t maximum, FrameKind* kind, int timeoutMs,
                                  int16_t* errorNumber) {
    return stream_.ReceiveData(buffer, maximum, timeoutMs, StallAction::kKeepTheFrame, kind, ErrorSlot(errorNumber));
}

int32_t ServerConnection::Send(const void* data, size_t length, bool expedited, int16_t* errorNumber) {
    return stream_.SendData(data, length, expedited, sendTimeoutMs_, ErrorSlot(errorNumber));
}

int32_t ServerConnection::SendFrames(const iovec* payloads, size_t count, int16_t* errorNumber) {
    return stream_.SendDataFrames(payloads, count, sendTimeoutMs_, ErrorSlot(errorNumber));
}

bool ServerConnection::SendRaw(const void* data, size_t length, int16_t* errorNumber) {
    return stream_.SendRaw(data, length, sendTimeoutMs_, ErrorSlot(errorNumber));
}

void RefuseConnection(std::unique_ptr<ServerConnection> connection, int16_t errorNumber) {
    if (connection != nullptr) connection->Reject(errorNumber, kRefuseLingerMs);
}

std::unique_ptr<Listener> Listener::Open(const std::string& hostPort, std::string* error) {
    NodeAddress node;
    if (!ParseNode(hostPort, &node)) {
        *error = "bad listen address \"" + hostPort + "\": expected HOST:PORT or [IPv6]:PORT";
        return nullptr;
    }
    if (!node.hasPort && !node.host.empty() && node.host.find_first_not_of("0123456789") == std::string::npos) {
        *error = "listen address \"" + hostPort + "\" has no host: write 127.0.0.1:" + node.host;
        return nullptr;
    }
    std::vector<SocketAddress> addresses;
    int16_t errorNumber = 0;
    if (!ResolveNode(node, kDefaultPort, true, &addresses, &errorNumber)) {
        *error = "cannot resolve listen address \"" + hostPort + "\"";
        return nullptr;
    }

    std::unique_ptr<Listener> listener(new Listener);
    std::string failures;
    for (SocketAddress address : addresses) {
        // With port 0 the first bind picks the port; the others take the same.
        if (listener->port_ != 0) address.SetPort(listener->port_);
        UniqueFd socket = ListenOn(address);
        if (!socket.valid()) {
            const int bindError = errno;
            // An address family this machine lacks is left out, not fatal.
            if (bindError == EAFNOSUPPORT || bindError == EADDRNOTAVAIL) {
                failures = Describe("cannot listen on", address, bindError);
                continue;
            }
            *error = Describe("cannot listen on", address, bindError);
            return nullptr;
        }
        SocketAddress bound;
        bound.length = sizeof bound.storage;
        ::getsockname(socket.get(), bound.get(), &bound.length);
        listener->port_ = bound.port();
        listener->bound_.push_back(bound);
        listener->sockets_.push_back(std::move(socket));
    }
    if (listener->sockets_.empty()) {
        *error = failures;
        return nullptr;
    }

    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = std::string("cannot create the wake-up pipe: ") + std::strerror(errno);
        return nullptr;
    }
    listener->wakeRead_.Reset(pipeEnds[0]);
    listener->wakeWrite_.Reset(pipeEnds[1]);
    return listener;
}

bool Listener::IsLoopback() const {
    for (const SocketAddress& address : bound_) {
        if (!address.IsLoopback()) return false;
    }
    return true;
}

std::vector<std::string> Listener::addresses() const {
    std::vector<std::string> texts;
    for (const SocketAddress& address : bound_) texts.push_back(address.ToText());
    return texts;
}

std::unique_ptr<ServerConnection> Listener::Accept(int timeoutMs) {
    const Deadline deadline(timeoutMs);
    std::vector<pollfd> entries;
    entries.push_back(pollfd{wakeRead_.get(), POLLIN, 0});
    for (const UniqueFd& socket : sockets_) entries.push_back(pollfd{socket.get(), POLLIN, 0});
    while (!woken_.load()) {
        const int ready = ::poll(entries.data(), entries.size(), deadline.RemainingMs());
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || entries[0].revents != 0) return nullptr;
        for (size_t i = 1; i < entries.size(); ++i) {
            if (entries[i].revents == 0) continue;
            SocketAddress peer;
            peer.length = sizeof peer.storage;
            const int fd = ::accept4(entries[i].fd, peer.get(), &peer.length, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) {
                SetLinkOptions(fd);
                return std::make_unique<ServerConnection>(UniqueFd(fd), peer.ToText());
            }
            if (OutOfDescriptors(errno)) {
                const int pause = deadline.RemainingMs();
                ::poll(nullptr, 0, pause < 0 || pause > kOutOfDescriptorsPauseMs ? kOutOfDescriptorsPauseMs : pause);
                return nullptr;
            }
            // Anything else (a client that reset before we took it) is
            // that client's problem: keep waiting for the next one.
        }
    }
    return nullptr;
}

void Listener::Close() { sockets_.clear(); }

void Listener::Wake() {
    woken_.store(true);
    const char byte = 1;
    if (::write(wakeWrite_.get(), &byte, 1) < 0) {
        // The pipe is full: a wake-up is already pending.
    }
}

}  // namespace ztsock
