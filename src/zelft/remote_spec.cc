#include "zelft/remote_spec.h"

namespace zelft {
namespace {

constexpr std::string_view kSeparator = "::";

// Position of the "::" that ends the node, skipping a bracketed address;
// npos when there is none.
size_t FindSeparator(std::string_view argument) {
    bool bracketed = false;
    for (size_t i = 0; i + 1 < argument.size(); ++i) {
        if (argument[i] == '[') bracketed = true;
        if (argument[i] == ']') bracketed = false;
        if (!bracketed && argument.substr(i, kSeparator.size()) == kSeparator) return i;
    }
    return std::string_view::npos;
}

bool IsPort(std::string_view text) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value >= 1 && value <= 65535;
}

bool IsHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

bool IsIpv6Character(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.' ||
           c == '%' || IsHostCharacter(c);
}

}  // namespace

// The connection carries "node/user/password": a user name may not hold "/".
bool IsValidUserName(std::string_view user) {
    for (char c : user) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
}

// No node (nor user) holds "/": a "/" before the "::" makes a local path
// of it, as ./a::b and /tmp/a::b are.
bool IsRemoteArgument(std::string_view argument) {
    const size_t separator = FindSeparator(argument);
    return separator != std::string_view::npos && argument.substr(0, separator).find('/') == std::string_view::npos;
}

bool IsValidNode(std::string_view node) {
    std::string_view host = node;
    std::string_view port;
    if (!node.empty() && node.front() == '[') {
        const size_t close = node.find(']');
        if (close == std::string_view::npos || close == 1) return false;
        for (char c : node.substr(1, close - 1)) {
            if (!IsIpv6Character(c)) return false;
        }
        const std::string_view rest = node.substr(close + 1);
        if (rest.empty()) return true;
        return rest.front() == ':' && IsPort(rest.substr(1));
    }
    const size_t colon = node.find(':');
    if (colon != std::string_view::npos) {
        host = node.substr(0, colon);
        port = node.substr(colon + 1);
        if (!IsPort(port)) return false;
    }
    if (host.empty()) return false;
    for (char c : host) {
        if (!IsHostCharacter(c)) return false;
    }
    return true;
}

bool ParseRemoteSpec(std::string_view argument, RemoteSpec* spec, std::string* error) {
    const size_t separator = FindSeparator(argument);
    if (separator == std::string_view::npos) {
        // Appended piece by piece: "'" + std::string trips a false -Wrestrict of g++ 12 at -O3.
        error->assign(1, '\'').append(argument).append("' is not a remote file (NODE::FILE)");
        return false;
    }
    std::string_view prefix = argument.substr(0, separator);
    spec->path = std::string(argument.substr(separator + kSeparator.size()));
    spec->user.clear();
    const size_t at = prefix.rfind('@');
    if (at != std::string_view::npos) {
        spec->user = std::string(prefix.substr(0, at));
        prefix = prefix.substr(at + 1);
        if (spec->user.empty() || !IsValidUserName(spec->user)) {
            *error = "bad user name in '" + std::string(argument) + "'";
            return false;
        }
    }
    if (!IsValidNode(prefix)) {
        *error = "bad node '" + std::string(prefix) + "' in '" + std::string(argument) +
                 "' (a host, an address or [IPv6 address], with an optional :port)";
        return false;
    }
    spec->node = std::string(prefix);
    return true;
}

}  // namespace zelft
