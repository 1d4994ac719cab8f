// zelft get against a scripted server whose listing names files the
// pattern does not match: they are reported and never written, while the
// file that matches is copied.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/scripted_peer.h"
#include "support/zel_messages.h"
#include "zel32/support/request_messages.h"
#include "zelft_harness.h"

namespace zelfttest {
namespace {

using zeltest::AccessComplete;
using zeltest::Acknowledge;
using zeltest::Bytes;
using zeltest::Name;
using zeltest::Script;
using zeltest::ScriptedPeer;
using zeltest::Status;
using zeltest::Text;
using zeltest::operator+;

constexpr uint8_t kFileName = 0x02;
constexpr char kListed[] = "01-JAN-24 00:00:00";

// One entry of a full listing: the name, a size of one block, the dates.
Script Entry(const std::string& name) {
    return {zeltest::reply(Name(kFileName, name)),
            zeltest::reply(zeltest::FileSize(1) + zeltest::DateAndTime(kListed, kListed))};
}

bool Holds(const Bytes& payload, const std::string& text) {
    return std::search(payload.begin(), payload.end(), text.begin(), text.end()) != payload.end();
}

// The server's side of a wildcard get: a listing of `names`, then the
// download of NOTES.TXT;1, the one name the test lets zelft ask for.
Script ListingThenNotesDownload(const std::vector<std::string>& names) {
    Script script = {zeltest::expectAny(), zeltest::reply(zeltest::PeerConfiguration()), zeltest::expectAny()};
    for (const std::string& name : names) {
        const Script entry = Entry(name);
        script.insert(script.end(), entry.begin(), entry.end());
    }
    const Script download = {
        zeltest::reply(AccessComplete()),
        zeltest::expectWhere([](const Bytes& payload) { return Holds(payload, "NOTES.TXT;1"); },
                             "the Access of the download of NOTES.TXT;1"),
        zeltest::reply(zeltest::Attributes({0x0F, 0x01, 0x00, 0x02, 0x02}) + Acknowledge()),
        zeltest::expectAny(),  // the connecting Control
        zeltest::reply(Acknowledge()),
        zeltest::expectAny(),  // the data phase Control
        zeltest::reply(zeltest::Data(Text("notes")) + Status(0x5027)),
        zeltest::expectAny(),  // the Access Complete of the copy
        zeltest::reply(AccessComplete()),
        zeltest::expectClosed()};
    script.insert(script.end(), download.begin(), download.end());
    return script;
}

TEST(HostileListing, AGetCopiesOnlyTheListedFilesItsPatternMatches) {
    // Asked for *.txt, the server lists two dotfiles, "..", a name that
    // would retitle a terminal, and one text file as a NAME.TYPE;VERSION
    // server writes it.
    ScriptedPeer peer(ListingThenNotesDownload({".bashrc", ".profile", "..;1", "\x1b]0;owned\a", "NOTES.TXT;1"}));
    ASSERT_TRUE(peer.Start()) << peer.report();

    ScratchDir home;
    WriteFile(home / ".bashrc", "mine\n");
    const ProcessResult result = RunZelft({"get", "--text", peer.node() + "::*.txt", home.path()});
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report() << result.err;

    EXPECT_EQ(result.exitCode, 1) << result.err;
    for (const char* name : {".bashrc", ".profile", "..;1", "?]0;owned?"}) {
        EXPECT_NE(result.err.find("::" + std::string(name) + ": not a file name that *.txt matches; not copied"),
                  std::string::npos)
            << result.err;
    }
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos) << result.err;
    EXPECT_EQ(ReadFile(home / ".bashrc"), "mine\n");
    EXPECT_FALSE(std::filesystem::exists(home / ".profile"));
    EXPECT_EQ(ReadFile(home / "NOTES.TXT"), "notes\r\n");
    for (const zeltest::ReceivedFrame& frame : peer.received()) {
        EXPECT_FALSE(Holds(frame.payload, "bashrc") || Holds(frame.payload, "profile"));
    }
}

TEST(HostileListing, AListedNameThatHoldsADirectoryIsNeverWritten) {
    // "*" matches every one of these as a string. The bracketed directory
    // ends at "]" or ">", and what follows it would have been joined to the
    // target directory: two levels up, one up, and into a subdirectory.
    const std::vector<std::string> hostile = {"[]../../evil.txt", "[X]../.bashrc", "<>../y.txt", "A:[B]../x.txt",
                                              "[X]sub/z.txt"};
    std::vector<std::string> listed = hostile;
    listed.push_back("NOTES.TXT;1");
    ScriptedPeer peer(ListingThenNotesDownload(listed));
    ASSERT_TRUE(peer.Start()) << peer.report();

    // The target lies two levels down in the scratch directory, so that
    // nothing can land outside it whatever zelft does.
    ScratchDir home;
    const std::string target = home / "a/b/dl";
    std::filesystem::create_directories(target + "/sub");
    const ProcessResult result = RunZelft({"get", "--text", peer.node() + "::*", target});
    peer.Finish();
    EXPECT_TRUE(peer.ok()) << peer.report() << result.err;

    EXPECT_EQ(result.exitCode, 1) << result.err;
    for (const std::string& name : hostile) {
        EXPECT_NE(result.err.find("::" + name + ": not a file name that * matches; not copied"), std::string::npos)
            << result.err;
    }
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.path())) {
        if (!entry.is_directory()) files.push_back(entry.path().lexically_relative(home.path()).string());
    }
    EXPECT_EQ(files, std::vector<std::string>{"a/b/dl/NOTES.TXT"});
    EXPECT_EQ(ReadFile(target + "/NOTES.TXT"), "notes\r\n");
}

}  // namespace
}  // namespace zelfttest
