// Opening and closing links through the public interface against the
// scripted peer: the Configuration exchange, its retries, and failed connects.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "peer_link.h"
#include "request_messages.h"
#include "zel32/api/link_establishment.h"
#include "zel32/api/link_table.h"
#include "zel32/api/session_list.h"
#include "zel32/protocol/configuration.h"
#include "zel32/protocol/context.h"

namespace zeltest {
namespace {

class OpenLink : public ::testing::Test {
protected:
    void SetUp() override {
        ZelResetConfigTemplate();
        ClearNotifications();
    }
};

// A loopback port nobody listens on.
uint16_t ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

TEST_F(OpenLink, FirstConfigurationIsTheTemplateAndTheLinkOpens) {
    PeerLink link({expectSilence(100)});
    EXPECT_EQ(link.openResult(), 0);
    EXPECT_EQ(link.handle(), 1u);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    ASSERT_GE(link.peer().received().size(), 1u);
    EXPECT_EQ(link.peer().received()[0].payload,
              (Bytes{0x01, 0x00, 0x00, 0x7E, 0x11, 0x0C, 0x07, 0x02, 0x00, 0x04, 0x00, 0xA2, 0x80, 0xD0, 0xF1, 0xAE,
                     0xAC, 0x80, 0xE4, 0x91, 0x02}));
    EXPECT_EQ(link.peer().connectRequest().object, "#17");
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.errorCode, 0);
    EXPECT_EQ(status.transferCount, 2u);  // one send, one receive
    EXPECT_TRUE(Notifications().empty());  // opening notifies nobody
}

TEST_F(OpenLink, UserAndPasswordTravelInTheConnect) {
    ScriptedPeer peer(OpenExchange());
    ASSERT_TRUE(peer.Start());
    RfaOpenLinkParams params = LinkParams(peer.node(), "smith", "secret");
    EXPECT_EQ(RfaOpenLink(&params), 0);
    EXPECT_EQ(RfaCloseLink(params.handle), 0);
    peer.Finish();
    EXPECT_EQ(peer.connectRequest().user, "smith");
    EXPECT_EQ(peer.connectRequest().password, "secret");
    EXPECT_TRUE(Notifications().empty());  // closing notifies nobody either
}

TEST_F(OpenLink, ConnectStringJoinsNodeUserAndPassword) {
    char out[kConnectStringSize];
    ASSERT_TRUE(RfaBuildConnectString("n", "u", "p", out));
    EXPECT_STREQ(out, "n/u/p");
    ASSERT_TRUE(RfaBuildConnectString("n", "", "p", out));
    EXPECT_STREQ(out, "n");  // no password without a user name
    ASSERT_TRUE(RfaBuildConnectString("n", "u", "", out));
    EXPECT_STREQ(out, "n/u/");
    const std::string node51(51, 'a');
    ASSERT_TRUE(RfaBuildConnectString(node51.c_str(), "", "", out));
    EXPECT_FALSE(RfaBuildConnectString(std::string(52, 'a').c_str(), "", "", out));
    EXPECT_FALSE(RfaBuildConnectString(std::string(40, 'a').c_str(), "user", "password", out));
    // The string is split at its first two slashes: one in the node or the
    // user name would move the rest into the user or the password.
    EXPECT_FALSE(RfaBuildConnectString("host/x", "", "", out));
    EXPECT_FALSE(RfaBuildConnectString("host", "dom/smith", "pw", out));
    ASSERT_TRUE(RfaBuildConnectString("host", "smith", "a/b", out));
    EXPECT_STREQ(out, "host/smith/a/b");
}

TEST_F(OpenLink, AConnectStringTooLongIsRefusedBeforeAnythingIsSent) {
    ScriptedPeer peer({});
    ASSERT_TRUE(peer.Start());
    RfaOpenLinkParams params = LinkParams(peer.node(), std::string(20, 'u'), std::string(30, 'p'));
    EXPECT_EQ(RfaOpenLink(&params), 4);
    peer.Finish();
    EXPECT_EQ(peer.connections(), 0u);
    EXPECT_EQ(RfaLinkAt(1), nullptr);
}

TEST_F(OpenLink, EmptyNodeOrNoNotificationIsRefusedAndTheSlotStaysFree) {
    RfaOpenLinkParams params = LinkParams("");
    EXPECT_EQ(RfaOpenLink(&params), 4);
    params = LinkParams("node");
    params.notify = nullptr;
    EXPECT_EQ(RfaOpenLink(&params), 4);
    EXPECT_EQ(RfaOpenLink(nullptr), 4);
    // Fields without their NUL are refused rather than read past.
    params = LinkParams("node");
    std::memset(params.userName, 'u', sizeof params.userName);
    EXPECT_EQ(RfaOpenLink(&params), 4);

    PeerLink link({});
    EXPECT_EQ(link.handle(), 1u);
}

TEST_F(OpenLink, RefusedConnectionMapsTo22AndKeepsTheSlot) {
    RfaOpenLinkParams params = LinkParams("127.0.0.1:" + std::to_string(ClosedPort()));
    EXPECT_EQ(RfaOpenLink(&params), 22);
    EXPECT_EQ(params.handle, 1u);
    const RfaLinkStatus status = Look(params.handle);
    EXPECT_EQ(status.errorCode, 22);
    EXPECT_EQ(status.errorDetail, 61);
    // Only RfaLook and RfaCloseLink still work on the handle.
    EXPECT_EQ(RfaDelete(params.handle, "A.TXT"), -1);
    EXPECT_EQ(RfaFindContext(params.handle), nullptr);
    EXPECT_EQ(RfaCloseLink(params.handle), -1);
    EXPECT_EQ(RfaLook(params.handle, &params, sizeof(RfaLinkStatus)), 4);  // slot freed
}

TEST_F(OpenLink, UnknownNodeMapsTo14) {
    RfaOpenLinkParams params = LinkParams("no-such-host.invalid");
    EXPECT_EQ(RfaOpenLink(&params), 14);
    EXPECT_EQ(Look(params.handle).errorDetail, 49);
    RfaCloseLink(params.handle);
}

TEST_F(OpenLink, RejectedPasswordMapsTo3) {
    ScriptedPeer peer({}, PeerOptions{.rejectWith = 13});
    ASSERT_TRUE(peer.Start());
    RfaOpenLinkParams params = LinkParams(peer.node(), "smith", "wrong");
    EXPECT_EQ(RfaOpenLink(&params), 3);
    EXPECT_EQ(Look(params.handle).errorDetail, 13);
    RfaCloseLink(params.handle);
    peer.Finish();
}

TEST_F(OpenLink, EveryConfigurationRefusedGivesThreeAttemptsAndWidensTheTemplate) {
    const Bytes refusal = Message(1, 0x00, {0xFF, 0x00, 7, 2, 7, 2, 0, 4, 0, 0x20});  // BUFSIZ 255
    ScriptedPeer peer({expect(LibraryConfiguration()), reply(refusal), expect(LibraryConfigurationRaised()),
                       reply(refusal), expect(LibraryConfigurationRaised()), reply(refusal), expectClosed()});
    ASSERT_TRUE(peer.Start());
    RfaOpenLinkParams params = LinkParams(peer.node());
    EXPECT_EQ(RfaOpenLink(&params), 20);
    EXPECT_EQ(RfaFindContext(params.handle), nullptr);
    RfaCloseLink(params.handle);
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report();

    // The widened capabilities stay for the next link of the process.
    PeerLink next({});
    EXPECT_EQ(next.openResult(), 0);
    ASSERT_TRUE(next.Finish()) << next.peer().report();
    EXPECT_EQ(next.peer().received()[0].payload, LibraryConfigurationRaised());
}

TEST_F(OpenLink, TheOutcomeIsThatOfTheLastAttempt) {
    const Bytes refusal = Message(1, 0x00, {0x01, 0x00});  // too short
    ScriptedPeer peer({expect(LibraryConfiguration()), reply(refusal), expect(LibraryConfigurationRaised()),
                       reply(PeerConfiguration())});
    ASSERT_TRUE(peer.Start());
    RfaOpenLinkParams params = LinkParams(peer.node());
    EXPECT_EQ(RfaOpenLink(&params), 0);
    EXPECT_EQ(Look(params.handle).errorCode, 0);
    EXPECT_EQ(RfaCloseLink(params.handle), 0);
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report();
}

TEST_F(OpenLink, ARetryGetsItsOwnAnswerThoughMoreCameWithTheRefusedOne) {
    // The refused answer (a malformed Configuration, or a Status) comes with
    // a good Configuration behind it in one block: that one belongs to the
    // refused attempt, the retry takes the answer to the raised
    // Configuration, and the Delete after it the answer to its Access.
    const Bytes malformed = Message(1, 0x02, {0xFF, 0x00, 7, 2, 7, 2, 0, 4, 0, 0x20});  // BUFSIZ 255
    for (const Bytes& refused : {malformed, Status(0x7FFF, 0x02)}) {
        SCOPED_TRACE(refused[0] == 1 ? "malformed Configuration" : "Status");
        ZelResetConfigTemplate();
        ScriptedPeer peer({expect(LibraryConfiguration()), reply(refused + PeerConfiguration()),
                           expect(LibraryConfigurationRaised()), reply(PeerConfiguration()),
                           expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(AccessComplete())});
        ASSERT_TRUE(peer.Start());
        RfaOpenLinkParams params = LinkParams(peer.node());
        EXPECT_EQ(RfaOpenLink(&params), 0);
        EXPECT_EQ(RfaDelete(params.handle, "A.TXT"), 0);
        EXPECT_EQ(RfaCloseLink(params.handle), 0);
        peer.Finish();
        EXPECT_TRUE(peer.ok()) << peer.report();
    }
}

TEST_F(OpenLink, ASyncErrorRefusingAConfigurationIsOverWhenTheLinkOpens) {
    // A Sync Error answering the first Configuration is the open's own
    // refusal, dealt with by the next attempt: it must not make the next
    // operation resynchronise, nor Close Link use the buffers it released.
    for (const bool closeFirst : {true, false}) {
        SCOPED_TRACE(closeFirst ? "close first" : "an operation first");
        ZelResetConfigTemplate();
        Script script{expect(LibraryConfiguration()), reply(Status(0xA001)), expect(LibraryConfigurationRaised()),
                      reply(PeerConfiguration())};
        if (!closeFirst) script.insert(script.end(), {expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(AccessComplete())});
        ScriptedPeer peer(std::move(script));
        ASSERT_TRUE(peer.Start());
        RfaOpenLinkParams params = LinkParams(peer.node());
        ASSERT_EQ(RfaOpenLink(&params), 0);
        if (!closeFirst) {
            EXPECT_EQ(RfaDelete(params.handle, "A.TXT"), 0);
        }
        EXPECT_EQ(RfaCloseLink(params.handle), 0);
        peer.Finish();
        EXPECT_TRUE(peer.ok()) << peer.report();
    }
}

TEST_F(OpenLink, AStatusAnsweringEveryConfigurationEndsIn20AfterThreeAttempts) {
    // No access is open during the exchange: the Status is only a refusal,
    // with nothing wound down (a peer that ignores stray messages would
    // otherwise hold the open for the receive limit).
    ZelResetConfigTemplate();
    const auto configuration = [](const Bytes& payload) { return !payload.empty() && payload[0] == 1; };
    Script script;
    for (int attempt = 0; attempt < 3; ++attempt) {
        script.push_back(expectWhere(configuration, "a Configuration"));
        script.push_back(reply(Status(0x7FFF)));
    }
    script.push_back(expectClosed());
    ScriptedPeer peer(std::move(script));
    ASSERT_TRUE(peer.Start());
    RfaOpenLinkParams params = LinkParams(peer.node());
    EXPECT_EQ(RfaOpenLink(&params), 20);
    EXPECT_EQ(Look(params.handle).errorValue, 0x00070FFF);
    EXPECT_EQ(RfaCloseLink(params.handle), -1);
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report();
}

TEST_F(OpenLink, APeerLackingARequiredCapabilityLeavesTheLinkOpenWithError1) {
    PeerConfig lacking;
    lacking.capabilities = {5, 18, 25};  // no 40
    PeerLink link({}, lacking);
    EXPECT_EQ(link.openResult(), 1);
    ZelContext* context = link.context();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->state, kStateOpen);
    EXPECT_EQ(context->peerFilesys, 2);  // the peer's fields were kept
    EXPECT_FALSE(context->peerBlocking);
}

