// A link of a host program, as the tests that go through the public
// interface open it: opened at construction, closed at destruction (or by
// Close, once). Links may be used from several threads, one link per thread.
#pragma once

#include <zel32.h>

#include <cstdint>
#include <string>

namespace zeltest {

struct HostLinkOptions {
    std::string user;
    std::string password;
    uint32_t openOption = 0;
};

// The notification procedure of links whose notifications nobody reads.
int32_t IgnoreNotification(uint32_t handle, uint32_t status, intptr_t spoolFile, const char* text);

class HostLink {
public:
    HostLink(const std::string& node, const HostLinkOptions& options, RfaNotifyProc notify = IgnoreNotification);
    explicit HostLink(const std::string& node) : HostLink(node, HostLinkOptions{}) {}
    virtual ~HostLink();
    HostLink(const HostLink&) = delete;
    HostLink& operator=(const HostLink&) = delete;

    int32_t openResult() const { return openResult_; }
    RfaHandle handle() const { return handle_; }
    RfaLinkStatus Look() const;
    // RfaCloseLink's result; 0 when the link is closed already or never opened.
    virtual int32_t Close();

private:
    RfaHandle handle_ = 0;
    int32_t openResult_ = -1;
    bool closed_ = false;
};

}  // namespace zeltest
