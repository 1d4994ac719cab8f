// ztsock, the socket transport: each link is one TCP connection carrying
// frames of kind + 16-bit little-endian length + payload, opened by a
// CONNECT/ACCEPT handshake that names the remote object, user and password.
// This header holds the client calls the library makes; server.h holds the
// listening side that zeld and the test peer use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ztsock {

constexpr uint16_t kDefaultPort = 7017;
constexpr size_t kMaxPayload = 32256;
constexpr size_t kFrameHeaderLength = 3;
constexpr uint8_t kProtocolVersion = 0x01;

enum FrameKind : uint8_t {
    kFrameConnect = 0x01,
    kFrameAccept = 0x02,
    kFrameReject = 0x03,
    kFrameData = 0x04,
    kFrameExpedited = 0x05,
};

// BSD socket error numbers reported by the transport.
enum ErrorNumber : int16_t {
    kErrNoSuchObject = 2,
    kErrAccessDenied = 13,
    kErrHostUnresolved = 49,
    kErrNetUnreachable = 51,
    kErrConnectionReset = 54,   // also: closed by the peer, protocol violation
    kErrNoResources = 55,
    kErrTimedOut = 60,
    kErrConnectionRefused = 61,
    kErrHostDown = 64,
    kErrOther = -1,
};

// Connects to `objectName` on the node of `connectString` ("node",
// "node/user" or "node/user/password"; node is a host name, an IPv4 address
// or a bracketed IPv6 address, optionally followed by ":port"). Returns a
// connection identifier from 1 to 65534, or -1 with *errorNumber set.
int32_t Connect(const char* connectString, const char* objectName, int16_t* errorNumber);

// Sends one frame (DATA, or EXPEDITED when `expedited` is non-zero). A
// length of 0 sends nothing and succeeds. Returns -1 on failure, else the
// length. Never raises SIGPIPE.
int32_t Send(uint16_t connection, const void* data, uint16_t length, int expedited,
             int16_t* errorNumber);

// Receives one frame's payload, at most `maximum` bytes. Returns the payload
// length (at least 1), 0 when the peer closed the connection (Query then
// answers 1), or -1 on failure: a reset, a timeout (60), a protocol
// violation (the connection is then closed). Waits at most the receive
// timeout for a frame to begin, and as long again for the whole frame once
// it has begun.
int32_t Receive(uint16_t connection, void* buffer, uint16_t maximum, int16_t* errorNumber);

// 1 when the connection has gone (closed by the peer or failed), else 0.
int32_t Query(uint16_t connection);

// Breaks the connection as a stall inside a frame does, for a caller that
// has lost its place in the stream: the identifier stays until Close, but
// every later send and receive fails with 54 and Query answers 1. Returns
// 0 when the identifier is unknown, else 1.
int32_t Break(uint16_t connection);

// Closes the connection and frees its identifier. Returns non-zero when a
// connection was closed; *value is then 0 (-1 when the identifier was unknown).
int32_t Close(uint16_t connection, int32_t* value);

// Process-wide limits of the client calls, in milliseconds: the TCP connect
// plus the CONNECT/ACCEPT exchange, and a receive that gets nothing.
// Each TCP address tried and the exchange each get the connect limit; a send
// that the peer does not take in gets the receive limit. A value of 0 or
// less restores the default: 15 s to connect, 120 s to receive.
void SetClientTimeouts(int connectMilliseconds, int receiveMilliseconds);
// The receive limit in force, in milliseconds.
int ClientReceiveTimeout();

}  // namespace ztsock
