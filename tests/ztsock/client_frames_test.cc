// The client's frames after the handshake: boundaries, order, the peer's
// close, protocol violations, timeouts, and sends that must not kill the
// process.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/scripted_peer.h"
#include "ztsock/link_pair.h"
#include "ztsock/ztsock.h"

namespace ztsock {
namespace {

using namespace zeltest;

// `length` bytes that differ from frame to frame, so that a frame delivered
// twice, cut short or out of order is noticed.
Bytes Pattern(size_t length, uint8_t seed) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

Bytes Frame(uint8_t kind, const Bytes& payload) {
    const auto length = static_cast<uint16_t>(payload.size());
    return Bytes{kind, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)} + payload;
}

class FramesTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (id_ > 0) {
            int32_t value;
            Close(id_, &value);
        }
        SetClientTimeouts(0, 0);
    }

    // Connects to the peer; the test fails when the handshake does.
    void ConnectTo(const ScriptedPeer& peer) {
        int16_t error = 0;
        const int32_t id = Connect(peer.node().c_str(), "#17", &error);
        ASSERT_GT(id, 0) << "connect failed with " << error;
        id_ = static_cast<uint16_t>(id);
    }

    // Ends a test's exchange: the peer must have seen its whole script; the
    // link is closed so that the next case starts afresh.
    void FinishAndClose(ScriptedPeer& peer) {
        peer.Finish();
        EXPECT_TRUE(peer.ok()) << peer.report();
        TearDown();
        id_ = 0;
    }

    int32_t SendBytes(const Bytes& payload, bool expedited = false) {
        int16_t error = 0;
        return Send(id_, payload.data(), static_cast<uint16_t>(payload.size()), expedited ? 1 : 0, &error);
    }

    // One Receive: the payload (empty for 0 or -1), with the result and
    // error number left in result_ and error_.
    Bytes ReceiveBytes(uint16_t maximum = kMaxPayload) {
        Bytes buffer(maximum);
        error_ = 0;
        result_ = Receive(id_, buffer.data(), maximum, &error_);
        buffer.resize(result_ > 0 ? static_cast<size_t>(result_) : 0);
        return buffer;
    }

    uint16_t id_ = 0;
    int32_t result_ = 0;
    int16_t error_ = 0;
};

TEST_F(FramesTest, FramesKeepTheirBoundariesBothWays) {
    const Bytes one = Pattern(1, 1);
    const Bytes largest = Pattern(kMaxPayload, 2);
    const Bytes middle = Pattern(100, 3);
    ScriptedPeer peer({
        expect(one),
        expect(largest),
        expect(middle),
        reply(largest),
        reply(one),
        reply(middle),
    });
    ASSERT_TRUE(peer.Start());
    ConnectTo(peer);
    EXPECT_EQ(SendBytes(one), 1);
    EXPECT_EQ(SendBytes(largest), static_cast<int32_t>(kMaxPayload));
    EXPECT_EQ(SendBytes(middle), 100);
    EXPECT_EQ(ReceiveBytes(), largest);
    EXPECT_EQ(ReceiveBytes(), one);
    EXPECT_EQ(ReceiveBytes(), middle);
    FinishAndClose(peer);
}

TEST_F(FramesTest, ManySmallFramesInOneWriteComeOutOneByOne) {
    Bytes stream;
    for (int i = 0; i < 2000; ++i) stream = stream + Frame(kFrameData, Pattern(1 + i % 40, static_cast<uint8_t>(i)));
    ScriptedPeer peer({raw(stream)});
    ASSERT_TRUE(peer.Start());
    ConnectTo(peer);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(ReceiveBytes(), Pattern(1 + i % 40, static_cast<uint8_t>(i))) << "frame " << i;
    }
    FinishAndClose(peer);
}

TEST_F(FramesTest, ManySmallFramesSentBackToBackArriveSeparately) {
    Script script;
    for (int i = 0; i < 500; ++i) script.push_back(expect(Pattern(1 + i % 25, static_cast<uint8_t>(i))));
    script.push_back(expectSilence(100));
    ScriptedPeer peer(script);
    ASSERT_TRUE(peer.Start());
    ConnectTo(peer);
    for (int i = 0; i < 500; ++i) ASSERT_GT(SendBytes(Pattern(1 + i % 25, static_cast<uint8_t>(i))), 0);
    FinishAndClose(peer);
}

