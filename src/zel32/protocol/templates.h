// The message templates the encoders build from: the Attributes record of
// the last Attributes message sent, the Date and Time record of an upload and
// the Control record of the last Control sent. The operations read them back
// (the DATATYPE, RFM, MRS and FSZ sent, the RAC of the data phase). They are
// kept per thread, since each thread drives its own links; on one thread they
// behave as process-wide records.
#pragma once

#include <cstdint>

#include "zel32/protocol/context.h"

struct ZelControlTemplate {
    uint8_t ctlFunc;
    uint8_t ctlMenu[2];
    uint8_t rac;
    uint8_t rop;
    uint16_t usz;
};

// The state of the listing in progress, which the Status decoder reads:
// no file name has come yet; no directory line has been written yet.
struct ZelListingFlags {
    bool noFileYet;
    bool noHeaderYet;
};

ZelAttributes& ZelSentAttributes();
ZelDates& ZelSentDates();
ZelControlTemplate& ZelSentControl();
ZelListingFlags& ZelListing();

// Text transfer: the DATATYPE of the last Attributes message sent has bit 0x01.
bool ZelTextTransfer();
// A stream peer: it has SYSCAP bits 54 and 55.
bool ZelStreamPeer(const ZelContext* context);
// Peers whose file systems take the block transfer and no added line ends.
bool ZelBlockModePeer(const ZelContext* context);
