// A zeld stopped while a client's download cannot finish: the client stops
// reading, so the server waits in a send. After the grace period the server
// shuts the connection down; the download and the connection are logged as
// ended by the shutdown, as an upload cut off the same way is, not as
// dropped by the client.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "fault_relay.h"
#include "zeld_instance.h"
#include "ztsock/ztsock.h"

namespace hardening {
namespace {

TEST(ServerStop, ADownloadCutOffAfterTheGracePeriodIsLoggedAsShutDown) {
    // An idle timeout far beyond the grace period: only the shutdown ends the send.
    ZeldInstance server({"--shutdown-grace", "1", "--idle-timeout", "600"});
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    // More than the socket buffers between the server and the client hold.
    WriteFile(server.Path("large.bin"), zeltest::BinaryContent(48u << 20, 8));
    FaultRelay relay(server.port());
    ASSERT_TRUE(relay.Start(&error)) << error;
    ScratchDir local;

    // The client gives up on its own once the server is gone.
    ztsock::SetClientTimeouts(0, 5000);
    Link stuck(relay.node());
    ASSERT_EQ(stuck.openResult(), 0);
    std::future<int32_t> copy = StartStuckDownload(&relay, stuck, "large.bin", local / "large.bin");
    ASSERT_TRUE(WaitUntil([&] { return relay.struck(); }, std::chrono::seconds(30)));

    EXPECT_EQ(server.Stop(), 0) << server.errors();
    const std::string log = server.log();
    EXPECT_NE(log.find("op=download file=\"large.bin\" outcome=shutdown"), std::string::npos) << log;
    EXPECT_NE(log.find("op=disconnect file=\"\" outcome=shutdown"), std::string::npos) << log;
    EXPECT_NE(copy.get(), 0);
    ztsock::SetClientTimeouts(0, 0);
}

}  // namespace
}  // namespace hardening