TEST_F(FramesTest, ExpeditedFramesArriveInOrderWithData) {
    ScriptedPeer peer({
        expect({0x01}),
        expectExpedited({0x02}),
        expect({0x03}),
        reply({0x11}),
        replyExpedited({0x12}),
        reply({0x13}),
    });
    ASSERT_TRUE(peer.Start());
    ConnectTo(peer);
    SendBytes({0x01});
    SendBytes({0x02}, true);
    SendBytes({0x03});
    EXPECT_EQ(ReceiveBytes(), Bytes{0x11});
    EXPECT_EQ(ReceiveBytes(), Bytes{0x12});
    EXPECT_EQ(ReceiveBytes(), Bytes{0x13});
    FinishAndClose(peer);
}

TEST_F(FramesTest, SendOfZeroBytesSendsNoFrame) {
    // An empty DATA frame would break the peer's first expect.
    ScriptedPeer peer({expect({0x2A}), expectSilence(100)});
    ASSERT_TRUE(peer.Start());
    ConnectTo(peer);
    int16_t error = 0;
    EXPECT_EQ(Send(id_, nullptr, 0, 0, &error), 0);
    EXPECT_EQ(Send(id_, nullptr, 0, 1, &error), 0);
    EXPECT_EQ(SendBytes({0x2A}), 1);
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report();
    EXPECT_EQ(peer.received().size(), 1u);
}

TEST_F(FramesTest, PeerCloseGivesZeroThenQueryOne) {
    ScriptedPeer peer({reply({0x05}), closeConnection()});
    ASSERT_TRUE(peer.Start());
    ConnectTo(peer);
    EXPECT_EQ(ReceiveBytes(), Bytes{0x05});
    EXPECT_EQ(Query(id_), 0);
    ReceiveBytes();
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(error_, kErrConnectionReset);
    EXPECT_EQ(Query(id_), 1);
    ReceiveBytes();   // stays at the end
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(SendBytes({0x01}), -1);
    FinishAndClose(peer);
}

TEST_F(FramesTest, ProtocolViolationsFailTheReceiveAndCloseTheConnection) {
    struct Case {
        const char* what;
        Bytes bytes;
        uint16_t maximum;
    };
    const std::vector<Case> cases = {
        {"payload above 32256", Bytes{0x04, 0x01, 0x7E} + Pattern(32257, 0), kMaxPayload},
        {"payload above the caller's maximum", Frame(kFrameData, Pattern(11, 0)), 10},
        {"unknown kind", Frame(0x06, Pattern(4, 0)), kMaxPayload},
        {"kind 0", Frame(0x00, Pattern(4, 0)), kMaxPayload},
        {"ACCEPT after the handshake", Frame(kFrameAccept, {}), kMaxPayload},
        {"REJECT after the handshake", Frame(kFrameReject, {0x0D, 0x00}), kMaxPayload},
        {"CONNECT after the handshake", Frame(kFrameConnect, {0x01, 0, 0, 0}), kMaxPayload},
        {"empty DATA frame", Frame(kFrameData, {}), kMaxPayload},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The peer sees the client close: the broken link is not left open.
        ScriptedPeer peer({raw(c.bytes), expectClosed()});
        ASSERT_TRUE(peer.Start());
        ConnectTo(peer);
        ReceiveBytes(c.maximum);
        EXPECT_EQ(result_, -1);
        EXPECT_EQ(error_, kErrConnectionReset);
        EXPECT_EQ(Query(id_), 1);
        ReceiveBytes();
        EXPECT_EQ(result_, -1);   // closed for good, no reading past the bad frame
        FinishAndClose(peer);
    }
}

TEST_F(FramesTest, ReceiveTimeoutBetweenFramesIs60AndTheLinkSurvives) {
    ScriptedPeer peer({expect({0x01}), reply({0x02})});
    ASSERT_TRUE(peer.Start());
    SetClientTimeouts(5000, 200);
    ConnectTo(peer);
    ReceiveBytes();
    EXPECT_EQ(result_, -1);
    EXPECT_EQ(error_, kErrTimedOut);
    EXPECT_EQ(Query(id_), 0);
    SendBytes({0x01});
    EXPECT_EQ(ReceiveBytes(), Bytes{0x02});
    FinishAndClose(peer);
}

