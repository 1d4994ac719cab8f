// The scripted test peer itself: that it plays a script, records what it
// receives, and reports every way a client departs from the script.
#include "support/scripted_peer.h"

#include <gtest/gtest.h>

#include <string>

#include "ztsock/ztsock.h"

namespace zeltest {
namespace {

// A ztsock client link to the peer, closed at the end of the test.
class Client {
public:
    explicit Client(const ScriptedPeer& peer, const std::string& credentials = "") {
        id_ = ztsock::Connect((peer.node() + credentials).c_str(), "#17", &error_);
    }
    ~Client() {
        int32_t value;
        if (id_ > 0) ztsock::Close(id(), &value);
    }
    bool connected() const { return id_ > 0; }
    int16_t error() const { return error_; }
    uint16_t id() const { return static_cast<uint16_t>(id_); }

    int32_t Send(const Bytes& payload, bool expedited = false) {
        return ztsock::Send(id(), payload.data(), static_cast<uint16_t>(payload.size()), expedited, nullptr);
    }
    // The payload received; empty when the receive gave 0 or -1.
    Bytes Receive() {
        Bytes buffer(ztsock::kMaxPayload);
        const int32_t length = ztsock::Receive(id(), buffer.data(), ztsock::kMaxPayload, nullptr);
        buffer.resize(length > 0 ? static_cast<size_t>(length) : 0);
        return buffer;
    }

private:
    int32_t id_ = -1;
    int16_t error_ = 0;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ScriptedPeer, PlaysTheScriptAndRecordsEveryFrame) {
    ScriptedPeer peer({
        expect({0x01, 0x02}),
        reply({0x0A}),
        expectExpedited({0x03}),
        expectAny(),
    });
    ASSERT_TRUE(peer.Start());
    Client client(peer, "/alice/pw");
    ASSERT_TRUE(client.connected()) << client.error();
    client.Send({0x01, 0x02});
    EXPECT_EQ(client.Receive(), Bytes{0x0A});
    client.Send({0x03}, true);
    client.Send({0x04});
    client.Send({0x05});   // after the script: still recorded
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report();
    EXPECT_EQ(peer.report(), "");
    const auto frames = peer.received();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[1].kind, ztsock::kFrameExpedited);
    EXPECT_EQ(frames[3].kind, ztsock::kFrameData);
    EXPECT_EQ(frames[3].payload, Bytes{0x05});
    EXPECT_EQ(peer.connectRequest().user, "alice");
}

TEST(ScriptedPeer, MismatchIsReportedWithBothPayloadsAndClosesTheConnection) {
    ScriptedPeer peer({expect({0x01, 0x02, 0x03}), reply({0x0A})});
    ASSERT_TRUE(peer.Start());
    Client client(peer);
    ASSERT_TRUE(client.connected());
    client.Send({0x01, 0x02, 0x04});
    EXPECT_EQ(client.Receive(), Bytes{});   // the close, not the reply, and no hang
    EXPECT_EQ(ztsock::Query(client.id()), 1);
    peer.Finish();
    EXPECT_FALSE(peer.ok());
    const std::string report = peer.report();
    EXPECT_TRUE(Contains(report, "step 1")) << report;
    EXPECT_TRUE(Contains(report, "expected: 01 02 03")) << report;
    EXPECT_TRUE(Contains(report, "received: 01 02 04")) << report;
    EXPECT_TRUE(Contains(report, "first difference at byte 2")) << report;
}

TEST(ScriptedPeer, LongPayloadsAreShownAroundTheirFirstDifference) {
    Bytes expected(1000, 0x11);
    Bytes sent = expected;
    sent[700] = 0x22;
    ScriptedPeer peer({expect(expected)});
    ASSERT_TRUE(peer.Start());
    Client client(peer);
    client.Send(sent);
    peer.Finish();
    const std::string report = peer.report();
    EXPECT_TRUE(Contains(report, "first difference at byte 700")) << report;
    EXPECT_TRUE(Contains(report, "from byte 684: 11 11")) << report;
    EXPECT_TRUE(Contains(report, "11 22 11")) << report;
}

TEST(ScriptedPeer, FrameOfTheWrongKindIsAMismatch) {
    ScriptedPeer peer({expectExpedited({0x07})});
    ASSERT_TRUE(peer.Start());
    Client client(peer);
    client.Send({0x07});
    peer.Finish();
    EXPECT_FALSE(peer.ok());
    EXPECT_TRUE(Contains(peer.report(), "expect EXPEDITED")) << peer.report();
    EXPECT_TRUE(Contains(peer.report(), "received DATA")) << peer.report();
}

TEST(ScriptedPeer, ExpectSilenceFailsWhenAFrameArrives) {
    ScriptedPeer peer({expectSilence(2000)});
    ASSERT_TRUE(peer.Start());
    Client client(peer);
    client.Send({0x66});
    peer.Finish();
    EXPECT_FALSE(peer.ok());
    EXPECT_TRUE(Contains(peer.report(), "expect silence")) << peer.report();
    EXPECT_TRUE(Contains(peer.report(), "66")) << peer.report();
}

TEST(ScriptedPeer, ExpectSilencePassesWhenNothingArrives) {
    ScriptedPeer peer({expectSilence(100), reply({0x01})});
    ASSERT_TRUE(peer.Start());
    Client client(peer);
    EXPECT_EQ(client.Receive(), Bytes{0x01});
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report();
}

TEST(ScriptedPeer, ExpectWhereAppliesThePredicateAndNamesIt) {
    auto startsWithSeven = [](const Bytes& payload) { return !payload.empty() && payload[0] == 7; };
    ScriptedPeer peer({
        expectWhere(startsWithSeven, "first byte 7"),
        expectWhere(startsWithSeven, "first byte 7 again"),
    });
    ASSERT_TRUE(peer.Start());
    Client client(peer);
    client.Send({7, 1, 2});
    client.Send({8, 1, 2});
    peer.Finish();
    EXPECT_FALSE(peer.ok());
    const std::string report = peer.report();
    EXPECT_TRUE(Contains(report, "step 2 ")) << report;
    EXPECT_TRUE(Contains(report, "first byte 7 again")) << report;
    EXPECT_FALSE(Contains(report, "step 1 ")) << report;
}

TEST(ScriptedPeer, MissingFrameIsReportedAfterTheExpectTimeout) {
    ScriptedPeer peer({expect({0x01})}, PeerOptions{.expectTimeoutMs = 100});
    ASSERT_TRUE(peer.Start());
    Client client(peer);
    peer.Finish();
    EXPECT_FALSE(peer.ok());
    EXPECT_TRUE(Contains(peer.report(), "nothing arrived within 100 ms")) << peer.report();
}

TEST(ScriptedPeer, ExpectClosedSeesTheClientClose) {
    ScriptedPeer peer({expect({0x01}), expectClosed()});
    ASSERT_TRUE(peer.Start());
    {
        Client client(peer);
        client.Send({0x01});
    }
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report();
}

TEST(ScriptedPeer, ExpectClosedFailsWhileTheClientStaysConnected) {
    ScriptedPeer peer({expectClosed()}, PeerOptions{.expectTimeoutMs = 100});
    ASSERT_TRUE(peer.Start());
    Client client(peer);
    peer.Finish();
    EXPECT_FALSE(peer.ok());
    EXPECT_TRUE(Contains(peer.report(), "still open")) << peer.report();
}

TEST(ScriptedPeer, EachConnectionPlaysItsOwnScriptAndAnUnexpectedOneIsRefused) {
    ScriptedPeer peer({expect({0x01}), reply({0x11})});
    peer.AddConnection({expect({0x02}), reply({0x22})}, PeerOptions{.rejectWith = 0});
    ASSERT_TRUE(peer.Start());
    Client first(peer, "/one");
    Client second(peer, "/two");
    ASSERT_TRUE(first.connected());
    ASSERT_TRUE(second.connected());
    second.Send({0x02});
    first.Send({0x01});
    EXPECT_EQ(second.Receive(), Bytes{0x22});
    EXPECT_EQ(first.Receive(), Bytes{0x11});
    Client third(peer);
    EXPECT_FALSE(third.connected());
    EXPECT_EQ(third.error(), ztsock::kErrNoResources);
    peer.Finish();
    EXPECT_EQ(peer.connectRequest(1).user, "two");
    EXPECT_EQ(peer.connections(), 2u);
    EXPECT_FALSE(peer.ok());
    EXPECT_TRUE(Contains(peer.report(), "connection 3")) << peer.report();
    EXPECT_TRUE(Contains(peer.report(), "not expected")) << peer.report();
}

TEST(ScriptedPeer, LaterConnectionsFollowTheirPolicy) {
    ScriptedPeer peer({reply({0x01})});
    peer.SetLaterConnections({}, PeerOptions{.rejectWith = ztsock::kErrAccessDenied});
    ASSERT_TRUE(peer.Start());
    Client first(peer);
    ASSERT_TRUE(first.connected());
    for (int i = 0; i < 3; ++i) {
        Client later(peer);
        EXPECT_FALSE(later.connected());
        EXPECT_EQ(later.error(), ztsock::kErrAccessDenied);
    }
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report();
    EXPECT_EQ(peer.connections(), 4u);
}

TEST(ScriptedPeer, RejectingWithAScriptLeftIsReported) {
    ScriptedPeer peer({expect({0x01})}, PeerOptions{.rejectWith = ztsock::kErrNoSuchObject});
    ASSERT_TRUE(peer.Start());
    Client client(peer);
    EXPECT_EQ(client.error(), ztsock::kErrNoSuchObject);
    peer.Finish();
    EXPECT_FALSE(peer.ok());
}

TEST(ScriptedPeer, HexAndConcatenation) {
    EXPECT_EQ(Hex({}), "");
    EXPECT_EQ(Hex({0x00, 0x7E, 0xFF}), "00 7e ff");
    EXPECT_EQ(Bytes({1, 2}) + Bytes{3}, (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace zeltest
