// A link opened through the public interface against the scripted test
// peer: the Configuration exchange first, then the test's own script. Also
// records every notification the library makes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/scripted_peer.h"
#include "support/zel_messages.h"
#include "zel32.h"

struct ZelContext;

namespace zeltest {

struct Notification {
    uint32_t handle;
    uint32_t status;
    intptr_t spoolFile;
    std::string text;
};

// Every notification since the last ClearNotifications, in order.
std::vector<Notification>& Notifications();
void ClearNotifications();
int32_t RecordNotification(uint32_t handle, uint32_t status, intptr_t spoolFile, const char* text);

// The Configuration the library sends now (its template may have been widened).
Bytes CurrentLibraryConfiguration();

// The steps of a successful open: the library's Configuration, the peer's.
Script OpenExchange(const PeerConfig& peer = {});

RfaOpenLinkParams LinkParams(const std::string& node, const std::string& user = "",
                             const std::string& password = "");

RfaLinkStatus Look(RfaHandle handle);

class PeerLink {
public:
    // Starts a peer playing the open exchange and then `script`, and opens a
    // link to it.
    explicit PeerLink(Script script, const PeerConfig& peer = {}, PeerOptions options = {});
    ~PeerLink();
    PeerLink(const PeerLink&) = delete;
    PeerLink& operator=(const PeerLink&) = delete;

    int32_t openResult() const { return openResult_; }
    RfaHandle handle() const { return handle_; }
    ScriptedPeer& peer() { return peer_; }
    // The link's protocol context (null once closed).
    ZelContext* context() const;
    RfaLinkStatus Look() const { return zeltest::Look(handle_); }
    // Waits for the peer's script to end; true when every step matched.
    bool Finish();
    // Closes the link now (the destructor does it otherwise).
    int32_t Close();

private:
    ScriptedPeer peer_;
    RfaHandle handle_ = 0;
    int32_t openResult_ = -1;
    bool closed_ = false;
};

}  // namespace zeltest
