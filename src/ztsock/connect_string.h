// The client's connect string: "node", "node/user" or "node/user/password",
// split at the first two slashes, so that a password may itself hold "/".
#pragma once

#include <string>
#include <string_view>

namespace ztsock {

struct ConnectString {
    std::string node;
    std::string user;
    std::string password;
};

ConnectString SplitConnectString(std::string_view text);

}  // namespace ztsock
