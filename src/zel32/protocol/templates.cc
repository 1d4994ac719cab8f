#include "zel32/protocol/templates.h"

#include "zel32/protocol/configuration.h"

namespace {

thread_local ZelDates sentDates{};
thread_local ZelListingFlags listing{};

}  // namespace

ZelDates& ZelSentDates() { return sentDates; }
ZelListingFlags& ZelListing() { return listing; }

bool ZelTextTransfer(const ZelContext* context) { return (context->sentAttributes.dataType & 0x01) != 0; }

bool ZelStreamPeer(const ZelContext* context) {
    return ZelHasCapability(context->peerSyscap, 54) && ZelHasCapability(context->peerSyscap, 55);
}

bool ZelBlockModePeer(const ZelContext* context) {
    const uint8_t filesys = context->peerFilesys;
    return filesys == 12 || filesys == 17 || filesys == 19 || filesys == 20;
}
