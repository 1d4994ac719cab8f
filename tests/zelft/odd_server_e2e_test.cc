// zelft against scripted servers that do what zeld never does, within the
// protocol or at its edge: zelft must leave nothing behind and say what
// happened.
#include <filesystem>
#include <string>
#include <vector>

#include "support/scripted_peer.h"
#include "support/zel_messages.h"
#include "zel32/support/request_messages.h"
#include "zelft_harness.h"

namespace zelfttest {
namespace {

using zeltest::Script;
using zeltest::ScriptedPeer;
using zeltest::operator+;

constexpr uint8_t kFileName = 0x02;
constexpr char kListed[] = "01-JAN-24 00:00:00";

// The start of every connection: the library's Configuration, and the peer's.
Script Opening(const zeltest::PeerConfig& config = {}) {
    return {zeltest::expectAny(), zeltest::reply(zeltest::PeerConfiguration(config))};
}

// A listing of about 80 KB, more than zelft's 64 KB list buffer, so that
// the library moves it to a spool file, cut off by the server closing the
// connection before its end.
Script ListingCutOff() {
    Script script = Opening();
    script.push_back(zeltest::expectAny());  // the listing's Access
    for (int i = 0; i < 300; ++i) {
        const std::string name = "FILE" + std::to_string(1000 + i) + std::string(240, 'X') + ".TXT;1";
        script.push_back(zeltest::reply(zeltest::Name(kFileName, name)));
        script.push_back(zeltest::reply(zeltest::FileSize(1) + zeltest::DateAndTime(kListed, kListed)));
    }
    script.push_back(zeltest::closeConnection());
    return script;
}

TEST(CutOffListing, LeavesNoSpoolFileBehind) {
    ScratchDir local;
    const std::vector<std::vector<std::string>> commands = {
        {"dir", "::*.TXT"}, {"dir", "--full", "::*.TXT"}, {"get", "::*.TXT", local.path()}};
    for (std::vector<std::string> command : commands) {
        SCOPED_TRACE(command[0] + " " + command[1]);
        ScriptedPeer peer(ListingCutOff());
        ASSERT_TRUE(peer.Start()) << peer.report();
        for (std::string& argument : command) {
            if (argument.rfind("::", 0) == 0) argument = peer.node() + argument;
        }
        ScratchDir temporary;
        const ProcessResult result = RunZelft(command, RunOptions{{"TMPDIR=" + temporary.path()}, "", ""});
        peer.Finish();
        EXPECT_TRUE(peer.ok()) << peer.report() << result.err;

        EXPECT_EQ(result.exitCode, 3) << result.err;
        EXPECT_NE(result.err.find("connection reset or closed by the server"), std::string::npos) << result.err;
        EXPECT_TRUE(std::filesystem::is_empty(temporary.path()));
        EXPECT_TRUE(std::filesystem::is_empty(local.path()));
    }
}

// A server that answers a download's Access with an Access Complete: the
// copy ends there, nothing sent.
Script DownloadEndedAtOnce() {
    Script script = Opening();
    script.push_back(zeltest::expectAny());  // the download's Attributes and Access
    script.push_back(zeltest::reply(zeltest::AccessComplete()));
    script.push_back(zeltest::expectClosed());
    return script;
}

TEST(DownloadEndedAtOnce, LeavesTheTargetAsItWasAndFails) {
    ScratchDir local;
    WriteFile(local / "kept.txt", "mine\n");
    for (const char* target : {"kept.txt", "absent.txt"}) {
        SCOPED_TRACE(target);
        ScriptedPeer peer(DownloadEndedAtOnce());
        ASSERT_TRUE(peer.Start()) << peer.report();
        const ProcessResult result = RunZelft({"get", peer.node() + "::notes.txt", local / target});
        peer.Finish();
        EXPECT_TRUE(peer.ok()) << peer.report() << result.err;

        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_NE(result.err.find("notes.txt -> " + (local / target) +
                                  ": the server ended the copy without sending the file; nothing copied"),
                  std::string::npos)
            << result.err;
        // No file beside it either: the temporary one is gone.
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(local.path())) {
            names.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(names, std::vector<std::string>{"kept.txt"});
        EXPECT_EQ(ReadFile(local / "kept.txt"), "mine\n");
    }
}

TEST(ServerWithoutCapabilities, IsNoLocalFileError) {
    // Capabilities 25 and 40 are missing: the library keeps the link open
    // and returns error 1, which elsewhere is a local file's.
    zeltest::PeerConfig config;
    config.capabilities = {5, 18};
    Script script = Opening(config);
    script.push_back(zeltest::expectClosed());
    ScriptedPeer peer(script);
    ASSERT_TRUE(peer.Start()) << peer.report();
    ScratchDir local;
    const ProcessResult result = RunZelft({"get", peer.node() + "::notes.txt", local / "notes.txt"});
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report() << result.err;

    EXPECT_EQ(result.exitCode, 5) << result.err;
    EXPECT_EQ(result.err,
              "zelft: connect " + peer.node() + ": the server lacks capabilities zelft needs (error 1)\n");
    EXPECT_TRUE(std::filesystem::is_empty(local.path()));
}

}  // namespace
}  // namespace zelfttest
