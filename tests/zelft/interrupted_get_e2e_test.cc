// A get that a signal ends in the middle: the server has sent the first
// record of a large file and then says nothing more, zelft is stopped by
// SIGINT, SIGTERM or SIGHUP, and no hidden .zelft-XXXXXX stays behind.
#include <signal.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/scripted_peer.h"
#include "support/zel_messages.h"
#include "zelft_harness.h"

namespace zelfttest {
namespace {

using zeltest::Acknowledge;
using zeltest::Script;
using zeltest::ScriptedPeer;
using zeltest::operator+;

constexpr size_t kFramesBeforeTheData = 4;  // Configuration, Access, the two Controls

// A download that stops after its first record until the client goes.
Script StallingDownload() {
    return {zeltest::expectAny(),
            zeltest::reply(zeltest::PeerConfiguration()),
            zeltest::expectAny(),  // the Access of big.bin
            zeltest::reply(zeltest::Attributes({0x0F, 0x01, 0x00, 0x02, 0x02}) + Acknowledge()),
            zeltest::expectAny(),  // the connecting Control
            zeltest::reply(Acknowledge()),
            zeltest::expectAny(),  // the data phase Control
            zeltest::reply(zeltest::Data(zeltest::Text(std::string(8000, 'x')))),
            zeltest::expectClosed()};
}

std::vector<std::string> Entries(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// Waits until zelft has its temporary file and the server is sending, or
// has gone: whether it got there, the test then checks.
bool WaitForTheStall(ScriptedPeer* peer, ChildProcess* zelft, const std::string& directory) {
    for (;;) {
        if (zelft->Exited()) return false;
        if (peer->received().size() >= kFramesBeforeTheData && !Entries(directory).empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// zelft getting big.bin from a stalling server into a fresh directory,
// started by `launcher` (nothing, or a shell that sets it up first), and
// ended by `signals`, sent in turn once it stalls.
struct Interrupted {
    ProcessResult result;
    std::vector<std::string> left;  // what its target directory holds afterwards
};

Interrupted InterruptGet(const std::vector<std::string>& launcher, const std::vector<int>& signals) {
    zeltest::PeerOptions options;
    options.expectTimeoutMs = 60000;  // the stall lasts until zelft is gone
    ScriptedPeer peer(StallingDownload(), options);
    EXPECT_TRUE(peer.Start()) << peer.report();
    ScratchDir directory;
    std::vector<std::string> argv = launcher;
    argv.insert(argv.end(), {ZelftPath(), "get", peer.node() + "::big.bin", directory / "big.bin"});
    ChildProcess zelft;
    EXPECT_TRUE(zelft.Start(argv, RunOptions{}));
    const bool stalled = WaitForTheStall(&peer, &zelft, directory.path());
    EXPECT_TRUE(stalled) << "zelft ended before the stall";
    const std::vector<std::string> during = Entries(directory.path());
    EXPECT_TRUE(during.size() == 1 && during[0].rfind(".zelft-", 0) == 0) << ::testing::PrintToString(during);
    for (const int signalNumber : signals) zelft.Kill(signalNumber);
    Interrupted interrupted{zelft.Finish(), {}};
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report();
    interrupted.left = Entries(directory.path());
    return interrupted;
}

TEST(InterruptedGet, ASignalThatEndsAGetRemovesItsTemporaryFile) {
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signalNumber));
        const Interrupted interrupted = InterruptGet({}, {signalNumber});
        // zelft died of the signal, as it would without a handler.
        EXPECT_EQ(interrupted.result.exitCode, 128 + signalNumber) << interrupted.result.err;
        EXPECT_EQ(interrupted.left, std::vector<std::string>{});
    }
}

TEST(InterruptedGet, ASignalZelftWasStartedIgnoringStaysIgnored) {
    // As under nohup: the hangup changes nothing, the SIGTERM after it ends
    // the get (a hangup handled would have ended it first: the lower
    // signal number is delivered first).
    const Interrupted interrupted =
        InterruptGet({"/bin/sh", "-c", "trap '' HUP; exec \"$0\" \"$@\""}, {SIGHUP, SIGTERM});
    EXPECT_EQ(interrupted.result.exitCode, 128 + SIGTERM) << interrupted.result.err;
    EXPECT_EQ(interrupted.left, std::vector<std::string>{});
}

}  // namespace
}  // namespace zelfttest
