// zelft get and put against a zeld on loopback: files compared byte for
// byte, names chosen for directories and wildcards, both personalities.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "zelft_harness.h"

namespace zelfttest {
namespace {

class Copies : public ZelftEndToEnd {};

TEST_F(Copies, GetCopiesAFileByteForByteAndSaysNothing) {
    const std::string content = BinaryContent(300000, 1);
    WriteFile(server.Path("data.bin"), content);
    const ProcessResult result = RunZelft({"get", server.Remote("data.bin"), Local("copy.bin")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");  // no terminal: no progress bar
    EXPECT_TRUE(ReadFile(Local("copy.bin")) == content);
}

TEST_F(Copies, AFailedGetLeavesTheLocalTargetAsItWas) {
    // The remote name is a directory: the copy fails, and the file it would
    // have replaced keeps its content; no file is left beside it.
    ASSERT_EQ(::mkdir(server.Path("notes").c_str(), 0755), 0);
    WriteFile(Local("keep.txt"), "precious\n");
    const ProcessResult result = RunZelft({"get", server.Remote("notes"), Local("keep.txt")});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_EQ(ReadFile(Local("keep.txt")), "precious\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local.path()), {}), 1);
    // Nor does a failed get create the target.
    EXPECT_NE(RunZelft({"get", server.Remote("notes"), Local("new.txt")}).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(Local("new.txt")));
}

TEST_F(Copies, AGetOverAnExistingFileKeepsItsModeAndWritesDevicesInPlace) {
    WriteFile(server.Path("a.txt"), "new content\n");
    WriteFile(Local("a.txt"), "old\n");
    ASSERT_EQ(::chmod(Local("a.txt").c_str(), 0640), 0);
    ProcessResult result = RunZelft({"get", server.Remote("a.txt"), Local("a.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(Local("a.txt")), "new content\n");
    struct stat info {};
    ASSERT_EQ(::stat(Local("a.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    // A device is no file to replace: /dev/null is written, and stays.
    result = RunZelft({"get", server.Remote("a.txt"), "/dev/null"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(::stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST_F(Copies, GetIntoADirectoryKeepsTheRemoteName) {
    ASSERT_EQ(::mkdir(server.Path("sub").c_str(), 0755), 0);
    WriteFile(server.Path("sub/notes.txt"), "line one\nline two\n");
    const ProcessResult result = RunZelft({"get", server.Remote("sub/notes.txt"), local.path()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(Local("notes.txt")), "line one\nline two\n");
}

TEST_F(Copies, GetWithoutALocalNameWritesIntoTheWorkingDirectory) {
    WriteFile(server.Path("here.txt"), "here\n");
    const ProcessResult result = RunZelft({"get", server.Remote("here.txt")}, RunOptions{{}, "", local.path()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(Local("here.txt")), "here\n");
}

TEST_F(Copies, PutCopiesAFileUnderTheGivenName) {
    const std::string content = BinaryContent(70000, 2);
    WriteFile(Local("up.bin"), content);
    const ProcessResult result = RunZelft({"put", Local("up.bin"), server.Remote("stored.bin")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(ReadFile(server.Path("stored.bin")) == content);
}

TEST_F(Copies, ALocalNameHoldingTwoColonsIsLocalBehindASlash) {
    WriteFile(Local("a::b.txt"), "colons\n");
    ProcessResult result = RunZelft({"put", Local("a::b.txt"), server.Remote("ab.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(server.Path("ab.txt")), "colons\n");
    RunOptions inLocal;
    inLocal.directory = local.path();
    result = RunZelft({"get", server.Remote("ab.txt"), "./c::d.txt"}, inLocal);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(Local("c::d.txt")), "colons\n");
}

TEST_F(Copies, PutReplacesAnExistingFile) {
    WriteFile(server.Path("old.txt"), "the old content, longer than the new\n");
    WriteFile(Local("new.txt"), "new\n");
    const ProcessResult result = RunZelft({"put", Local("new.txt"), server.Remote("old.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(server.Path("old.txt")), "new\n");
}

TEST_F(Copies, PutOfSeveralFilesFillsTheRemoteDirectory) {
    ASSERT_EQ(::mkdir(server.Path("inbox").c_str(), 0755), 0);
    WriteFile(Local("one.txt"), "1\n");
    WriteFile(Local("two.bin"), BinaryContent(5000, 3));
    const ProcessResult result =
        RunZelft({"put", "--verbose", Local("one.txt"), Local("two.bin"), server.Remote("inbox")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(server.Path("inbox/one.txt")), "1\n");
    EXPECT_TRUE(ReadFile(server.Path("inbox/two.bin")) == BinaryContent(5000, 3));
    EXPECT_NE(result.err.find("put " + Local("one.txt") + " -> " + server.Remote("inbox/one.txt") + " (2 bytes)"),
              std::string::npos)
        << result.err;
}

TEST_F(Copies, PutIntoTheDefaultDirectoryKeepsTheLocalName) {
    WriteFile(Local("plain.txt"), "plain\n");
    const ProcessResult result = RunZelft({"put", Local("plain.txt"), server.Remote("")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(server.Path("plain.txt")), "plain\n");
}

TEST_F(Copies, WildcardGetCopiesEveryMatchingFileButNotDirectories) {
    WriteFile(server.Path("x1.txt"), "first\n");
    WriteFile(server.Path("x2.txt"), BinaryContent(4000, 4));
    WriteFile(server.Path("o'neil.txt"), "apostrophe\n");
    WriteFile(server.Path("y.dat"), "not matched\n");
    ASSERT_EQ(::mkdir(server.Path("xdir.txt").c_str(), 0755), 0);
    // A directory of a name with ".DIR" in it but of another type.
    ASSERT_EQ(::mkdir(server.Path("x.DIRS.txt").c_str(), 0755), 0);
    const ProcessResult result = RunZelft({"get", server.Remote("*.txt"), local.path()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(Local("x1.txt")), "first\n");
    EXPECT_TRUE(ReadFile(Local("x2.txt")) == BinaryContent(4000, 4));
    EXPECT_EQ(ReadFile(Local("o'neil.txt")), "apostrophe\n");
    EXPECT_FALSE(std::filesystem::exists(Local("y.dat")));
    EXPECT_FALSE(std::filesystem::exists(Local("xdir.txt")));
    EXPECT_FALSE(std::filesystem::exists(Local("x.DIRS.txt")));
}

TEST_F(Copies, WildcardGetInASubdirectoryNamesTheFilesThere) {
    ASSERT_EQ(::mkdir(server.Path("logs").c_str(), 0755), 0);
    WriteFile(server.Path("logs/a.log"), "a\n");
    WriteFile(server.Path("logs/b.log"), "b\n");
    WriteFile(server.Path("c.log"), "not in logs\n");
    const ProcessResult result = RunZelft({"get", server.Remote("logs/%.log"), local.path()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(Local("a.log")), "a\n");
    EXPECT_EQ(ReadFile(Local("b.log")), "b\n");
    EXPECT_FALSE(std::filesystem::exists(Local("c.log")));
}

TEST_F(Copies, WildcardGetSaysWhichMatchingFilesItCouldNotCopyAndFails) {
    WriteFile(server.Path("a.txt"), "a\n");
    WriteFile(server.Path("line\nbreak.txt"), "in a name with a line end\n");
    WriteFile(server.Path("data;bak.txt"), "a semicolon, not a version\n");
    ASSERT_EQ(::symlink("missing.txt", server.Path("dangling.txt").c_str()), 0);
    // Two names that end up as one local name: the second is not copied over the first.
    WriteFile(server.Path("rep;1.txt"), "one\n");
    const ProcessResult result = RunZelft({"get", server.Remote("*.txt"), local.path()});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("dangling.txt: the server could not describe it; not copied"), std::string::npos)
        << result.err;
    EXPECT_EQ(ReadFile(Local("a.txt")), "a\n");
    EXPECT_EQ(ReadFile(Local("line\nbreak.txt")), "in a name with a line end\n");
    EXPECT_EQ(ReadFile(Local("data;bak.txt")), "a semicolon, not a version\n");
    EXPECT_EQ(ReadFile(Local("rep;1.txt")), "one\n");
}

TEST_F(Copies, WildcardGetNeverCopiesTwoFilesToOneLocalName) {
    // On a stream server "rep;1" and "rep;2" are two names; read as versions
    // they would both be "rep".
    WriteFile(server.Path("rep;1"), "one\n");
    WriteFile(server.Path("rep;2"), "two\n");
    const ProcessResult result = RunZelft({"get", server.Remote("rep*"), local.path()});
    EXPECT_EQ(result.exitCode, 4) << result.err;
    EXPECT_NE(result.err.find("was already copied from another file; not copied"), std::string::npos) << result.err;
    EXPECT_EQ(ReadFile(Local("rep")), "one\n");
}

TEST_F(Copies, WildcardGetNeedsALocalDirectory) {
    WriteFile(server.Path("a.txt"), "a\n");
    const ProcessResult result = RunZelft({"get", server.Remote("*.txt"), Local("not-a-directory")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("must be a directory"), std::string::npos) << result.err;
}

TEST_F(Copies, ALargeFileArrivesWhole) {
    const std::string content = BinaryContent(8 << 20, 5);
    WriteFile(server.Path("large.bin"), content);
    const ProcessResult result = RunZelft({"get", server.Remote("large.bin"), Local("large.bin")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(ReadFile(Local("large.bin")) == content);
    const ProcessResult back = RunZelft({"put", Local("large.bin"), server.Remote("large.back")});
    EXPECT_EQ(back.exitCode, 0) << back.err;
    EXPECT_TRUE(ReadFile(server.Path("large.back")) == content);
}

TEST_F(Copies, TextModeOnAStreamServerIsByteExactToo) {
    const std::string content = "dos\r\nunix\nlast without end";
    WriteFile(server.Path("mixed.txt"), content);
    const ProcessResult result = RunZelft({"get", "--text", server.Remote("mixed.txt"), Local("mixed.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(Local("mixed.txt")), content);
}

TEST_F(Copies, CopyAttributesAreAcceptedForAnUpload) {
    WriteFile(Local("attributed.txt"), "with attributes\n");
    const ProcessResult result = RunZelft({"put", "--text", "--record-format", "variable", "--record-attributes", "cr",
                                           "--allocation", "4", Local("attributed.txt"), server.Remote("attr.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(server.Path("attr.txt")), "with attributes\n");
}

class RecordCopies : public ZelftEndToEnd {
protected:
    RecordCopies() : ZelftEndToEnd(ZeldOptions{"records", "", {}}) {}
};

TEST_F(RecordCopies, TextDownloadsEndLinesWithCrLf) {
    WriteFile(server.Path("lines.txt"), "alpha\nbeta\n");
    const ProcessResult result = RunZelft({"get", "--text", server.Remote("LINES.TXT"), Local("lines.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(Local("lines.txt")), "alpha\r\nbeta\r\n");
}

TEST_F(RecordCopies, ImageDownloadsAreByteExact) {
    const std::string content = BinaryContent(10000, 6);
    WriteFile(server.Path("blob.bin"), content);
    const ProcessResult result = RunZelft({"get", server.Remote("BLOB.BIN"), Local("blob.bin")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(ReadFile(Local("blob.bin")) == content);
}

TEST_F(RecordCopies, TextUploadsAreStoredAsLines) {
    WriteFile(Local("crlf.txt"), "one\r\ntwo\r\n");
    const ProcessResult result = RunZelft({"put", "--text", Local("crlf.txt"), server.Remote("STORED.TXT")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // The record server keeps its text files as lines; the name is its own affair.
    std::string stored;
    for (const auto& entry : std::filesystem::directory_iterator(server.root())) stored += ReadFile(entry.path());
    EXPECT_EQ(stored, "one\ntwo\n");
}

TEST_F(RecordCopies, WildcardGetDropsTheVersionFromLocalNames) {
    WriteFile(server.Path("a.txt"), "a\n");
    WriteFile(server.Path("b.txt"), "b\n");
    const ProcessResult result = RunZelft({"get", "--text", server.Remote("*.TXT"), local.path()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(Local("A.TXT")), "a\r\n");
    EXPECT_EQ(ReadFile(Local("B.TXT")), "b\r\n");
}

TEST_F(RecordCopies, WildcardGetSkipsOnlyNamesOfTypeDir) {
    // The library marks NOTES.DIRTY;1 as a directory for the ".DIR" in its
    // name; SUB.DIR;1 is one.
    WriteFile(server.Path("a.txt"), "a\n");
    WriteFile(server.Path("notes.dirty"), "dirty\n");
    WriteFile(server.Path("x.dir.bak"), "backup\n");
    ASSERT_EQ(::mkdir(server.Path("sub").c_str(), 0755), 0);
    const ProcessResult result = RunZelft({"get", "--text", server.Remote("*"), local.path()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadFile(Local("A.TXT")), "a\r\n");
    EXPECT_EQ(ReadFile(Local("NOTES.DIRTY")), "dirty\r\n");
    EXPECT_EQ(ReadFile(Local("X.DIR.BAK")), "backup\r\n");
    EXPECT_FALSE(std::filesystem::exists(Local("SUB.DIR")));
}

}  // namespace
}  // namespace zelfttest
