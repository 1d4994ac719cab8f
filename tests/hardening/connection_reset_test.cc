// A connection reset in the middle of a copy, by a relay between the
// library and a real zeld: the copy fails with error 2 (errorDetail 54, the
// connection reset) and its notification says so; the server keeps no
// partial file (neither its temporary file nor a truncated target, and an
// old target stays as it was); a download keeps what it had written but is
// reported failed; and both sides go on serving new links.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "fault_relay.h"
#include "support/scripted_peer.h"
#include "support/zel_messages.h"
#include "zeld_instance.h"
#include "ztsock/ztsock.h"

namespace hardening {
namespace {

constexpr auto kPatience = std::chrono::seconds(20);

std::vector<uint32_t> notifiedStatuses;

int32_t RecordStatus(uint32_t, uint32_t status, intptr_t, const char*) {
    notifiedStatuses.push_back(status);
    return 0;
}

int64_t FileSize(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

class ConnectionReset : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        relay = std::make_unique<FaultRelay>(server.port());
        ASSERT_TRUE(relay->Start(&error)) << error;
        notifiedStatuses.clear();
    }
    void TearDown() override {
        relay.reset();
        EXPECT_EQ(server.Stop(), 0) << server.errors();
        EXPECT_EQ(server.errors(), "");
    }

    // Opens a link through the relay whose notifications RecordStatus keeps.
    RfaHandle OpenThroughRelay() {
        RfaOpenLinkParams params{};
        std::snprintf(params.nodeName, sizeof params.nodeName, "%s", relay->node().c_str());
        params.notify = RecordStatus;
        EXPECT_EQ(RfaOpenLink(&params), 0);
        return params.handle;
    }

    // A copy through a fresh link, which must work.
    void ExpectACopyWorks(const std::string& node) {
        Link link(node);
        ASSERT_EQ(link.openResult(), 0);
        const std::string content = zeltest::BinaryContent(300000, 9);
        WriteFile(local / "check.bin", content);
        ASSERT_EQ(RfaCopy(link.handle(), (local / "check.bin").c_str(), "check.bin", RFA_COPY_UPLOAD, RFA_MODE_IMAGE,
                          nullptr),
                  0);
        ASSERT_EQ(RfaCopy(link.handle(), "check.bin", (local / "check.back").c_str(), RFA_COPY_DOWNLOAD,
                          RFA_MODE_IMAGE, nullptr),
                  0);
        EXPECT_EQ(ReadFile(local / "check.back"), content);
    }

    // The copy on `handle` that returned `result` failed for the reset, and
    // its notification said so.
    void ExpectResetReported(RfaHandle handle, int32_t result) {
        EXPECT_TRUE(relay->struck());
        EXPECT_EQ(result, RFA_ERR_NET_RESET);
        RfaLinkStatus status{};
        RfaLook(handle, &status, sizeof status);
        EXPECT_EQ(status.errorCode, RFA_ERR_NET_RESET);
        EXPECT_EQ(status.errorDetail, ztsock::kErrConnectionReset);
        EXPECT_EQ(notifiedStatuses, std::vector<uint32_t>{0});
    }

    // Uploads `size` bytes to `remote` with a reset after `frames` frames
    // (and `bytes` bytes) toward the server.
    void UploadWithReset(const std::string& remote, size_t size, uint64_t frames, uint64_t bytes) {
        WriteFile(local / "source.bin", zeltest::BinaryContent(size, 4));
        const RfaHandle handle = OpenThroughRelay();
        relay->Arm(Direction::kToServer, Fault::kReset, frames, bytes);
        ExpectResetReported(handle, RfaCopy(handle, (local / "source.bin").c_str(), remote.c_str(), RFA_COPY_UPLOAD,
                                            RFA_MODE_IMAGE, nullptr));
        RfaCloseLink(handle);
        // The server notices, drops the upload and removes its temporary file.
        EXPECT_TRUE(server.WaitForLog("op=upload file=\"" + remote + "\" outcome=dropped", kPatience)) << server.log();
        EXPECT_TRUE(WaitUntil([&] { return StagingFiles(server.root()).empty(); }, kPatience));
    }

    ZeldInstance server;
    std::unique_ptr<FaultRelay> relay;
    ScratchDir local;
};

TEST_F(ConnectionReset, DuringAnUploadTheServerKeepsNoPartOfTheFile) {
    // 4 MiB: some 130 blocks, reset after the 20th of the data phase.
    UploadWithReset("new.bin", 4u << 20, 20, 0);
    EXPECT_EQ(FileSize(server.Path("new.bin")), -1) << "a partial file was kept";
    ExpectACopyWorks(relay->node());
    ExpectACopyWorks(server.node());
}

TEST_F(ConnectionReset, InsideAFrameOfAnUploadTheOldTargetStaysAsItWas) {
    WriteFile(server.Path("old.bin"), "the old content");
    UploadWithReset("old.bin", 4u << 20, 30, 1000);
    EXPECT_EQ(ReadFile(server.Path("old.bin")), "the old content");
    ExpectACopyWorks(relay->node());
}

TEST_F(ConnectionReset, DuringADownloadTheLocalFileIsReportedFailed) {
    const std::string content = zeltest::BinaryContent(4u << 20, 5);
    WriteFile(server.Path("remote.bin"), content);
    const RfaHandle handle = OpenThroughRelay();
    relay->Arm(Direction::kToClient, Fault::kReset, 40);
    const std::string target = local / "download.bin";
    ExpectResetReported(handle,
                        RfaCopy(handle, "remote.bin", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE, nullptr));
    // What came is kept, and it is what the server sent, but not all of it.
    const std::string partial = ReadFile(target);
    EXPECT_GT(partial.size(), 0u);
    EXPECT_LT(partial.size(), content.size());
    EXPECT_EQ(partial, content.substr(0, partial.size()));
    EXPECT_EQ(RfaCloseLink(handle), 0);
    EXPECT_TRUE(server.WaitForLog("op=download file=\"remote.bin\" outcome=dropped", kPatience)) << server.log();
    ExpectACopyWorks(relay->node());
}

TEST(ResetAfterASyncError, TheFailedResynchronisationLeavesItsCause) {
    // A peer answers the Delete with a Sync Error and vanishes with a reset:
    // the Configuration that resynchronises finds the connection gone (or,
    // when it wins the race with the reset, the repeated Delete does). Either
    // way the call fails and the link's status says why.
    zeltest::ScriptedPeer peer({zeltest::expectAny(), zeltest::reply(zeltest::PeerConfiguration()),
                                zeltest::expectAny(), zeltest::reply(zeltest::Status(0xA001)),
                                zeltest::expectClosed()});
    ASSERT_TRUE(peer.Start());
    FaultRelay relay(peer.port());
    std::string error;
    ASSERT_TRUE(relay.Start(&error)) << error;
    // ACCEPT, Configuration, then the Status: the reset follows it.
    relay.ArmNextConnection(Direction::kToClient, Fault::kReset, 3);
    Link link(relay.node());
    ASSERT_EQ(link.openResult(), 0);
    const int32_t result = RfaDelete(link.handle(), "A.TXT");
    EXPECT_TRUE(relay.struck());
    EXPECT_NE(result, 0);
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.errorCode, RFA_ERR_NET_RESET);
    EXPECT_EQ(status.errorDetail, ztsock::kErrConnectionReset);
    peer.Finish();
}

}  // namespace
}  // namespace hardening
