// The listening side of the transport, used by zeld and by the test peer: a
// Listener bound to local addresses hands out ServerConnections, each of
// which reads the client's CONNECT, answers it, and then carries frames.
#pragma once

#include <sys/uio.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ztsock/address.h"
#include "ztsock/frame.h"
#include "ztsock/frame_stream.h"
#include "ztsock/socket.h"
#include "ztsock/ztsock.h"

namespace ztsock {

// What a client asked for, and from where ("127.0.0.1:40312", "[::1]:40312").
struct ConnectRequest : ConnectFields {
    std::string peerAddress;
};

// How long Reject waits for the client to close after the REJECT (it closes
// at once), so that the REJECT is not lost to a reset.
constexpr int kRejectLingerMs = 1000;

// One accepted client. Its calls are made from one thread, except Shutdown.
class ServerConnection {
public:
    ServerConnection(UniqueFd socket, std::string peerAddress);

    // Reads the client's first frame, which must be a well-formed CONNECT of
    // protocol version 1, within `timeoutMs` however its bytes trickle in.
    // False (the connection closed, unless it was only a timeout, 60)
    // otherwise, with *errorNumber.
    bool ReadConnect(ConnectRequest* request, int timeoutMs, int16_t* errorNumber = nullptr);

    // Answers the CONNECT with ACCEPT; frames may flow afterwards.
    bool Accept(int16_t* errorNumber = nullptr);

    // Answers the CONNECT with REJECT carrying `errorNumber` (13 bad user or
    // password, 2 no such object, 55 out of resources) and closes.
    bool Reject(int16_t errorNumber, int lingerMs = kRejectLingerMs);

    // After Accept, as the client's Receive: the payload length, 0 when the
    // client closed, -1 on a timeout (60; the connection stays usable, and a
    // frame that had begun to arrive is taken up by the next Receive) or a
    // failure or protocol violation (the connection is closed). *kind tells
    // DATA from EXPEDITED. A negative timeout waits until Shutdown.
    int32_t Receive(void* buffer, size_t maximum, FrameKind* kind, int timeoutMs, int16_t* errorNumber);

    // After Accept, as the client's Send: one frame, nothing for length 0.
    int32_t Send(const void* data, size_t length, bool expedited, int16_t* errorNumber);

    // Several DATA frames at once, one per payload, in one system call when
    // the socket has room (at most FrameStream::kMaxFramesPerSend): the
    // length of all, -1 as Send.
    int32_t SendFrames(const iovec* payloads, size_t count, int16_t* errorNumber);

    // Writes bytes outside any frame: for tests that send a peer garbage.
    bool SendRaw(const void* data, size_t length, int16_t* errorNumber = nullptr);

    // How long a send waits for a client that does not read (default 120 s;
    // negative: until Shutdown).
    void SetSendTimeout(int milliseconds) { sendTimeoutMs_ = milliseconds; }

    // Makes a Receive or Send blocked on another thread return; the client
    // sees the connection close. Safe from any thread.
    void Shutdown() { stream_.Shutdown(); }

    void Close() { stream_.Close(); }

    // The client closed, a call failed, or the connection was closed.
    bool gone() const { return stream_.gone(); }
    const std::string& peerAddress() const { return peerAddress_; }

private:
    FrameStream stream_;
    std::string peerAddress_;
    int sendTimeoutMs_ = 120000;
};

// Answers a client at once with REJECT (55 when the server has too many
// clients) without reading its CONNECT, waiting at most a tenth of a second
// for it to go: quick enough for the thread that accepts.
void RefuseConnection(std::unique_ptr<ServerConnection> connection, int16_t errorNumber);

// Listening sockets on every address of one "HOST:PORT".
class Listener {
public:
    // Binds "HOST:PORT", "[IPv6]:PORT", "HOST" (port 7017), ":PORT" or
    // "*:PORT" (every local address). Port 0 picks a free port, the same on
    // every address. Null with a message in *error when nothing is bound.
    static std::unique_ptr<Listener> Open(const std::string& hostPort, std::string* error);

    uint16_t port() const { return port_; }
    // Whether every bound address is a loopback address.
    bool IsLoopback() const;
    // The bound addresses as text, for the log.
    std::vector<std::string> addresses() const;

    // The next client, or null when `timeoutMs` passes (negative: no limit),
    // after Wake, or when the system is out of descriptors (after a pause,
    // so that an accept loop does not spin).
    std::unique_ptr<ServerConnection> Accept(int timeoutMs);

    // Makes a blocked Accept return null, and every later one at once. Safe
    // from any thread and from a signal handler.
    void Wake();
    bool woken() const { return woken_.load(); }
    // Stops listening: the sockets close, so that clients that come now are
    // refused at once instead of waiting in the queue. From the thread that
    // accepts; Accept then only waits for Wake.
    void Close();

private:
    Listener() = default;

    std::vector<UniqueFd> sockets_;
    std::vector<SocketAddress> bound_;
    uint16_t port_ = 0;
    UniqueFd wakeRead_;
    UniqueFd wakeWrite_;
    std::atomic<bool> woken_{false};
};

}  // namespace ztsock