TEST_F(FramesTest, StallInsideAFrameIs60AndBreaksTheLink) {
    for (const Bytes& part : {Bytes{0x04, 0x10}, Bytes{0x04, 0x10, 0x00, 'a', 'b'}}) {
        SCOPED_TRACE(Hex(part));
        ScriptedPeer peer({raw(part), expectClosed()});
        ASSERT_TRUE(peer.Start());
        SetClientTimeouts(5000, 200);
        ConnectTo(peer);
        ReceiveBytes();
        EXPECT_EQ(result_, -1);
        EXPECT_EQ(error_, kErrTimedOut);
        EXPECT_EQ(Query(id_), 1);
        FinishAndClose(peer);
    }
}

TEST_F(FramesTest, AFrameTrickledInMustArriveWholeWithinTheReceiveLimit) {
    // Each byte comes well within the limit, but the frame as a whole does
    // not: a server cannot hold the client for ever by trickling it.
    std::vector<Step> script{raw({0x04, 0x20, 0x00})};
    for (int i = 0; i < 32; ++i) script.insert(script.end(), {delay(60), raw({static_cast<uint8_t>('a' + i)})});
    ScriptedPeer peer(std::move(script));
    ASSERT_TRUE(peer.Start());
    SetClientTimeouts(5000, 600);
    ConnectTo(peer);
    ReceiveBytes();
    EXPECT_EQ(result_, -1);
    EXPECT_EQ(error_, kErrTimedOut);
    EXPECT_EQ(Query(id_), 1);
    // The rest of the trickle meets a closed connection: the script fails.
    peer.Finish();
}

TEST_F(FramesTest, TheWaitBeforeAFrameBeginsIsNotCountedAgainstTheFrame) {
    // Silent for most of the limit, then a frame whose bytes take more
    // than the rest of it: the silence and the frame are each within it.
    ScriptedPeer peer({delay(600), raw({0x04, 0x03, 0x00, 'x'}), delay(500), raw({'y', 'z'})});
    ASSERT_TRUE(peer.Start());
    SetClientTimeouts(5000, 900);
    ConnectTo(peer);
    EXPECT_EQ(ReceiveBytes(), (Bytes{'x', 'y', 'z'})) << "error " << error_;
    FinishAndClose(peer);
}

TEST_F(FramesTest, PeerClosingInsideAFrameIsAFailureNotAnOrderlyClose) {
    ScriptedPeer peer({raw({0x04, 0x10, 0x00, 'a', 'b'}), closeConnection()});
    ASSERT_TRUE(peer.Start());
    ConnectTo(peer);
    ReceiveBytes();
    EXPECT_EQ(result_, -1);
    EXPECT_EQ(error_, kErrConnectionReset);
    EXPECT_EQ(Query(id_), 1);
    peer.Finish();
}

TEST_F(FramesTest, SendToAClosedPeerFailsWithoutSigpipe) {
    // The default action of SIGPIPE ends the process: the test would die.
    std::signal(SIGPIPE, SIG_DFL);
    ScriptedPeer peer({closeConnection()});
    ASSERT_TRUE(peer.Start());
    ConnectTo(peer);
    peer.Finish();
    // The first sends may still be taken in; the peer's reset ends that.
    int32_t result = 0;
    int16_t error = 0;
    const Bytes block = Pattern(1000, 9);
    for (int attempt = 0; attempt < 200 && result != -1; ++attempt) {
        result = Send(id_, block.data(), static_cast<uint16_t>(block.size()), 0, &error);
        if (result != -1) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, kErrConnectionReset);
    EXPECT_EQ(Query(id_), 1);
}

TEST_F(FramesTest, SendLongerThanAFrameIsRefused) {
    ScriptedPeer peer({expectSilence(100)});
    ASSERT_TRUE(peer.Start());
    ConnectTo(peer);
    const Bytes tooLong(kMaxPayload + 1);
    int16_t error = 0;
    EXPECT_EQ(Send(id_, tooLong.data(), static_cast<uint16_t>(tooLong.size()), 0, &error), -1);
    EXPECT_EQ(error, 40);
    FinishAndClose(peer);
}