TEST_F(OpenLink, APeerThatClosesDuringTheExchangeFailsTheOpen) {
    ScriptedPeer peer({expect(LibraryConfiguration()), closeConnection()});
    ASSERT_TRUE(peer.Start());
    RfaOpenLinkParams params = LinkParams(peer.node());
    EXPECT_EQ(RfaOpenLink(&params), 2);
    EXPECT_EQ(Look(params.handle).errorDetail, 54);
    EXPECT_EQ(RfaFindContext(params.handle), nullptr);
    EXPECT_EQ(RfaCloseLink(params.handle), -1);
    peer.Finish();
}

TEST_F(OpenLink, AnAnswerOtherThanConfigurationIsRefused) {
    // An Acknowledge where a Configuration belongs is refused (error 20),
    // so the library widens its capabilities and tries again.
    ScriptedPeer peer({expect(LibraryConfiguration()), reply(Acknowledge()), expect(LibraryConfigurationRaised()),
                       reply(PeerConfiguration())});
    ASSERT_TRUE(peer.Start());
    RfaOpenLinkParams params = LinkParams(peer.node());
    EXPECT_EQ(RfaOpenLink(&params), 0);
    RfaCloseLink(params.handle);
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report();
}

TEST_F(OpenLink, GarbageFromThePeerFailsCleanly) {
    ScriptedPeer peer({expect(LibraryConfiguration()), raw({0x09, 0xFF, 0xFF, 0x01, 0x02})});
    ASSERT_TRUE(peer.Start());
    RfaOpenLinkParams params = LinkParams(peer.node());
    const int32_t result = RfaOpenLink(&params);
    EXPECT_NE(result, 0);
    EXPECT_EQ(RfaFindContext(params.handle), nullptr);
    RfaCloseLink(params.handle);
    peer.Finish();
}

TEST_F(OpenLink, AnOversizedFrameFailsCleanly) {
    Bytes frame = {0x04, 0x01, 0x7F};  // 32513 bytes announced, more than a block
    frame.resize(3 + 0x7F01, 0x06);
    ScriptedPeer peer({expect(LibraryConfiguration()), raw(frame)});
    ASSERT_TRUE(peer.Start());
    RfaOpenLinkParams params = LinkParams(peer.node());
    EXPECT_EQ(RfaOpenLink(&params), 2);
    RfaCloseLink(params.handle);
    peer.Finish();
}

TEST_F(OpenLink, ClosingReleasesEverything) {
    PeerLink link({});
    ASSERT_EQ(link.openResult(), 0);
    EXPECT_EQ(RfaSessionCount(), 1);
    EXPECT_EQ(link.Close(), 0);
    EXPECT_EQ(RfaSessionCount(), 0);
    EXPECT_EQ(RfaCloseLink(link.handle()), 4);
}

}  // namespace
}  // namespace zeltest
