// A peer that stops answering in the middle of an operation: the relay
// between the library and a real zeld stops passing the server's frames on
// after the k-th frame of the operation, for every k the operation has
// (learnt from a run without a fault), for every operation that waits on
// the server. Each call must fail with error 22 and errorDetail 60 (no
// answer in time) within the receive limit, never hang, and leave a link
// that closes at once. The limits are shortened with
// ztsock::SetClientTimeouts; a call that waited more than once for the
// silent peer would take twice the limit and fail the bound.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "fault_relay.h"
#include "zeld_instance.h"
#include "ztsock/ztsock.h"

namespace hardening {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnectLimitMs = 2000;
constexpr int kReceiveLimitMs = 1500;
// A failed call returns after one receive limit: it may not wait a second time.
constexpr auto kCallBound = std::chrono::milliseconds(2 * kReceiveLimitMs);

int64_t MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// One operation: what it needs in the tree, the calls before it (which must
// succeed), and the call the stall falls in.
struct Operation {
    const char* name;
    std::function<void(const ZeldInstance&)> prepare;
    std::function<int32_t(RfaHandle)> before;
    std::function<int32_t(RfaHandle)> call;
};

class PeerStall : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ztsock::SetClientTimeouts(kConnectLimitMs, kReceiveLimitMs); }
    static void TearDownTestSuite() { ztsock::SetClientTimeouts(0, 0); }

    void SetUp() override {
        ASSERT_EQ(::mkdir((spools / "print").c_str(), 0700), 0);
        ASSERT_EQ(::mkdir((spools / "submit").c_str(), 0700), 0);
        server = std::make_unique<ZeldInstance>(
            std::vector<std::string>{"--print-spool", spools / "print", "--submit-spool", spools / "submit"});
        std::string error;
        ASSERT_TRUE(server->Start(&error)) << error;
        relay = std::make_unique<FaultRelay>(server->port());
        ASSERT_TRUE(relay->Start(&error)) << error;
        // Several blocks of records, so that a download has frames to stall between.
        WriteFile(server->Path("big.bin"), zeltest::BinaryContent(100000, 1));
        std::string lines;
        for (int i = 0; i < 2000; ++i) lines += "line " + std::to_string(i) + "\n";
        WriteFile(server->Path("lines.txt"), lines);
        ASSERT_EQ(::mkdir(server->Path("dir").c_str(), 0755), 0);
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) WriteFile(server->Path(std::string("dir/") + name), name);
        WriteFile(local / "upload.bin", zeltest::BinaryContent(40000, 2));
        ZelInit(listing, sizeof listing);
    }
    void TearDown() override {
        ZelInit(nullptr, 0);
        relay.reset();
        if (server != nullptr) {
            EXPECT_EQ(server->Stop(), 0) << server->errors();
        }
    }

    // Runs `operation` without a fault: the server's frames its call takes.
    uint64_t LearnFrames(const Operation& operation) {
        if (operation.prepare) operation.prepare(*server);
        Link link(relay->node());
        EXPECT_EQ(link.openResult(), 0);
        if (operation.before) {
            EXPECT_EQ(operation.before(link.handle()), 0);
        }
        const uint64_t start = relay->frames(Direction::kToClient);
        EXPECT_EQ(operation.call(link.handle()), 0) << "without a fault";
        return relay->frames(Direction::kToClient) - start;
    }

    // Runs `operation` with the server falling silent after `frames` of its
    // call's frames (and `bytes` bytes of the next).
    void StallAt(const Operation& operation, uint64_t frames, uint64_t bytes = 0) {
        SCOPED_TRACE(std::string(operation.name) + ", silent after frame " + std::to_string(frames) + " + " +
                     std::to_string(bytes) + " bytes");
        if (operation.prepare) operation.prepare(*server);
        Link link(relay->node());
        ASSERT_EQ(link.openResult(), 0);
        if (operation.before) {
            ASSERT_EQ(operation.before(link.handle()), 0);
        }
        relay->Arm(Direction::kToClient, Fault::kSilence, frames, bytes);
        const Clock::time_point start = Clock::now();
        const int32_t result = operation.call(link.handle());
        const int64_t took = MillisecondsSince(start);
        EXPECT_TRUE(relay->struck());
        EXPECT_EQ(result, RFA_ERR_CONNECT_FAILED);
        const RfaLinkStatus status = link.Look();
        EXPECT_EQ(status.errorCode, RFA_ERR_CONNECT_FAILED);
        EXPECT_EQ(status.errorDetail, ztsock::kErrTimedOut);
        EXPECT_GE(took, kReceiveLimitMs - 50);  // it did wait for the peer
        EXPECT_LT(took, kCallBound.count()) << "the call waited more than once";
        const Clock::time_point closing = Clock::now();
        link.Close();
        EXPECT_LT(MillisecondsSince(closing), kReceiveLimitMs) << "closing the link waited on the peer";
    }

    void StallEverywhere(const Operation& operation) {
        const uint64_t frames = LearnFrames(operation);
        ASSERT_GT(frames, 0u) << operation.name << " waits for nothing";
        for (uint64_t k = 0; k < frames; ++k) StallAt(operation, k);
    }

    std::string LocalTarget() const { return local / "download.bin"; }

    ScratchDir spools;
    ScratchDir local;
    std::unique_ptr<ZeldInstance> server;
    std::unique_ptr<FaultRelay> relay;
    char listing[8192];
};

