// The client calls of ztsock.h: connect with its handshake, send, receive,
// query and close, over the process-wide connection table.
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <vector>

#include "ztsock/address.h"
#include "ztsock/connect_string.h"
#include "ztsock/connection_table.h"
#include "ztsock/errors.h"
#include "ztsock/frame.h"
#include "ztsock/frame_stream.h"
#include "ztsock/ztsock.h"

namespace ztsock {
namespace {

constexpr int kDefaultConnectMs = 15000;
constexpr int kDefaultReceiveMs = 120000;

std::atomic<int> connectTimeoutMs{kDefaultConnectMs};
std::atomic<int> receiveTimeoutMs{kDefaultReceiveMs};

ConnectionTable& Connections() {
    // Never destroyed: a host may close its links from an exit handler or a
    // static object's destructor, after statics made later are gone.
    static ConnectionTable* table = new ConnectionTable;
    return *table;
}

int32_t Fail(int16_t* errorNumber, int16_t number) {
    *errorNumber = number;
    return -1;
}

// A TCP connection to the first of `addresses` that answers within the
// connect timeout (each address gets the whole timeout); the error number
// of the last attempt when none does.
UniqueFd ConnectToAny(const std::vector<SocketAddress>& addresses, int timeoutMs, int16_t* errorNumber) {
    for (const SocketAddress& address : addresses) {
        UniqueFd socket(::socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!socket.valid()) {
            *errorNumber = BsdErrorNumber(errno);
            continue;
        }
        if (::connect(socket.get(), address.get(), address.length) == 0) return socket;
        if (errno != EINPROGRESS && errno != EINTR) {
            *errorNumber = BsdErrorNumber(errno);
            continue;
        }
        const int ready = WaitFor(socket.get(), POLLOUT, timeoutMs);
        if (ready <= 0) {
            *errorNumber = ready == 0 ? static_cast<int16_t>(kErrTimedOut) : BsdErrorNumber(errno);
            continue;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        if (error == 0) return socket;
        *errorNumber = BsdErrorNumber(error);
    }
    return UniqueFd();
}

// Sends the CONNECT and reads the answer: true on ACCEPT; on REJECT false
// with the number it carries; else false with 54 (closed, reset, a frame out
// of place) or 60 (no answer in time).
bool Handshake(FrameStream& stream, const std::vector<uint8_t>& connect, int timeoutMs, int16_t* errorNumber) {
    if (!stream.SendFrame(kFrameConnect, connect.data(), static_cast<uint16_t>(connect.size()), timeoutMs,
                          errorNumber)) {
        return false;
    }
    uint8_t answer[kRejectPayloadLength];
    FrameHeader header;
    switch (stream.ReadFrame(answer, sizeof answer, kHandshakeAnswerKinds, timeoutMs, &header, errorNumber,
                             TimeLimit::kWholeRead)) {
    case ReadOutcome::kFrame:
        break;
    case ReadOutcome::kPeerClosed:
    case ReadOutcome::kTimedOut:
    case ReadOutcome::kStalled:
    case ReadOutcome::kBroken:
        return false;
    }
    if (header.kind == kFrameAccept) return true;
    *errorNumber = DecodeRejectPayload(answer);
    return false;
}

// Runs a call whose memory may run out (a connection's buffers, its table
// entry): it then fails with 55 instead of throwing into the library's host.
template <typename Call>
int32_t WithoutThrowing(int16_t* errorNumber, Call call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return Fail(errorNumber, kErrNoResources);
    }
}

int32_t ConnectUnguarded(const char* connectString, const char* objectName, int16_t* errorNumber) {
    const ConnectString parts = SplitConnectString(connectString != nullptr ? connectString : "");
    NodeAddress node;
    if (!ParseNode(parts.node, &node) || node.host.empty()) return Fail(errorNumber, kErrHostUnresolved);

    std::vector<uint8_t> connect;
    const ConnectFields fields{objectName != nullptr ? objectName : "", parts.user, parts.password};
    if (!EncodeConnectPayload(fields, &connect)) return Fail(errorNumber, kErrInvalidArgument);

    std::vector<SocketAddress> addresses;
    if (!ResolveNode(node, kDefaultPort, false, &addresses, errorNumber)) return -1;
    const int timeoutMs = connectTimeoutMs.load();
    UniqueFd socket = ConnectToAny(addresses, timeoutMs, errorNumber);
    if (!socket.valid()) return -1;
    SetLinkOptions(socket.get());

    auto stream = std::make_shared<FrameStream>(std::move(socket));
    if (!Handshake(*stream, connect, timeoutMs, errorNumber)) return -1;
    const uint16_t id = Connections().Add(stream);
    if (id == 0) return Fail(errorNumber, kErrNoResources);
    return id;
}

}  // namespace

int32_t Connect(const char* connectString, const char* objectName, int16_t* errorNumber) {
    errorNumber = ErrorSlot(errorNumber);
    return WithoutThrowing(errorNumber, [&] { return ConnectUnguarded(connectString, objectName, errorNumber); });
}

int32_t Send(uint16_t connection, const void* data, uint16_t length, int expedited, int16_t* errorNumber) {
    errorNumber = ErrorSlot(errorNumber);
    const std::shared_ptr<FrameStream> stream = Connections().Find(connection);
    if (stream == nullptr) return Fail(errorNumber, kErrNotSocket);
    return stream->SendData(data, length, expedited != 0, receiveTimeoutMs.load(), errorNumber);
}

int32_t Receive(uint16_t connection, void* buffer, uint16_t maximum, int16_t* errorNumber) {
    errorNumber = ErrorSlot(errorNumber);
    const std::shared_ptr<FrameStream> stream = Connections().Find(connection);
    if (stream == nullptr) return Fail(errorNumber, kErrNotSocket);
    // The stream's read-ahead buffer is taken at its first read.
    return WithoutThrowing(errorNumber, [&] {
        return stream->ReceiveData(buffer, maximum, receiveTimeoutMs.load(), StallAction::kBreakTheStream, nullptr,
                                   errorNumber, TimeLimit::kWholeFrame);
    });
}

int32_t Query(uint16_t connection) {
    const std::shared_ptr<FrameStream> stream = Connections().Find(connection);
    return stream == nullptr || stream->gone() ? 1 : 0;
}

int32_t Break(uint16_t connection) {
    const std::shared_ptr<FrameStream> stream = Connections().Find(connection);
    if (stream == nullptr) return 0;
    stream->Close();
    return 1;
}

int32_t Close(uint16_t connection, int32_t* value) {
    int32_t unused;
    if (value == nullptr) value = &unused;
    const std::shared_ptr<FrameStream> stream = Connections().Remove(connection);
    if (stream == nullptr) {
        *value = -1;
        return 0;
    }
    // Wakes a call still running on another thread; the socket itself is
    // closed when the last user lets go of the stream.
    stream->Shutdown();
    *value = 0;
    return 1;
}

void SetClientTimeouts(int connectMilliseconds, int receiveMilliseconds) {
    connectTimeoutMs = connectMilliseconds > 0 ? connectMilliseconds : kDefaultConnectMs;
    receiveTimeoutMs = receiveMilliseconds > 0 ? receiveMilliseconds : kDefaultReceiveMs;
}

int ClientReceiveTimeout() { return receiveTimeoutMs.load(); }

}  // namespace ztsock
