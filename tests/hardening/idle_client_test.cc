// Clients that hold a place at the server and do nothing with it: one that
// connects, sends its Configuration and then nothing, and one that stops
// reading in the middle of a download. zeld's idle timeout closes their
// connections (and logs it), and a server that takes one client at a time,
// which refused another client while the idle one held its place, takes a
// new client afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "fault_relay.h"
#include "support/zel_messages.h"
#include "zeld_instance.h"
#include "ztsock/ztsock.h"

namespace hardening {
namespace {

constexpr int kIdleSeconds = 2;

TEST(IdleClient, TheIdleTimeoutFreesTheConnectionOfAClientThatSaysNothingMore) {
    ZeldInstance server({"--idle-timeout", std::to_string(kIdleSeconds), "--max-clients", "1"});
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    WriteFile(server.Path("file.txt"), "content");

    // The silent client: the transport's handshake and one Configuration.
    // (Its place may still be held for a moment by the connection that
    // found the server listening.)
    int16_t number = 0;
    int32_t silent = -1;
    ASSERT_TRUE(WaitUntil(
        [&] {
            silent = ztsock::Connect(server.node().c_str(), "#17", &number);
            return silent > 0;
        },
        std::chrono::seconds(10)))
        << "error " << number;
    const zeltest::Bytes configuration = zeltest::LibraryConfiguration();
    ASSERT_EQ(ztsock::Send(static_cast<uint16_t>(silent), configuration.data(),
                           static_cast<uint16_t>(configuration.size()), 0, &number),
              static_cast<int32_t>(configuration.size()));
    std::vector<uint8_t> block(ztsock::kMaxPayload);
    ASSERT_GT(ztsock::Receive(static_cast<uint16_t>(silent), block.data(), static_cast<uint16_t>(block.size()),
                              &number),
              0)
        << "no Configuration came back";

    // Its place is taken: a second client is refused for want of resources.
    {
        Link refused(server.node());
        EXPECT_EQ(refused.openResult(), RFA_ERR_CONNECT_FAILED);
        EXPECT_EQ(refused.Look().errorDetail, ztsock::kErrNoResources);
    }

    // Then the silence is too long: the server closes the connection.
    EXPECT_TRUE(server.WaitForLog("op=disconnect file=\"\" outcome=idle-timeout",
                                  std::chrono::seconds(10 * kIdleSeconds)))
        << server.log();
    const int32_t afterwards = ztsock::Receive(static_cast<uint16_t>(silent), block.data(),
                                               static_cast<uint16_t>(block.size()), &number);
    EXPECT_EQ(afterwards, 0) << "the connection is still open (error " << number << ")";
    int32_t closed = 0;
    ztsock::Close(static_cast<uint16_t>(silent), &closed);

    // And takes the next client (as soon as the silent one's place is free).
    std::string fetched;
    EXPECT_TRUE(WaitUntil(
        [&] {
            Link link(server.node());
            if (link.openResult() != 0) return false;
            ScratchDir local;
            const int32_t copied =
                RfaCopy(link.handle(), "file.txt", (local / "fetched.txt").c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE,
                        nullptr);
            fetched = ReadFile(local / "fetched.txt");
            return copied == 0;
        },
        std::chrono::seconds(10)));
    EXPECT_EQ(fetched, "content");
    EXPECT_EQ(server.Stop(), 0) << server.errors();
}

TEST(IdleClient, AClientThatStopsReadingADownloadIsCutOffAfterTheIdleTimeout) {
    ZeldInstance server({"--idle-timeout", std::to_string(kIdleSeconds), "--max-clients", "1"});
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    // More than the socket buffers between the server and the client hold.
    WriteFile(server.Path("large.bin"), zeltest::BinaryContent(48u << 20, 8));
    WriteFile(server.Path("small.txt"), "small");
    FaultRelay relay(server.port());
    ASSERT_TRUE(relay.Start(&error)) << error;
    ScratchDir local;

    // The client through the relay, which stops reading what the server
    // sends. The client itself would wait longer than the server does.
    ztsock::SetClientTimeouts(0, 6 * kIdleSeconds * 1000);
    Link stuck(relay.node());
    ASSERT_EQ(stuck.openResult(), 0);
    std::future<int32_t> copy = StartStuckDownload(&relay, stuck, "large.bin", local / "large.bin");
    EXPECT_TRUE(server.WaitForLog("op=download file=\"large.bin\" outcome=dropped",
                                  std::chrono::seconds(4 * kIdleSeconds)))
        << server.log();
    EXPECT_TRUE(relay.struck());
    EXPECT_EQ(copy.wait_for(std::chrono::seconds(0)), std::future_status::timeout) << "the client gave up first";

    // Its place is free again, while the client still waits.
    EXPECT_TRUE(WaitUntil(
        [&] {
            Link link(server.node());
            return link.openResult() == 0 &&
                   RfaCopy(link.handle(), "small.txt", (local / "small.txt").c_str(), RFA_COPY_DOWNLOAD,
                           RFA_MODE_IMAGE, nullptr) == 0;
        },
        std::chrono::seconds(10)));
    EXPECT_EQ(ReadFile(local / "small.txt"), "small");
    EXPECT_NE(copy.get(), 0);
    ztsock::SetClientTimeouts(0, 0);
    EXPECT_EQ(server.Stop(), 0) << server.errors();
}

}  // namespace
}  // namespace hardening
