// The entry points' argument checks, the handle table and the driver's
// notification rules, through the public interface.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "peer_link.h"
#include "zel32/api/driver.h"
#include "zel32/api/session_list.h"
#include "zel32/protocol/configuration.h"
#include "zel32/protocol/context.h"

namespace zeltest {
namespace {

class EntryPoints : public ::testing::Test {
protected:
    void SetUp() override {
        ZelResetConfigTemplate();
        ClearNotifications();
    }
};

TEST_F(EntryPoints, ListenIsAPlaceholder) { EXPECT_EQ(RfaListen(), -1); }

TEST_F(EntryPoints, ZelInitRegistersAnyBuffer) {
    char buffer[8];
    EXPECT_EQ(ZelInit(buffer, sizeof buffer), 1);
    EXPECT_EQ(ZelInit(nullptr, 0), 1);
}

TEST_F(EntryPoints, HandlesZeroAboveSixtyFourAndClosedAreRejected) {
    RfaLinkStatus status;
    RfaProtectionRecord record{};
    uint16_t length = 0;
    char buffer[16];
    for (RfaHandle handle : {0u, 65u, 3u, 0xFFFFFFFFu}) {
        EXPECT_EQ(RfaCloseLink(handle), 4);
        EXPECT_EQ(RfaCopy(handle, "A", "B", 0, 0, nullptr), 4);
        EXPECT_EQ(RfaOpenFile(handle, "A"), 4);
        EXPECT_EQ(RfaReadFile(handle, 16, buffer, &length), 4);
        EXPECT_EQ(RfaWriteFile(handle, 16, buffer, &length), 4);
        EXPECT_EQ(RfaCloseFile(handle), 4);
        EXPECT_EQ(RfaDelete(handle, "A"), 4);
        EXPECT_EQ(RfaDir(handle, 0, "*"), 4);
        EXPECT_EQ(RfaMd(handle, "A"), 4);
        EXPECT_EQ(RfaRd(handle, "A"), 4);
        EXPECT_EQ(RfaPrint(handle, "A"), 4);
        EXPECT_EQ(RfaProtection(handle, "A", &record, 0), 4);
        EXPECT_EQ(RfaRename(handle, "A", "B"), 4);
        EXPECT_EQ(RfaSubmit(handle, "A"), 4);
        EXPECT_EQ(RfaIoctl(handle, 0, nullptr), 4);
        EXPECT_EQ(RfaLook(handle, &status, sizeof status), 4);
    }
    // Abort does not look the handle up in the table: no context, -1.
    EXPECT_EQ(RfaAbort(0), -1);
    EXPECT_EQ(RfaAbort(99), -1);
}

TEST_F(EntryPoints, ArgumentsAreCheckedInOrderAndStoredAsTheyPass) {
    PeerLink link({expectSilence(100)});
    ASSERT_EQ(link.openResult(), 0);
    const RfaHandle handle = link.handle();

    EXPECT_EQ(RfaDelete(handle, ""), 4);
    EXPECT_EQ(RfaDelete(handle, nullptr), 4);
    EXPECT_EQ(RfaDelete(handle, std::string(256, 'x').c_str()), 4);  // longer than the field: refused, not cut
    EXPECT_EQ(RfaDir(handle, 2, "*"), 4);                              // a flag is 0 or 1
    EXPECT_EQ(RfaDir(handle, 0, nullptr), 4);
    RfaProtectionRecord record{};
    EXPECT_EQ(RfaProtection(handle, "A", nullptr, 0), 4);
    EXPECT_EQ(RfaProtection(handle, "A", &record, 2), 4);
    // An owner to be set longer than the 40 characters of its field: refused
    // before anything is sent (the peer expects silence).
    record.present = RFA_PROT_OWNER;
    std::memset(record.owner, 'w', 41);
    EXPECT_EQ(RfaProtection(handle, "A", &record, 1), 4);
    char buffer[4];
    uint16_t length = 0;
    EXPECT_EQ(RfaReadFile(handle, 0, buffer, &length), 4);
    EXPECT_EQ(RfaReadFile(handle, 4, nullptr, &length), 4);
    EXPECT_EQ(RfaReadFile(handle, 4, buffer, nullptr), 4);

    // Mode 2 is refused after names, direction and the attributes pointer are stored.
    EXPECT_EQ(RfaCopy(handle, "SOURCE.TXT", "target.txt", 1, 2, nullptr), 4);
    const RfaLinkStatus status = link.Look();
    EXPECT_STREQ(status.name1, "SOURCE.TXT");
    EXPECT_STREQ(status.name2, "target.txt");
    EXPECT_EQ(status.copyDirection, 1u);
    EXPECT_EQ(RfaCopy(handle, "A", "B", 2, 0, nullptr), 4);

    // A 255-character name is stored whole.
    const std::string longest(255, 'n');
    EXPECT_EQ(RfaCopy(handle, longest.c_str(), "B", 0, 5, nullptr), 4);
    EXPECT_EQ(std::string(link.Look().name1), longest);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(EntryPoints, LookCopiesExactly552Bytes) {
    PeerLink link({});
    std::vector<uint8_t> buffer(600, 0xAB);
    EXPECT_EQ(RfaLook(link.handle(), buffer.data(), 551), 4);
    EXPECT_EQ(buffer[0], 0xAB);
    EXPECT_EQ(RfaLook(link.handle(), buffer.data(), 552), 0);
    EXPECT_EQ(buffer[551], 0);     // lastTransferLength's high byte
    EXPECT_EQ(buffer[552], 0xAB);  // nothing beyond the block
    EXPECT_EQ(RfaLook(link.handle(), nullptr, 552), 4);
}

TEST_F(EntryPoints, AnOperationWithoutHandlerFailsWith16AndNotifiesFailure) {
    char list[16];
    std::memset(list, 'x', sizeof list);
    ZelInit(list, sizeof list);
    PeerLink link({expectSilence(100)});
    // Listen (3) never has a handler; codes outside 1 to 19 run nothing.
    for (uint16_t operation : {3, 0, 20}) {
        ClearNotifications();
        std::memset(list, 'x', sizeof list);
        EXPECT_EQ(RfaDriveOperation(link.handle(), operation), 16) << operation;
        ASSERT_EQ(Notifications().size(), 1u);
        EXPECT_EQ(Notifications()[0].handle, link.handle());
        EXPECT_EQ(Notifications()[0].status, 0u);
        EXPECT_EQ(Notifications()[0].text, "");
        EXPECT_EQ(Notifications()[0].spoolFile, 0);
        EXPECT_EQ(std::string(list, 4), std::string("  \0x", 4));
        EXPECT_EQ(link.Look().errorCode, 16);
    }
    ASSERT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(EntryPoints, AFailureNotificationNeverWritesAnUnregisteredOrTinyListBuffer) {
    char tiny[2] = {'x', 'x'};
    ZelInit(tiny, sizeof tiny);
    PeerLink link({});
    EXPECT_EQ(RfaDriveOperation(link.handle(), 3), 16);
    EXPECT_EQ(tiny[0], 'x');
    ZelInit(nullptr, 0);
    EXPECT_EQ(RfaDriveOperation(link.handle(), 3), 16);
    EXPECT_EQ(Notifications().size(), 2u);
}

TEST_F(EntryPoints, SixtyFourLinksAndTheSixtyFifthGets11) {
    ScriptedPeer peer(OpenExchange());
    peer.SetLaterConnections(OpenExchange());
    ASSERT_TRUE(peer.Start());
    std::vector<RfaHandle> handles;
    for (int i = 0; i < 64; ++i) {
        RfaOpenLinkParams params = LinkParams(peer.node());
        ASSERT_EQ(RfaOpenLink(&params), 0) << i;
        EXPECT_EQ(params.handle, static_cast<RfaHandle>(i + 1));
        handles.push_back(params.handle);
    }
    RfaOpenLinkParams extra = LinkParams(peer.node());
    EXPECT_EQ(RfaOpenLink(&extra), 11);
    EXPECT_EQ(RfaSessionCount(), 64);

    // The lowest free slot is taken first.
    EXPECT_EQ(RfaCloseLink(3), 0);
    RfaOpenLinkParams again = LinkParams(peer.node());
    EXPECT_EQ(RfaOpenLink(&again), 0);
    EXPECT_EQ(again.handle, 3u);
    for (RfaHandle handle : handles) EXPECT_EQ(RfaCloseLink(handle), 0);
    EXPECT_EQ(RfaSessionCount(), 0);
    peer.Finish();
}

}  // namespace
}  // namespace zeltest
