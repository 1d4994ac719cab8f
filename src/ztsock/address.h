// Node names and socket addresses: "host", "host:port", "[v6]" and
// "[v6]:port" for the client's connect string and the server's listen
// address, their resolution, and the text of an address for logs.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ztsock {

struct NodeAddress {
    std::string host;         // without brackets; empty when the text gave none
    uint16_t port = 0;
    bool hasPort = false;
    bool bracketed = false;   // "[...]": the host must be an IPv6 literal
};

// Splits a node name into host and port. A host with several colons and no
// brackets is taken as an IPv6 literal without a port. False for an
// unclosed bracket, text after the bracket other than ":port", or a port
// that is empty, not decimal or above 65535.
bool ParseNode(std::string_view text, NodeAddress* node);

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    int family() const { return storage.ss_family; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    sockaddr* get() { return reinterpret_cast<sockaddr*>(&storage); }
    uint16_t port() const;
    void SetPort(uint16_t port);
    bool IsLoopback() const;
    // "127.0.0.1:7017", "[::1]:7017".
    std::string ToText() const;
};

// Resolves `node` to its stream addresses, with `defaultPort` when it names
// none. `passive`: for binding, where an empty host or "*" means every local
// address. False with the transport's error number (49, unless the resolver
// ran out of memory) when nothing resolves.
bool ResolveNode(const NodeAddress& node, uint16_t defaultPort, bool passive,
                 std::vector<SocketAddress>* addresses, int16_t* errorNumber);

}  // namespace ztsock
