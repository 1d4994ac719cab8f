// zelft delete, rename, mkdir, rmdir, print, submit and protection against a
// zeld on loopback.
#include <sys/stat.h>

#include <filesystem>

#include "zelft_harness.h"

namespace zelfttest {
namespace {

namespace fs = std::filesystem;

class FileCommands : public ZelftEndToEnd {};

TEST_F(FileCommands, DeleteRemovesEachFileAndReportsTheOneMissing) {
    WriteFile(server.Path("a.txt"), "a");
    WriteFile(server.Path("b.txt"), "b");
    const ProcessResult result =
        RunZelft({"delete", server.Remote("a.txt"), server.Remote("missing.txt"), server.Remote("b.txt")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(fs::exists(server.Path("a.txt")));
    EXPECT_FALSE(fs::exists(server.Path("b.txt")));
    EXPECT_EQ(result.err, "zelft: delete " + server.Remote("missing.txt") +
                              ": file not found (error 7; remote status MACCODE 4 (File Open), MICCODE 0x32: file "
                              "not found)\n");
}

TEST_F(FileCommands, RenameMovesTheFile) {
    WriteFile(server.Path("old.txt"), "content");
    ProcessResult result = RunZelft({"rename", server.Remote("old.txt"), "new.txt"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(fs::exists(server.Path("old.txt")));
    EXPECT_EQ(ReadFile(server.Path("new.txt")), "content");
    // The new name may repeat the node.
    result = RunZelft({"rename", server.Remote("new.txt"), server.Remote("newer.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(server.Path("newer.txt")), "content");
}

TEST_F(FileCommands, RenameToAnotherNodeIsAUsageError) {
    const ProcessResult result = RunZelft({"rename", server.Remote("a"), "otherhost::b"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("one node"), std::string::npos) << result.err;
}

TEST_F(FileCommands, MkdirAndRmdir) {
    ProcessResult result = RunZelft({"mkdir", server.Remote("made")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(fs::is_directory(server.Path("made")));
    result = RunZelft({"rmdir", server.Remote("made")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(fs::exists(server.Path("made")));
}

TEST_F(FileCommands, RmdirOfADirectoryThatIsNotEmptyFailsAndKeepsIt) {
    ASSERT_EQ(::mkdir(server.Path("full").c_str(), 0755), 0);
    WriteFile(server.Path("full/inside.txt"), "x");
    const ProcessResult result = RunZelft({"rmdir", server.Remote("full")});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("rmdir " + server.Remote("full") + ": "), std::string::npos) << result.err;
    EXPECT_TRUE(fs::exists(server.Path("full/inside.txt")));
}

TEST_F(FileCommands, ProtectionShowsTheFileMode) {
    WriteFile(server.Path("p.txt"), "p");
    ASSERT_EQ(::chmod(server.Path("p.txt").c_str(), 0640), 0);
    const ProcessResult result = RunZelft({"protection", server.Remote("p.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.substr(0, result.out.find("  owner")), "S:RWD,O:RWD,G:R,W:") << result.out;
}

TEST_F(FileCommands, ProtectionSetChangesTheModeAndIsReadBack) {
    WriteFile(server.Path("p.txt"), "p");
    ASSERT_EQ(::chmod(server.Path("p.txt").c_str(), 0600), 0);
    ProcessResult result = RunZelft({"protection", server.Remote("p.txt"), "--set", "O:RWD,G:R,W:R"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    struct stat info {};
    ASSERT_EQ(::stat(server.Path("p.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    result = RunZelft({"protection", server.Remote("p.txt")});
    EXPECT_NE(result.out.find("O:RWD,G:R,W:R"), std::string::npos) << result.out;
}

TEST_F(FileCommands, PrintWithoutAPrinterIsNotSupported) {
    WriteFile(server.Path("doc.txt"), "doc");
    const ProcessResult result = RunZelft({"print", server.Remote("doc.txt")});
    EXPECT_EQ(result.exitCode, 5);
    EXPECT_NE(result.err.find("not supported by the server (error 16)"), std::string::npos) << result.err;
}

// The spool directories exist before the server that is told about them.
struct SpoolDirectories {
    ScratchDir printed;
    ScratchDir submitted;
};

class SpoolingServer : protected SpoolDirectories, public ZelftEndToEnd {
protected:
    SpoolingServer()
        : ZelftEndToEnd(ZeldOptions{"stream", "", {"--print-spool", printed.path(), "--submit-spool", submitted.path()}}) {}

    // Everything the spool directory holds, joined.
    static std::string Spooled(const ScratchDir& directory) {
        std::string content;
        for (const auto& entry : fs::directory_iterator(directory.path())) content += ReadFile(entry.path());
        return content;
    }
};

TEST_F(SpoolingServer, PrintHandsTheFileToThePrintSpool) {
    WriteFile(server.Path("doc.txt"), "to be printed\n");
    const ProcessResult result = RunZelft({"print", server.Remote("doc.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Spooled(printed), "to be printed\n");
    EXPECT_EQ(Spooled(submitted), "");
}

TEST_F(SpoolingServer, SubmitHandsTheFileToTheSubmitSpool) {
    WriteFile(server.Path("job.com"), "$ run\n");
    const ProcessResult result = RunZelft({"submit", server.Remote("job.com")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Spooled(submitted), "$ run\n");
}

}  // namespace
}  // namespace zelfttest