int32_t OpenLines(RfaHandle handle) { return RfaOpenFile(handle, "lines.txt"); }

int32_t OpenAndReadAll(RfaHandle handle) {
    if (const int32_t opened = OpenLines(handle); opened != 0) return opened;
    for (;;) {
        char record[64];
        uint16_t length = 0;
        if (const int32_t read = RfaReadFile(handle, sizeof record, record, &length); read != 0) return read;
        if (length == 0) return 0;  // the end of the file
    }
}

int32_t OpenAndReadOne(RfaHandle handle) {
    if (const int32_t opened = OpenLines(handle); opened != 0) return opened;
    char record[64];
    uint16_t length = 0;
    return RfaReadFile(handle, sizeof record, record, &length);
}

TEST_F(PeerStall, Download) {
    StallEverywhere({"RfaCopy download", nullptr, nullptr, [this](RfaHandle handle) {
                         return RfaCopy(handle, "big.bin", LocalTarget().c_str(), RFA_COPY_DOWNLOAD,
                                        RFA_MODE_IMAGE, nullptr);
                     }});
}

TEST_F(PeerStall, DownloadInsideAFrame) {
    // The frame header and the payload cut short: the stream loses its frame
    // boundary, and the wait for the rest is bounded the same.
    const Operation download{"RfaCopy download", nullptr, nullptr, [this](RfaHandle handle) {
                                 return RfaCopy(handle, "big.bin", LocalTarget().c_str(), RFA_COPY_DOWNLOAD,
                                                RFA_MODE_IMAGE, nullptr);
                             }};
    for (const uint64_t bytes : {1u, 3u, 1000u}) StallAt(download, 2, bytes);
}

TEST_F(PeerStall, Upload) {
    StallEverywhere({"RfaCopy upload", nullptr, nullptr, [this](RfaHandle handle) {
                         return RfaCopy(handle, (local / "upload.bin").c_str(), "upload.bin", RFA_COPY_UPLOAD,
                                        RFA_MODE_IMAGE, nullptr);
                     }});
}

TEST_F(PeerStall, RecordAccess) {
    StallEverywhere({"RfaOpenFile", nullptr, nullptr, OpenLines});
    StallEverywhere({"RfaReadFile", nullptr, OpenLines, [](RfaHandle handle) {
                         char record[64];
                         uint16_t length = 0;
                         return RfaReadFile(handle, sizeof record, record, &length);
                     }});
    StallEverywhere({"RfaCloseFile at the end of the file", nullptr, OpenAndReadAll, RfaCloseFile});
    StallEverywhere({"RfaCloseFile after writes", nullptr,
                     [](RfaHandle handle) {
                         if (const int32_t opened = OpenLines(handle); opened != 0) return opened;
                         uint16_t written = 0;
                         return RfaWriteFile(handle, 5, "added", &written);
                     },
                     RfaCloseFile});
    StallEverywhere({"RfaAbort", nullptr, OpenAndReadOne, RfaAbort});
}

TEST_F(PeerStall, Listing) {
    StallEverywhere({"RfaDir", nullptr, nullptr, [](RfaHandle handle) { return RfaDir(handle, 1, "dir/*"); }});
}

