#include "support/host_link.h"

#include <cstdio>

namespace zeltest {

int32_t IgnoreNotification(uint32_t, uint32_t, intptr_t, const char*) { return 0; }

HostLink::HostLink(const std::string& node, const HostLinkOptions& options, RfaNotifyProc notify) {
    RfaOpenLinkParams params{};
    std::snprintf(params.nodeName, sizeof params.nodeName, "%s", node.c_str());
    std::snprintf(params.userName, sizeof params.userName, "%s", options.user.c_str());
    std::snprintf(params.password, sizeof params.password, "%s", options.password.c_str());
    params.openOption = options.openOption;
    params.notify = notify;
    openResult_ = RfaOpenLink(&params);
    handle_ = params.handle;
}

HostLink::~HostLink() { HostLink::Close(); }

RfaLinkStatus HostLink::Look() const {
    RfaLinkStatus status{};
    RfaLook(handle_, &status, sizeof status);
    return status;
}

int32_t HostLink::Close() {
    if (closed_ || handle_ == 0) return 0;
    closed_ = true;
    return RfaCloseLink(handle_);
}

}  // namespace zeltest
