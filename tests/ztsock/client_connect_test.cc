// Connect: the handshake, and the error number of every way it fails.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/scripted_peer.h"
#include "ztsock/link_pair.h"
#include "ztsock/server.h"
#include "ztsock/ztsock.h"

namespace ztsock {
namespace {

using zeltest::Bytes;
using zeltest::closeConnection;
using zeltest::expectClosed;
using zeltest::PeerOptions;
using zeltest::raw;
using zeltest::ScriptedPeer;

class ConnectTest : public ::testing::Test {
protected:
    void TearDown() override { SetClientTimeouts(0, 0); }

    static void CloseLink(int32_t id) {
        int32_t value;
        if (id > 0) Close(static_cast<uint16_t>(id), &value);
    }
};

TEST_F(ConnectTest, HandshakeCarriesObjectUserAndPassword) {
    ScriptedPeer peer({});
    ASSERT_TRUE(peer.Start());
    int16_t error = 0;
    const int32_t id = Connect((peer.node() + "/alice/se/cr/et").c_str(), "#17", &error);
    ASSERT_GT(id, 0) << error;
    EXPECT_LE(id, 0xFFFE);
    EXPECT_EQ(Query(static_cast<uint16_t>(id)), 0);
    CloseLink(id);
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report();
    const ConnectRequest request = peer.connectRequest();
    EXPECT_EQ(request.object, "#17");
    EXPECT_EQ(request.user, "alice");
    EXPECT_EQ(request.password, "se/cr/et");
    EXPECT_EQ(request.peerAddress.rfind("127.0.0.1:", 0), 0u) << request.peerAddress;
}

TEST_F(ConnectTest, NodeAloneSendsEmptyUserAndPassword) {
    ScriptedPeer peer({});
    ASSERT_TRUE(peer.Start());
    int16_t error = 0;
    const int32_t id = Connect(peer.node().c_str(), "#17", &error);
    ASSERT_GT(id, 0) << error;
    CloseLink(id);
    peer.Finish();
    EXPECT_EQ(peer.connectRequest().user, "");
    EXPECT_EQ(peer.connectRequest().password, "");
}

TEST_F(ConnectTest, RejectGivesTheNumberItCarries) {
    for (int16_t number : {kErrAccessDenied, kErrNoSuchObject, kErrNoResources}) {
        SCOPED_TRACE(number);
        ScriptedPeer peer({}, PeerOptions{.rejectWith = number});
        ASSERT_TRUE(peer.Start());
        int16_t error = 0;
        EXPECT_EQ(Connect((peer.node() + "/bob/wrong").c_str(), "#17", &error), -1);
        EXPECT_EQ(error, number);
        peer.Finish();
        EXPECT_TRUE(peer.ok()) << peer.report();
    }
}

TEST_F(ConnectTest, NoListenerIsConnectionRefused61) {
    std::string node;
    {
        std::string failure;
        const auto listener = Listener::Open("127.0.0.1:0", &failure);
        ASSERT_NE(listener, nullptr) << failure;
        node = listener->addresses().front();
    }
    int16_t error = 0;
    EXPECT_EQ(Connect(node.c_str(), "#17", &error), -1);
    EXPECT_EQ(error, kErrConnectionRefused);
}

TEST_F(ConnectTest, UnresolvableHostIs49) {
    int16_t error = 0;
    EXPECT_EQ(Connect("no-such-host.invalid/user/pw", "#17", &error), -1);
    EXPECT_EQ(error, kErrHostUnresolved);
}

TEST_F(ConnectTest, MalformedNodeIs49) {
    for (const char* text : {"", "/user/pw", "[::1", "[]:7017", "127.0.0.1:70000", "127.0.0.1:"}) {
        int16_t error = 0;
        EXPECT_EQ(Connect(text, "#17", &error), -1) << text;
        EXPECT_EQ(error, kErrHostUnresolved) << text;
    }
    int16_t error = 0;
    EXPECT_EQ(Connect(nullptr, "#17", &error), -1);
    EXPECT_EQ(error, kErrHostUnresolved);
}

TEST_F(ConnectTest, PasswordTooLongForItsFieldIsRefusedBeforeConnecting) {
    int16_t error = 0;
    const std::string text = "127.0.0.1:1/user/" + std::string(256, 'p');
    EXPECT_EQ(Connect(text.c_str(), "#17", &error), -1);
    EXPECT_EQ(error, 22);
}

TEST_F(ConnectTest, BracketedIPv6LoopbackWithPort) {
    LinkPair pair;
    if (!pair.Open("[::1]:0", "/carol/pw")) {
        if (pair.listener == nullptr) GTEST_SKIP() << "no IPv6 loopback on this machine";
        FAIL() << "connect to " << pair.listener->addresses().front() << " failed: " << pair.clientError;
    }
    EXPECT_EQ(pair.request.user, "carol");
    EXPECT_EQ(pair.request.peerAddress.rfind("[::1]:", 0), 0u) << pair.request.peerAddress;

    const Bytes hello{'h', 'i'};
    ASSERT_EQ(Send(pair.id(), hello.data(), 2, 0, nullptr), 2);
    uint8_t buffer[16];
    EXPECT_EQ(pair.server->Receive(buffer, sizeof buffer, nullptr, 5000, nullptr), 2);
}

TEST_F(ConnectTest, NodeWithoutPortUsesPort7017) {
    std::string failure;
    const auto listener = Listener::Open("127.0.0.1", &failure);
    if (listener == nullptr) GTEST_SKIP() << "port 7017 is taken: " << failure;
    EXPECT_EQ(listener->port(), kDefaultPort);
    std::thread serverSide([&] {
        const auto connection = listener->Accept(5000);
        ConnectRequest request;
        if (connection != nullptr && connection->ReadConnect(&request, 5000)) connection->Reject(kErrNoSuchObject);
    });
    int16_t error = 0;
    EXPECT_EQ(Connect("127.0.0.1/user", "#17", &error), -1);
    EXPECT_EQ(error, kErrNoSuchObject);   // reached the listener, which rejected it
    serverSide.join();
}

TEST_F(ConnectTest, ServerThatNeverAnswersTimesOutWith60) {
    // The kernel completes the TCP handshake; nobody reads the CONNECT.
    std::string failure;
    const auto listener = Listener::Open("127.0.0.1:0", &failure);
    ASSERT_NE(listener, nullptr) << failure;
    SetClientTimeouts(300, 0);
    int16_t error = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Connect(listener->addresses().front().c_str(), "#17", &error), -1);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(error, kErrTimedOut);
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_LT(waited, std::chrono::seconds(10));   // bounded by the timeout, not the 15 s default
}

TEST_F(ConnectTest, HandshakeEndingInAnythingButAcceptOrRejectIs54) {
    struct Case {
        const char* what;
        zeltest::Script script;
    };
    const std::vector<Case> cases = {
        {"the server closes", {closeConnection()}},
        {"DATA before ACCEPT", {raw({0x04, 0x01, 0x00, 'x'}), expectClosed()}},
        {"a CONNECT back", {raw({0x01, 0x04, 0x00, 1, 0, 0, 0}), expectClosed()}},
        {"ACCEPT with a payload", {raw({0x02, 0x01, 0x00, 0x00}), expectClosed()}},
        {"REJECT with one byte", {raw({0x03, 0x01, 0x00, 0x0D}), expectClosed()}},
        {"unknown kind", {raw({0x09, 0x00, 0x00}), expectClosed()}},
        {"half a header, then close", {raw({0x02, 0x00}), closeConnection()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPeer peer(c.script, PeerOptions{.answerConnect = false});
        ASSERT_TRUE(peer.Start());
        int16_t error = 0;
        EXPECT_EQ(Connect(peer.node().c_str(), "#17", &error), -1);
        EXPECT_EQ(error, kErrConnectionReset);
        peer.Finish();
        EXPECT_TRUE(peer.ok()) << peer.report();
    }
}

TEST_F(ConnectTest, IdentifiersAreReusedAfterCloseAndNeverZero) {
    ScriptedPeer peer({});
    peer.SetLaterConnections({});
    ASSERT_TRUE(peer.Start());
    const std::string node = peer.node();
    const int32_t first = Connect(node.c_str(), "#17", nullptr);
    const int32_t second = Connect(node.c_str(), "#17", nullptr);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    EXPECT_NE(first, second);

    int32_t value = 7;
    EXPECT_NE(Close(static_cast<uint16_t>(first), &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Query(static_cast<uint16_t>(first)), 1);
    const int32_t third = Connect(node.c_str(), "#17", nullptr);
    EXPECT_EQ(third, first);

    CloseLink(second);
    CloseLink(third);
    value = 7;
    EXPECT_EQ(Close(static_cast<uint16_t>(second), &value), 0);   // already closed
    EXPECT_EQ(value, -1);
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report();
    EXPECT_EQ(peer.connections(), 3u);
}

TEST(ConnectionsAtExit, ALinkClosedByAnExitHandlerLeavesTheProcessWhole) {
    // An exit handler registered before the first connection runs after the
    // statics that connection made have been destroyed. The child process is
    // a fresh one, so that nothing of this process's earlier tests is in it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static int32_t id = 0;
            std::atexit([] {
                int32_t value = 0;
                if (id > 0 && Close(static_cast<uint16_t>(id), &value) == 0) std::_Exit(4);
            });
            auto* peer = new ScriptedPeer({expectClosed()});  // left running until the process ends
            if (!peer->Start()) std::exit(2);
            int16_t error = 0;
            id = Connect(peer->node().c_str(), "#17", &error);
            std::exit(id > 0 ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace ztsock
