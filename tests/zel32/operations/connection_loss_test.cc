// A peer that falls silent in the middle of an operation, as the hardening
// tests found it against a real server: the call fails with the cause of
// the failure (22, no answer in time, errorDetail 60) after one wait, and
// neither asks the silent peer for more nor reports an error of a message it
// had passed over.
#include <gtest/gtest.h>

#include <string>

#include "peer_link.h"
#include "support/test_paths.h"
#include "transfer_script.h"
#include "zel32/protocol/configuration.h"
#include "ztsock/ztsock.h"

namespace zeltest {
namespace {

constexpr int kReceiveLimitMs = 300;

class ConnectionLoss : public ::testing::Test {
protected:
    void SetUp() override {
        ZelResetConfigTemplate();
        ClearNotifications();
        ztsock::SetClientTimeouts(5000, kReceiveLimitMs);
    }
    void TearDown() override { ztsock::SetClientTimeouts(0, 0); }
    ScratchDir scratch;
};

TEST_F(ConnectionLoss, AnUploadWhoseProbeGetsNoAnswerFailsWithoutGoingOnToCreateTheTarget) {
    // The probe finds the target and connects its record stream; the
    // peer's Acknowledge never comes. Taking that for "no such target" would
    // send the copy's own Access and wait a second time.
    const std::string source = scratch / "LOCAL.TXT";
    WriteFile(source, "A\r");
    PeerLink link({expect(SentAttributes() + OpenAccess("OLD.TXT")), reply(RemoteAttributes(2, 2) + Acknowledge()),
                   expect(OpenConnectControl()), expectSilence(3 * kReceiveLimitMs)});
    EXPECT_EQ(RfaCopy(link.handle(), source.c_str(), "OLD.TXT", RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr), 22);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.errorCode, 22);
    EXPECT_EQ(status.errorDetail, 60);
}

TEST_F(ConnectionLoss, AnAbortWhosePeerFallsSilentReportsTheTimeoutNotAStatusItPassedOver) {
    // The Status of the interrupted transfer is dropped; then nothing comes.
    PeerLink link({expect(AccessComplete(1)), reply(Data(Text("REST")) + Status(0x5027)),
                   expectSilence(3 * kReceiveLimitMs)});
    EXPECT_EQ(RfaAbort(link.handle()), 22);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.errorCode, 22);
    EXPECT_EQ(status.errorValue, 0);
    EXPECT_EQ(status.errorDetail, 60);
}

TEST_F(ConnectionLoss, ARepairWhoseConfigurationGetsNoAnswerFailsWithTheTimeoutAndRunsNoSecondTime) {
    // The Sync Error is repaired with a Configuration that nothing answers:
    // the call fails with that cause, not with the broken connection that
    // running the Delete a second time would meet (2, detail 54).
    PeerLink link({expect(SentAccess(4, "A.TXT", 0x02, {0x31})), reply(Status(0xA0C0)),
                   expect(CurrentLibraryConfiguration()), expectSilence(3 * kReceiveLimitMs)});
    EXPECT_EQ(RfaDelete(link.handle(), "A.TXT"), 22);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.errorCode, 22);
    EXPECT_EQ(status.errorValue, 0);
    EXPECT_EQ(status.errorDetail, 60);
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].status, 0u);
}

}  // namespace
}  // namespace zeltest