TEST_F(PeerStall, Commands) {
    StallEverywhere({"RfaDelete", [](const ZeldInstance& zeld) { WriteFile(zeld.Path("gone.txt"), "x"); }, nullptr,
                     [](RfaHandle handle) { return RfaDelete(handle, "gone.txt"); }});
    StallEverywhere({"RfaMd", [](const ZeldInstance& zeld) { ::rmdir(zeld.Path("made").c_str()); }, nullptr,
                     [](RfaHandle handle) { return RfaMd(handle, "made"); }});
    StallEverywhere({"RfaRd", [](const ZeldInstance& zeld) { ::mkdir(zeld.Path("empty").c_str(), 0755); }, nullptr,
                     [](RfaHandle handle) { return RfaRd(handle, "empty"); }});
    StallEverywhere({"RfaRename",
                     [](const ZeldInstance& zeld) {
                         ::unlink(zeld.Path("to.txt").c_str());
                         WriteFile(zeld.Path("from.txt"), "x");
                     },
                     nullptr, [](RfaHandle handle) { return RfaRename(handle, "from.txt", "to.txt"); }});
    StallEverywhere({"RfaPrint", nullptr, nullptr, [](RfaHandle handle) { return RfaPrint(handle, "dir/a.txt"); }});
    StallEverywhere({"RfaSubmit", nullptr, nullptr, [](RfaHandle handle) { return RfaSubmit(handle, "dir/b.txt"); }});
}

TEST_F(PeerStall, Protection) {
    StallEverywhere({"RfaProtection read", nullptr, nullptr, [](RfaHandle handle) {
                         RfaProtectionRecord record{};
                         return RfaProtection(handle, "dir/c.txt", &record, 0);
                     }});
    StallEverywhere({"RfaProtection set", nullptr, nullptr, [](RfaHandle handle) {
                         RfaProtectionRecord record{};
                         record.present = RFA_PROT_WORLD;
                         record.world = 0x0F;
                         return RfaProtection(handle, "dir/c.txt", &record, 1);
                     }});
}

// Opening a link: a peer that takes the connection and never accepts it,
// and one that accepts it and never sends its Configuration.
TEST_F(PeerStall, OpenLink) {
    struct Point {
        uint64_t frames;
        int limitMs;
    };
    for (const Point point : {Point{0, kConnectLimitMs}, Point{1, kReceiveLimitMs}}) {
        SCOPED_TRACE("silent after frame " + std::to_string(point.frames));
        relay->ArmNextConnection(Direction::kToClient, Fault::kSilence, point.frames);
        const Clock::time_point start = Clock::now();
        Link link(relay->node());
        const int64_t took = MillisecondsSince(start);
        EXPECT_EQ(link.openResult(), RFA_ERR_CONNECT_FAILED);
        const RfaLinkStatus status = link.Look();
        EXPECT_EQ(status.errorCode, RFA_ERR_CONNECT_FAILED);
        EXPECT_EQ(status.errorDetail, ztsock::kErrTimedOut);
        EXPECT_GE(took, point.limitMs - 50);
        EXPECT_LT(took, 2 * point.limitMs);
    }
    // Nothing of the failed links stays taken: a link opens as before.
    Link link(relay->node());
    EXPECT_EQ(link.openResult(), 0);
}

// A peer that takes nothing more in the middle of an upload: the sends
// fill the socket buffers and then wait, bounded by the same limit.
TEST_F(PeerStall, APeerThatStopsReadingFailsAnUploadWithinTheLimit) {
    // Larger than what the socket buffers on the way can hold.
    WriteFile(local / "large.bin", zeltest::BinaryContent(kSanitizedBuild ? (16u << 20) : (48u << 20), 3));
    Link link(relay->node());
    ASSERT_EQ(link.openResult(), 0);
    relay->Arm(Direction::kToServer, Fault::kStopReading, 8);
    const Clock::time_point start = Clock::now();
    const int32_t result =
        RfaCopy(link.handle(), (local / "large.bin").c_str(), "large.bin", RFA_COPY_UPLOAD, RFA_MODE_IMAGE, nullptr);
    const int64_t took = MillisecondsSince(start);
    EXPECT_TRUE(relay->struck());
    EXPECT_EQ(result, RFA_ERR_CONNECT_FAILED);
    EXPECT_EQ(link.Look().errorDetail, ztsock::kErrTimedOut);
    EXPECT_LT(took, 30000) << "the upload's sends were not bounded";
}

}  // namespace
}  // namespace hardening
