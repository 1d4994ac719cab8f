#include "ztsock/connect_string.h"

namespace ztsock {

ConnectString SplitConnectString(std::string_view text) {
    ConnectString parts;
    const size_t userStart = text.find('/');
    parts.node = std::string(text.substr(0, userStart));
    if (userStart == std::string_view::npos) return parts;
    const std::string_view rest = text.substr(userStart + 1);
    const size_t passwordStart = rest.find('/');
    parts.user = std::string(rest.substr(0, passwordStart));
    if (passwordStart != std::string_view::npos) parts.password = std::string(rest.substr(passwordStart + 1));
    return parts;
}

}  // namespace ztsock
