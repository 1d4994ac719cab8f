// zelft dir and type against a zeld on loopback.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "zelft_harness.h"

namespace zelfttest {
namespace {

class Listings : public ZelftEndToEnd {};

TEST_F(Listings, DirPrintsQuotedNamesWithUnixLineEnds) {
    WriteFile(server.Path("a.txt"), "");
    WriteFile(server.Path("b.txt"), std::string(1000, 'b'));
    ASSERT_EQ(::mkdir(server.Path("sub").c_str(), 0755), 0);
    const ProcessResult result = RunZelft({"dir", server.Remote("")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.find('\r'), std::string::npos);
    EXPECT_NE(result.out.find("'a.txt'  -F"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("'b.txt'  -F2 \n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("'sub'  -D"), std::string::npos) << result.out;
}

TEST_F(Listings, FullListingShowsTheDates) {
    WriteFile(server.Path("dated.txt"), "x");
    struct timespec times[2] = {{1730692646, 0}, {1730692646, 0}};  // 2024-11-04 03:57:26 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, server.Path("dated.txt").c_str(), times, 0), 0);
    ProcessResult result = RunZelft({"dir", "--full", server.Remote("dated.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("'dated.txt'  -F1  04-NOV-24 03:57:26\n"), std::string::npos) << result.out;
    result = RunZelft({"dir", "--revision-date", server.Remote("dated.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("04-NOV-24 03:57:26"), std::string::npos) << result.out;
}

TEST_F(Listings, ANameWithAnApostropheIsListedWithItDoubled) {
    WriteFile(server.Path("o'neil.txt"), "");
    const ProcessResult result = RunZelft({"dir", server.Remote("o*")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("'o''neil.txt'"), std::string::npos) << result.out;
}

TEST_F(Listings, AListingLargerThanTheBufferComesThroughItsSpoolFile) {
    constexpr int kFiles = 3000;  // about 100 KB of listing: more than the 64 KB buffer
    for (int i = 0; i < kFiles; ++i) WriteFile(server.Path("file-with-a-longish-name-" + std::to_string(i)), "");
    ScratchDir temporary;
    const ProcessResult result =
        RunZelft({"dir", server.Remote("")}, RunOptions{{"TMPDIR=" + temporary.path()}, "", ""});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_GT(result.out.size(), 65536u);
    for (int i = 0; i < kFiles; i += 499) {
        EXPECT_NE(result.out.find("'file-with-a-longish-name-" + std::to_string(i) + "'"), std::string::npos) << i;
    }
    EXPECT_NE(result.out.find("'file-with-a-longish-name-" + std::to_string(kFiles - 1) + "'"), std::string::npos);
    // zelft removes the spool file once it has printed it.
    EXPECT_TRUE(std::filesystem::is_empty(temporary.path()));
}

TEST_F(Listings, TypePrintsTheFileAsItIs) {
    const std::string content = "first line\nsecond line\n\nafter a blank line\n";
    WriteFile(server.Path("story.txt"), content);
    const ProcessResult result = RunZelft({"type", server.Remote("story.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, content);
}

TEST_F(Listings, TypeJoinsTheFileAgainWhenALineIsLongerThanTheBuffer) {
    std::string longLine;
    for (int i = 0; i < 3000; ++i) longLine += std::to_string(i % 10) + "abcdefg";  // 24000 characters
    const std::string content = "short\n" + longLine + "\nend\n";
    WriteFile(server.Path("long.txt"), content);
    const ProcessResult result = RunZelft({"type", server.Remote("long.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.out == content) << result.out.size() << " bytes";
}

TEST_F(Listings, TypeGoesOnPastARecordWithoutText) {
    // The second line begins with a NUL: its record has no text, which is
    // not the end of the file.
    WriteFile(server.Path("nul.txt"), std::string("one\n\0two\nthree\n", 15));
    const ProcessResult result = RunZelft({"type", server.Remote("nul.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "one\nthree\n");
}

TEST_F(Listings, WithStandardOutputClosedNothingIsPrintedIntoTheConnection) {
    // The link's socket would otherwise take descriptor 1, and the file's
    // text would go to the server as protocol bytes.
    WriteFile(server.Path("story.txt"), std::string(20000, 'x') + "\n");
    const ProcessResult result =
        RunProgram({"/bin/sh", "-c", "exec \"$0\" \"$@\" >&-", ZelftPath(), "type", server.Remote("story.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

TEST_F(Listings, TypeOfAnEmptyFilePrintsNothing) {
    WriteFile(server.Path("empty.txt"), "");
    const ProcessResult result = RunZelft({"type", server.Remote("empty.txt")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
}

class RecordListings : public ZelftEndToEnd {
protected:
    RecordListings() : ZelftEndToEnd(ZeldOptions{"records", "", {}}) {}
};

TEST_F(RecordListings, NamesCarryVersionsAndDirectoriesEndInDir) {
    WriteFile(server.Path("a.txt"), "a\n");
    ASSERT_EQ(::mkdir(server.Path("sub").c_str(), 0755), 0);
    const ProcessResult result = RunZelft({"dir", "--full", server.Remote("")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("'A.TXT;1'  -F"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("'SUB.DIR;1'  -D"), std::string::npos) << result.out;
}

TEST_F(RecordListings, TypeEndsEachRecordWithCrLf) {
    WriteFile(server.Path("lines.txt"), "alpha\nbeta\n");
    const ProcessResult result = RunZelft({"type", server.Remote("LINES.TXT")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "alpha\r\nbeta\r\n");
}

}  // namespace
}  // namespace zelfttest
