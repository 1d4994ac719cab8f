// Remote file arguments: "[user@]NODE::path", where NODE is a host name, an
// IPv4 address or a bracketed IPv6 address, each with an optional ":port".
// An argument without "::" outside brackets is a local path.
#pragma once

#include <string>
#include <string_view>

namespace zelft {

struct RemoteSpec {
    std::string user;  // empty when the argument names none
    std::string node;  // as the transport takes it: "host", "host:7017", "[::1]:7017"
    std::string path;  // may be empty ("NODE::" names the default directory)
};

// Whether `argument` names a remote file (holds "::" outside brackets).
bool IsRemoteArgument(std::string_view argument);

// Splits a remote argument. False with a message for a local argument, an
// empty or malformed node, a port outside 1 to 65535, or a user name with
// characters the connection cannot carry.
bool ParseRemoteSpec(std::string_view argument, RemoteSpec* spec, std::string* error);

// Whether a user name can travel on the connection (no "/", no control characters).
bool IsValidUserName(std::string_view user);

// Whether `node` is a valid NODE: "host", "host:port", "[v6]" or "[v6]:port".
bool IsValidNode(std::string_view node);

}  // namespace zelft
