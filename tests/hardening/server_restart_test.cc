// A zeld killed (SIGKILL) while clients are connected, one of them in the
// middle of an upload, and started again on the same port: the clients'
// calls fail cleanly with error 2 (the connection reset or closed by the
// server) and their links still close; the upload's temporary file, which
// the killed server could not remove, is removed by the new one at its
// start and the old target stays as it was; new links work at once.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "fault_relay.h"
#include "zeld_instance.h"
#include "ztsock/ztsock.h"

namespace hardening {
namespace {

constexpr auto kPatience = std::chrono::seconds(30);

size_t FileSize(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? static_cast<size_t>(info.st_size) : 0;
}

TEST(ServerRestart, ClientsFailCleanlyAndTheRestartedServerRemovesTheKilledOnesUploadFile) {
    ZeldInstance server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    FaultRelay relay(server.port());
    ASSERT_TRUE(relay.Start(&error)) << error;
    ScratchDir local;
    WriteFile(server.Path("target.bin"), "the old content");
    WriteFile(server.Path("listed.txt"), "listed");
    const std::string source = local / "source.bin";
    WriteFile(source, zeltest::BinaryContent(8u << 20, 7));

    // An idle link, and one whose upload the server gets only part of: the
    // relay stops passing the upload on after 40 frames, more than the
    // server gathers before its first write to the file.
    Link idle(server.node());
    ASSERT_EQ(idle.openResult(), 0);
    Link uploading(relay.node());
    ASSERT_EQ(uploading.openResult(), 0);
    relay.Arm(Direction::kToServer, Fault::kSilence, 40);
    std::future<int32_t> upload = std::async(std::launch::async, [&] {
        return RfaCopy(uploading.handle(), source.c_str(), "target.bin", RFA_COPY_UPLOAD, RFA_MODE_IMAGE, nullptr);
    });
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::vector<std::string> staging = StagingFiles(server.root());
            return relay.struck() && staging.size() == 1 && FileSize(server.Path(staging[0])) > 0;
        },
        kPatience))
        << "the upload did not begin";
    const std::string leftover = StagingFiles(server.root())[0];

    server.Kill();
    EXPECT_EQ(upload.get(), RFA_ERR_NET_RESET);
    EXPECT_EQ(uploading.Look().errorDetail, ztsock::kErrConnectionReset);
    char listing[4096];
    ZelInit(listing, sizeof listing);
    EXPECT_EQ(RfaDir(idle.handle(), 0, "*"), RFA_ERR_NET_RESET);
    EXPECT_EQ(idle.Look().errorDetail, ztsock::kErrConnectionReset);
    EXPECT_EQ(uploading.Close(), 0);
    EXPECT_EQ(idle.Close(), 0);
    EXPECT_EQ(StagingFiles(server.root()), std::vector<std::string>{leftover}) << "killed: nothing could remove it";

    ASSERT_TRUE(server.Start(&error)) << error;
    EXPECT_TRUE(server.WaitForLog("removed the temporary file of an unfinished upload: " + leftover, kPatience))
        << server.log();
    EXPECT_TRUE(StagingFiles(server.root()).empty());
    EXPECT_EQ(ReadFile(server.Path("target.bin")), "the old content");

    // New links work, straight and through the relay.
    for (const std::string& node : {server.node(), relay.node()}) {
        Link link(node);
        ASSERT_EQ(link.openResult(), 0);
        EXPECT_EQ(RfaDir(link.handle(), 0, "*"), 0);
        EXPECT_NE(std::string(listing).find("listed.txt"), std::string::npos) << listing;
        const std::string back = local / "back.txt";
        EXPECT_EQ(RfaCopy(link.handle(), "listed.txt", back.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE, nullptr), 0);
        EXPECT_EQ(ReadFile(back), "listed");
    }
    ZelInit(nullptr, 0);
    EXPECT_EQ(server.Stop(), 0) << server.errors();
}

}  // namespace
}  // namespace hardening
