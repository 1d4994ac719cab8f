#include "peer_link.h"

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "zel32/api/session_list.h"
#include "ztsock/ztsock.h"
#include "zel32/protocol/configuration.h"

namespace zeltest {
namespace {

// Tests wait for a silent peer seconds, not minutes.
class ShortTimeouts : public ::testing::Environment {
public:
    void SetUp() override { ztsock::SetClientTimeouts(5000, 10000); }
};

[[maybe_unused]] ::testing::Environment* const shortTimeouts =
    ::testing::AddGlobalTestEnvironment(new ShortTimeouts);

}  // namespace

std::vector<Notification>& Notifications() {
    static std::vector<Notification> notifications;
    return notifications;
}

void ClearNotifications() { Notifications().clear(); }

int32_t RecordNotification(uint32_t handle, uint32_t status, intptr_t spoolFile, const char* text) {
    Notifications().push_back({handle, status, spoolFile, text == nullptr ? "(null)" : text});
    return 0;
}

Bytes CurrentLibraryConfiguration() {
    uint8_t body[kConfigBodySize];
    ZelConfigTemplate(body);
    return Bytes{0x01, 0x00} + Bytes(body, body + sizeof body);
}

Script OpenExchange(const PeerConfig& peer) {
    return {expect(CurrentLibraryConfiguration()), reply(PeerConfiguration(peer))};
}

RfaOpenLinkParams LinkParams(const std::string& node, const std::string& user, const std::string& password) {
    RfaOpenLinkParams params;
    std::memset(&params, 0, sizeof params);
    std::snprintf(params.nodeName, sizeof params.nodeName, "%s", node.c_str());
    std::snprintf(params.userName, sizeof params.userName, "%s", user.c_str());
    std::snprintf(params.password, sizeof params.password, "%s", password.c_str());
    params.notify = RecordNotification;
    return params;
}

RfaLinkStatus Look(RfaHandle handle) {
    RfaLinkStatus status;
    std::memset(&status, 0xEE, sizeof status);
    RfaLook(handle, &status, sizeof status);
    return status;
}

namespace {

Script Joined(Script first, const Script& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

}  // namespace

PeerLink::PeerLink(Script script, const PeerConfig& peer, PeerOptions options)
    : peer_(Joined(OpenExchange(peer), script), options) {
    if (!peer_.Start()) return;
    RfaOpenLinkParams params = LinkParams(peer_.node());
    openResult_ = RfaOpenLink(&params);
    handle_ = params.handle;
}

PeerLink::~PeerLink() {
    Close();
    peer_.Finish();
}

ZelContext* PeerLink::context() const { return closed_ ? nullptr : RfaFindContext(handle_); }

bool PeerLink::Finish() {
    peer_.Finish();
    return peer_.ok();
}

int32_t PeerLink::Close() {
    if (closed_ || handle_ == 0) return 0;
    closed_ = true;
    return RfaCloseLink(handle_);
}

}  // namespace zeltest