TEST_F(FramesTest, UnknownIdentifierFailsEveryCall) {
    const uint16_t unknown = 0xFFFE;   // no test opens that many links
    uint8_t buffer[8] = {};
    int16_t error = 0;
    EXPECT_EQ(Send(unknown, buffer, 1, 0, &error), -1);
    EXPECT_EQ(error, 38);
    error = 0;
    EXPECT_EQ(Receive(unknown, buffer, sizeof buffer, &error), -1);
    EXPECT_EQ(error, 38);
    EXPECT_EQ(Query(unknown), 1);
    EXPECT_EQ(Query(0), 1);
    int32_t value = 0;
    EXPECT_EQ(Close(unknown, &value), 0);
    EXPECT_EQ(value, -1);
}

TEST_F(FramesTest, CloseWakesAReceiveBlockedOnAnotherThread) {
    ScriptedPeer peer({});
    ASSERT_TRUE(peer.Start());
    ConnectTo(peer);
    int32_t result = 99;
    std::thread reader([&] {
        uint8_t buffer[16];
        result = Receive(id_, buffer, sizeof buffer, nullptr);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int32_t value;
    EXPECT_NE(Close(id_, &value), 0);
    reader.join();   // would wait out the 120 s receive timeout otherwise
    EXPECT_LE(result, 0);
    id_ = 0;
    peer.Finish();
}

// Both directions at once through the real buffers: frames of every size,
// in large numbers, checked byte for byte at the other end.
TEST(BulkTransfer, SixteenMegabytesEachWayArriveIntact) {
    SetClientTimeouts(0, 10000);   // a failure on one side must not leave the other waiting long
    LinkPair pair;
    ASSERT_TRUE(pair.Open("127.0.0.1:0")) << pair.clientError;
    constexpr size_t kTotal = 16u << 20;
    auto frameLength = [](size_t index) { return 1 + (index * 7919) % kMaxPayload; };
    auto payload = [&](size_t index, bool fromServer) {
        return Pattern(frameLength(index), static_cast<uint8_t>(fromServer ? index : ~index));
    };

    auto serverSide = [&] {
        size_t index = 0;
        for (size_t sent = 0; sent < kTotal; sent += frameLength(index++)) {
            const Bytes block = payload(index, true);
            ASSERT_EQ(pair.server->Send(block.data(), block.size(), index % 5 == 0, nullptr),
                      static_cast<int32_t>(block.size()));
        }
        Bytes buffer(kMaxPayload);
        index = 0;
        for (size_t got = 0; got < kTotal; ++index) {
            const int32_t length = pair.server->Receive(buffer.data(), buffer.size(), nullptr, 10000, nullptr);
            ASSERT_EQ(length, static_cast<int32_t>(frameLength(index))) << "frame " << index;
            ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + length, payload(index, false).begin()));
            got += static_cast<size_t>(length);
        }
    };
    auto clientSends = [&] {
        size_t index = 0;
        for (size_t sent = 0; sent < kTotal; sent += frameLength(index++)) {
            const Bytes block = payload(index, false);
            ASSERT_EQ(Send(pair.id(), block.data(), static_cast<uint16_t>(block.size()), 0, nullptr),
                      static_cast<int32_t>(block.size()));
        }
    };
    auto clientReceives = [&] {
        Bytes buffer(kMaxPayload);
        size_t index = 0;
        for (size_t got = 0; got < kTotal; ++index) {
            const int32_t length = Receive(pair.id(), buffer.data(), kMaxPayload, nullptr);
            ASSERT_EQ(length, static_cast<int32_t>(frameLength(index))) << "frame " << index;
            ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + length, payload(index, true).begin()));
            got += static_cast<size_t>(length);
        }
    };
    // Whichever side fails first shuts the link, so that the others return.
    auto stopOnFailure = [&](auto work) {
        return [&, work] {
            work();
            if (::testing::Test::HasFailure()) pair.server->Shutdown();
        };
    };
    std::thread server(stopOnFailure(serverSide));
    std::thread sender(stopOnFailure(clientSends));
    stopOnFailure(clientReceives)();
    sender.join();
    server.join();
    SetClientTimeouts(0, 0);
}

}  // namespace
}  // namespace ztsock
