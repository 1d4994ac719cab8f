// A full local disk during a download: the device that is always full
// (/dev/full) as the target of the library's copy, and zelft run under a
// file-size limit (RLIMIT_FSIZE, with SIGXFSZ ignored as a shell's trap
// leaves it). The copy fails with error 1 (a local write failed), the
// caller hears of the failure, zelft exits 4 naming the error (and leaves
// no part of the file), and the link is still good for the next copy.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "zeld_instance.h"

namespace hardening {
namespace {

uint32_t lastNotifiedStatus = 99;

int32_t RecordStatus(uint32_t, uint32_t status, intptr_t, const char*) {
    lastNotifiedStatus = status;
    return 0;
}

class LocalDiskFull : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        content = zeltest::BinaryContent(2u << 20, 6);
        WriteFile(server.Path("big.bin"), content);
    }
    void TearDown() override { EXPECT_EQ(server.Stop(), 0) << server.errors(); }

    ZeldInstance server;
    ScratchDir local;
    std::string content;
};

TEST_F(LocalDiskFull, ADownloadToAFullDeviceFailsWithError1AndTheLinkGoesOn) {
    RfaOpenLinkParams params{};
    std::snprintf(params.nodeName, sizeof params.nodeName, "%s", server.node().c_str());
    params.notify = RecordStatus;
    ASSERT_EQ(RfaOpenLink(&params), 0);
    EXPECT_EQ(RfaCopy(params.handle, "big.bin", "/dev/full", RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE, nullptr),
              RFA_ERR_LOCAL_IO);
    RfaLinkStatus status{};
    RfaLook(params.handle, &status, sizeof status);
    EXPECT_EQ(status.errorCode, RFA_ERR_LOCAL_IO);
    EXPECT_EQ(lastNotifiedStatus, 0u);
    // The records were read to the end: the next copy on the link works.
    const std::string target = local / "after.bin";
    EXPECT_EQ(RfaCopy(params.handle, "big.bin", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE, nullptr), 0);
    EXPECT_EQ(lastNotifiedStatus, 2u);
    EXPECT_EQ(ReadFile(target), content);
    EXPECT_EQ(RfaCloseLink(params.handle), 0);
}

TEST_F(LocalDiskFull, ZelftUnderAFileSizeLimitReportsTheFailedCopy) {
    const std::string target = local / "limited.bin";
    // 256 blocks of 512 bytes (dash counts -f in those): far less than the file.
    const zeltest::ProcessResult result = zeltest::RunProgram(
        {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 256 && exec \"$@\"", "zelft", zeltest::BuildDir() + "/zelft",
         "get", "--no-progress", server.node() + "::big.bin", target});
    EXPECT_EQ(result.exitCode, 4) << result.out << result.err;
    EXPECT_NE(result.err.find("local file read or write failed (error 1"), std::string::npos) << result.err;
    // zelft writes beside the target and gives up the part it wrote: no
    // truncated file under the target's name, nothing left behind.
    EXPECT_TRUE(std::filesystem::is_empty(local.path())) << "left behind in " << local.path();
}

}  // namespace
}  // namespace hardening
