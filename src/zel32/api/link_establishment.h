// Link establishment and release: RfaOpenLink takes a slot, creates the
// context, connects to the node's object "#17" and exchanges Configuration
// messages; the Close Link handler undoes all of it.
#pragma once

#include <cstdint>

#include "zel32.h"

struct ZelContext;

int32_t RfaOpenLinkWork(RfaOpenLinkParams* params);
int ZelCloseLinkHandler(ZelContext* context);

// Sends one Configuration message and reads replies until one arrives or
// the receive ends otherwise. -1 when the send failed; *arrived says
// whether the peer's Configuration came.
int ZelConfigurationRound(ZelContext* context, bool* arrived);

// The connect string "node" or "node/user/password" in a 52-byte buffer;
// false when it would not fit, or when the node or user name holds a "/".
constexpr int kConnectStringSize = 52;
bool RfaBuildConnectString(const char* node, const char* user, const char* password,
                           char out[kConnectStringSize]);
