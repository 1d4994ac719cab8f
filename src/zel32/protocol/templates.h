// The records that live for one call: the Date and Time record of an upload
// and the state of a listing. They are kept per thread, since a call runs on
// one. (The Attributes and Control messages sent, which a Read looks back at
// after its Open, are kept in the link's context.)
#pragma once

#include <cstdint>

#include "zel32/protocol/context.h"

// The state of the listing in progress, which the Status decoder reads:
// no file name has come yet; no directory line has been written yet.
struct ZelListingFlags {
    bool noFileYet;
    bool noHeaderYet;
};

ZelDates& ZelSentDates();
ZelListingFlags& ZelListing();

// Text transfer: the DATATYPE of the last Attributes message sent on the link has bit 0x01.
bool ZelTextTransfer(const ZelContext* context);
// A stream peer: it has SYSCAP bits 54 and 55.
bool ZelStreamPeer(const ZelContext* context);
// Peers whose file systems take the block transfer and no added line ends.
bool ZelBlockModePeer(const ZelContext* context);
