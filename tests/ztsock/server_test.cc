// The listening side: binding, accepting, waking, the CONNECT check, and
// what a server connection does with a client's bad frames.
#include "ztsock/server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "ztsock/errors.h"
#include "ztsock/link_pair.h"

namespace ztsock {
namespace {

using Bytes = std::vector<uint8_t>;

std::unique_ptr<Listener> OpenListener(const std::string& address = "127.0.0.1:0") {
    std::string error;
    auto listener = Listener::Open(address, &error);
    EXPECT_NE(listener, nullptr) << error;
    return listener;
}

// A plain TCP client that writes `bytes` as they are.
UniqueFd RawClient(uint16_t port, const Bytes& bytes) {
    UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    if (!bytes.empty()) {
        EXPECT_EQ(::send(socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    return socket;
}

// A raw client logged in to a server connection (an empty CONNECT, ACCEPT
// answered), for tests of what the connection does with bytes as they come.
struct RawLink {
    std::unique_ptr<Listener> listener;
    UniqueFd client;
    std::unique_ptr<ServerConnection> connection;

    bool Open() {
        listener = OpenListener();
        if (listener == nullptr) return false;
        client = RawClient(listener->port(), {0x01, 0x04, 0x00, 0x01, 0, 0, 0});
        connection = listener->Accept(5000);
        ConnectRequest request;
        return connection != nullptr && connection->ReadConnect(&request, 5000) && connection->Accept();
    }
};

TEST(Listener, EphemeralPortOnLoopback) {
    const auto listener = OpenListener("127.0.0.1:0");
    ASSERT_NE(listener, nullptr);
    EXPECT_NE(listener->port(), 0);
    EXPECT_TRUE(listener->IsLoopback());
    EXPECT_EQ(listener->addresses(), std::vector<std::string>{"127.0.0.1:" + std::to_string(listener->port())});
}

TEST(Listener, EveryAddressIsNotLoopback) {
    for (const char* address : {"0.0.0.0:0", "*:0", ":0"}) {
        const auto listener = OpenListener(address);
        ASSERT_NE(listener, nullptr) << address;
        EXPECT_FALSE(listener->IsLoopback()) << address;
    }
}

TEST(Listener, LocalhostBindsTheSamePortOnEachAddress) {
    const auto listener = OpenListener("localhost:0");
    ASSERT_NE(listener, nullptr);
    EXPECT_TRUE(listener->IsLoopback());
    for (const std::string& text : listener->addresses()) {
        EXPECT_EQ(text.substr(text.rfind(':') + 1), std::to_string(listener->port())) << text;
    }
}

TEST(Listener, BadAddressesAreRefusedWithAMessage) {
    for (const char* address : {"127.0.0.1:99999", "[::1", "7017", "no-such-host.invalid:0"}) {
        std::string error;
        EXPECT_EQ(Listener::Open(address, &error), nullptr) << address;
        EXPECT_FALSE(error.empty()) << address;
    }
}

TEST(Listener, PortInUseIsRefused) {
    const auto first = OpenListener();
    ASSERT_NE(first, nullptr);
    std::string error;
    const std::string address = first->addresses().front();
    EXPECT_EQ(Listener::Open(address, &error), nullptr);
    EXPECT_NE(error.find(address), std::string::npos) << error;
}

TEST(Listener, AcceptTimesOutWithNull) {
    const auto listener = OpenListener();
    ASSERT_NE(listener, nullptr);
    EXPECT_EQ(listener->Accept(50), nullptr);
    EXPECT_FALSE(listener->woken());
}

TEST(Listener, WakeUnblocksAcceptAndEveryLaterOne) {
    const auto listener = OpenListener();
    ASSERT_NE(listener, nullptr);
    auto accepted = std::async(std::launch::async, [&] { return listener->Accept(-1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    listener->Wake();
    ASSERT_EQ(accepted.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(accepted.get(), nullptr);
    EXPECT_TRUE(listener->woken());
    const UniqueFd waiting = RawClient(listener->port(), {});
    EXPECT_EQ(listener->Accept(-1), nullptr);   // woken for good, even with a client waiting
}

TEST(ServerConnection, ShutdownUnblocksReceiveAndTheClientSeesTheClose) {
    LinkPair pair;
    ASSERT_TRUE(pair.Open("127.0.0.1:0")) << pair.clientError;
    auto received = std::async(std::launch::async, [&] {
        uint8_t buffer[16];
        return pair.server->Receive(buffer, sizeof buffer, nullptr, -1, nullptr);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pair.server->Shutdown();
    ASSERT_EQ(received.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(received.get(), 0);

    uint8_t buffer[16];
    EXPECT_EQ(Receive(pair.id(), buffer, sizeof buffer, nullptr), 0);
    EXPECT_EQ(Query(pair.id()), 1);
}

TEST(ServerConnection, ReadConnectGivesTheFieldsAndThePeerAddress) {
    const auto listener = OpenListener();
    ASSERT_NE(listener, nullptr);
    const UniqueFd client =
        RawClient(listener->port(), {0x01, 0x0A, 0x00, 0x01, 3, '#', '1', '7', 1, 'u', 2, 'p', 'w'});
    const auto connection = listener->Accept(5000);
    ASSERT_NE(connection, nullptr);
    ConnectRequest request;
    ASSERT_TRUE(connection->ReadConnect(&request, 5000));
    EXPECT_EQ(request.object, "#17");
    EXPECT_EQ(request.user, "u");
    EXPECT_EQ(request.password, "pw");
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(client.get(), reinterpret_cast<sockaddr*>(&local), &length);
    EXPECT_EQ(request.peerAddress, "127.0.0.1:" + std::to_string(ntohs(local.sin_port)));
    EXPECT_EQ(connection->peerAddress(), request.peerAddress);
}

TEST(ServerConnection, ReadConnectRefusesAnythingButAWellFormedConnect) {
    struct Opening {
        const char* what;
        Bytes bytes;
        bool thenClose;
    };
    const std::vector<Opening> openings = {
        {"DATA first", {0x04, 0x01, 0x00, 'x'}, false},
        {"protocol version 2", {0x01, 0x04, 0x00, 0x02, 0, 0, 0}, false},
        {"a byte after the fields", {0x01, 0x05, 0x00, 0x01, 0, 0, 0, 0}, false},
        {"user count past the end", {0x01, 0x04, 0x00, 0x01, 0, 9, 0}, false},
        {"no payload", {0x01, 0x00, 0x00}, false},
        {"cut short, then closed", {0x01, 0x04, 0x00, 0x01, 0}, true},
        {"closed at once", {}, true},
    };
    const auto listener = OpenListener();
    ASSERT_NE(listener, nullptr);
    for (const Opening& opening : openings) {
        SCOPED_TRACE(opening.what);
        UniqueFd client = RawClient(listener->port(), opening.bytes);
        if (opening.thenClose) ::shutdown(client.get(), SHUT_WR);
        const auto connection = listener->Accept(5000);
        ASSERT_NE(connection, nullptr);
        ConnectRequest request;
        int16_t error = 0;
        EXPECT_FALSE(connection->ReadConnect(&request, 5000, &error));
        EXPECT_EQ(error, kErrConnectionReset);
        EXPECT_TRUE(connection->gone());
    }
}

TEST(ServerConnection, ReadConnectTimesOutWith60) {
    const auto listener = OpenListener();
    ASSERT_NE(listener, nullptr);
    const UniqueFd client = RawClient(listener->port(), {});
    const auto connection = listener->Accept(5000);
    ASSERT_NE(connection, nullptr);
    ConnectRequest request;
    int16_t error = 0;
    EXPECT_FALSE(connection->ReadConnect(&request, 100, &error));
    EXPECT_EQ(error, kErrTimedOut);
}

TEST(ServerConnection, AConnectTrickledInByteByByteMustStillComeWithinTheTimeout) {
    // Each byte comes well within the timeout, the whole CONNECT does not:
    // a client that trickles its CONNECT cannot hold a place for long.
    const Bytes connect{0x01, 0x0C, 0x00, 0x01, 0, 8, 'u', 's', 'e', 'r', 'n', 'a', 'm', 'e', 0};
    const auto listener = OpenListener();
    ASSERT_NE(listener, nullptr);
    const UniqueFd client = RawClient(listener->port(), {});
    std::thread trickle([&] {
        for (const uint8_t byte : connect) {
            if (::send(client.get(), &byte, 1, MSG_NOSIGNAL) != 1) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    });
    const auto connection = listener->Accept(5000);
    ASSERT_NE(connection, nullptr);
    ConnectRequest request;
    int16_t error = 0;
    EXPECT_FALSE(connection->ReadConnect(&request, 300, &error));
    EXPECT_EQ(error, kErrTimedOut);
    trickle.join();
}

TEST(ServerConnection, ClientFrameTooLargeFailsTheReceiveAndClosesTheConnection) {
    // The ztsock client cannot send such a frame: a raw client does.
    RawLink link;
    ASSERT_TRUE(link.Open());
    const UniqueFd& client = link.client;
    ServerConnection* connection = link.connection.get();
    const Bytes header{0x04, 0x01, 0x7E};   // 32257 bytes announced
    ASSERT_EQ(::send(client.get(), header.data(), header.size(), MSG_NOSIGNAL), 3);
    std::vector<uint8_t> buffer(kMaxPayload + 1);
    int16_t error = 0;
    EXPECT_EQ(connection->Receive(buffer.data(), buffer.size(), nullptr, 5000, &error), -1);
    EXPECT_EQ(error, kErrConnectionReset);
    EXPECT_TRUE(connection->gone());
    EXPECT_EQ(connection->Send(buffer.data(), 1, false, &error), -1);
}

TEST(ServerConnection, AFrameHalfArrivedIsNotThereYetAndTheConnectionStays) {
    // A server looks between the blocks it streams without waiting, and
    // otherwise in short slices: a client's frame cut by the network is
    // taken up again, not taken for a broken stream.
    RawLink link;
    ASSERT_TRUE(link.Open());
    const UniqueFd& client = link.client;
    ServerConnection* connection = link.connection.get();
    const Bytes firstPart{0x04, 0x05, 0x00, 'a', 'b'};
    ASSERT_EQ(::send(client.get(), firstPart.data(), firstPart.size(), MSG_NOSIGNAL), 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the part is there to be read
    std::vector<uint8_t> buffer(kMaxPayload);
    int16_t error = 0;
    for (const int wait : {0, 100}) {
        EXPECT_EQ(connection->Receive(buffer.data(), buffer.size(), nullptr, wait, &error), -1);
        EXPECT_EQ(error, kErrTimedOut);
        EXPECT_FALSE(connection->gone());
    }
    const Bytes rest{'c', 'd', 'e'};
    ASSERT_EQ(::send(client.get(), rest.data(), rest.size(), MSG_NOSIGNAL), 3);
    ASSERT_EQ(connection->Receive(buffer.data(), buffer.size(), nullptr, 5000, &error), 5);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 5), (Bytes{'a', 'b', 'c', 'd', 'e'}));
}

TEST(ServerConnection, ReceiveTellsDataFromExpedited) {
    LinkPair pair;
    ASSERT_TRUE(pair.Open("127.0.0.1:0")) << pair.clientError;
    const uint8_t byte = 0x33;
    Send(pair.id(), &byte, 1, 1, nullptr);
    Send(pair.id(), &byte, 1, 0, nullptr);
    uint8_t buffer[4];
    FrameKind kind = kFrameConnect;
    EXPECT_EQ(pair.server->Receive(buffer, sizeof buffer, &kind, 5000, nullptr), 1);
    EXPECT_EQ(kind, kFrameExpedited);
    EXPECT_EQ(pair.server->Receive(buffer, sizeof buffer, &kind, 5000, nullptr), 1);
    EXPECT_EQ(kind, kFrameData);
}

TEST(ServerConnection, SendFramesSendsOneFramePerPayloadInOrderAndSkipsEmptyOnes) {
    LinkPair pair;
    ASSERT_TRUE(pair.Open("127.0.0.1:0")) << pair.clientError;
    Bytes large(kMaxPayload);
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i * 7);
    Bytes small{'a', 'b', 'c'};
    const uint8_t last = 'z';
    iovec payloads[] = {{small.data(), small.size()}, {nullptr, 0}, {large.data(), large.size()},
                        {const_cast<uint8_t*>(&last), 1}};
    int16_t error = 0;
    ASSERT_EQ(pair.server->SendFrames(payloads, 4, &error), static_cast<int32_t>(3 + kMaxPayload + 1));

    // A payload too large for a frame, or too many of them, sends nothing.
    Bytes tooLarge(kMaxPayload + 1);
    iovec bad[] = {{small.data(), small.size()}, {tooLarge.data(), tooLarge.size()}};
    EXPECT_EQ(pair.server->SendFrames(bad, 2, &error), -1);
    EXPECT_EQ(error, kErrMessageSize);
    iovec many[FrameStream::kMaxFramesPerSend + 1];
    for (iovec& payload : many) payload = {small.data(), small.size()};
    error = 0;
    EXPECT_EQ(pair.server->SendFrames(many, FrameStream::kMaxFramesPerSend + 1, &error), -1);
    EXPECT_EQ(error, kErrMessageSize);
    ASSERT_EQ(pair.server->Send(&last, 1, false, &error), 1);  // the connection is still usable

    Bytes buffer(kMaxPayload);
    const auto receive = [&] {
        const int32_t n = Receive(pair.id(), buffer.data(), static_cast<uint16_t>(buffer.size()), &error);
        return n < 0 ? Bytes() : Bytes(buffer.begin(), buffer.begin() + n);
    };
    EXPECT_EQ(receive(), small);
    EXPECT_EQ(receive(), large);
    EXPECT_EQ(receive(), Bytes{last});
    EXPECT_EQ(receive(), Bytes{last});
}

TEST(ServerConnection, RefuseConnectionGivesTheClientTheNumber) {
    const auto listener = OpenListener();
    ASSERT_NE(listener, nullptr);
    std::thread serverSide([&] { RefuseConnection(listener->Accept(5000), kErrNoResources); });
    int16_t error = 0;
    EXPECT_EQ(Connect(listener->addresses().front().c_str(), "#17", &error), -1);
    EXPECT_EQ(error, kErrNoResources);
    serverSide.join();
}

}  // namespace
}  // namespace ztsock
