#include "ztsock/address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

#include "ztsock/errors.h"

namespace ztsock {
namespace {

bool ParsePort(std::string_view text, uint16_t* port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 65535) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

bool ParseNode(std::string_view text, NodeAddress* node) {
    *node = NodeAddress{};
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        node->host = std::string(text.substr(1, close - 1));
        node->bracketed = true;
        rest = text.substr(close + 1);
        if (rest.empty()) return true;
        if (rest.front() != ':') return false;
    } else {
        const size_t colon = text.find(':');
        if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos) {
            node->host = std::string(text);
            return true;
        }
        node->host = std::string(text.substr(0, colon));
        rest = text.substr(colon);
    }
    node->hasPort = ParsePort(rest.substr(1), &node->port);
    return node->hasPort;
}

uint16_t SocketAddress::port() const {
    if (family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    if (family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
    return 0;
}

void SocketAddress::SetPort(uint16_t value) {
    if (family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(value);
    if (family() == AF_INET) reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(value);
}

bool SocketAddress::IsLoopback() const {
    if (family() == AF_INET) {
        const uint32_t address = ntohl(reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr.s_addr);
        return (address >> 24) == 127;
    }
    if (family() == AF_INET6) {
        const in6_addr& address = reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr;
        if (IN6_IS_ADDR_LOOPBACK(&address)) return true;
        return IN6_IS_ADDR_V4MAPPED(&address) && address.s6_addr[12] == 127;
    }
    return false;
}

std::string SocketAddress::ToText() const {
    char host[INET6_ADDRSTRLEN] = "?";
    std::string text;
    if (family() == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr, host, sizeof host);
        text.append(1, '[').append(host).append(1, ']');
    } else {
        if (family() == AF_INET) {
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, host, sizeof host);
        }
        text.append(host);
    }
    return text.append(1, ':').append(std::to_string(port()));
}

bool ResolveNode(const NodeAddress& node, uint16_t defaultPort, bool passive,
                 std::vector<SocketAddress>* addresses, int16_t* errorNumber) {
    addresses->clear();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    if (node.bracketed) hints.ai_flags |= AI_NUMERICHOST;
    const bool everyAddress = passive && (node.host.empty() || node.host == "*");
    if (everyAddress) hints.ai_flags |= AI_PASSIVE;
    if (node.host.empty() && !everyAddress) {
        *errorNumber = kErrHostUnresolved;
        return false;
    }
    const std::string service = std::to_string(node.hasPort ? node.port : defaultPort);
    addrinfo* found = nullptr;
    const int status = getaddrinfo(everyAddress ? nullptr : node.host.c_str(), service.c_str(), &hints, &found);
    if (status != 0) {
        *errorNumber = status == EAI_MEMORY ? kErrNoResources : kErrHostUnresolved;
        return false;
    }
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
        SocketAddress address;
        std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
        address.length = entry->ai_addrlen;
        addresses->push_back(address);
    }
    freeaddrinfo(found);
    if (addresses->empty()) *errorNumber = kErrHostUnresolved;
    return !addresses->empty();
}

}  // namespace ztsock
