// Names of copied files: directory and file parts of both forms of remote
// names, versions, wildcards and local paths.
#include <gtest/gtest.h>

#include "zelft/copy_names.h"

namespace zelft {
namespace {

using namespace std::string_view_literals;

TEST(CopyNames, WildcardsCountOnlyInTheFilePart) {
    EXPECT_TRUE(HasWildcard("*.txt"));
    EXPECT_TRUE(HasWildcard("sub/a%.txt"));
    EXPECT_TRUE(HasWildcard("[SUB]*.TXT;*"));
    EXPECT_FALSE(HasWildcard("s*b/a.txt"));
    EXPECT_TRUE(HasWildcardInDirectory("s*b/a.txt"));
    EXPECT_FALSE(HasWildcardInDirectory("sub/*.txt"));
}

TEST(CopyNames, DirectoryAndFilePartsOfUnixAndBracketedNames) {
    EXPECT_EQ(RemoteDirectoryPart("a.txt"), "");
    EXPECT_EQ(RemoteDirectoryPart("sub/deep/a.txt"), "sub/deep/");
    EXPECT_EQ(RemoteDirectoryPart("[SUB.DEEP]A.TXT;1"), "[SUB.DEEP]");
    EXPECT_EQ(RemoteFilePart("sub/deep/*.txt"), "*.txt");
    EXPECT_EQ(RemoteFilePart("[SUB.DEEP]*.TXT;*"), "*.TXT;*");
    EXPECT_EQ(RemoteFilePart("sub/"), "");
    // The other bracketed forms the server takes, and brackets that are
    // only part of a name.
    EXPECT_EQ(RemoteFilePart("<SUB>*.TXT"), "*.TXT");
    EXPECT_EQ(RemoteFilePart("DISK:[SUB]A.TXT"), "A.TXT");
    EXPECT_EQ(RemoteFilePart("tmp/old[1]"), "old[1]");
    EXPECT_EQ(RemoteFilePart("a>b"), "a>b");
    EXPECT_EQ(RemoteDirectoryPart("tmp/x[2]/y"), "tmp/x[2]/");
}

TEST(CopyNames, BaseNameDropsDirectoryAndVersion) {
    EXPECT_EQ(RemoteBaseName("sub/a.txt"), "a.txt");
    EXPECT_EQ(RemoteBaseName("[SUB]A.TXT;1"), "A.TXT");
    EXPECT_EQ(RemoteBaseName("A.TXT;12"), "A.TXT");
    EXPECT_EQ(RemoteBaseName("A.TXT;"), "A.TXT");
    // Not a version: the ";" is part of a Unix name.
    EXPECT_EQ(RemoteBaseName("data;bak.csv"), "data;bak.csv");
    EXPECT_EQ(RemoteBaseName("rep;1x"), "rep;1x");
    EXPECT_EQ(RemoteBaseName("sub/"), "");
}

TEST(CopyNames, ABracketedNameMayLeaveADirectoryInItsBaseName) {
    // What follows the "]" or ">" is kept whole: these base names are no
    // local file names, and no copy takes them.
    for (const char* listed : {"[]../../evil.txt", "[X]../.bashrc", "<>../y.txt", "A:[B]../x.txt", "[X]sub/z.txt",
                               "[X]..", "[X].;1"}) {
        EXPECT_FALSE(IsLocalFileName(RemoteBaseName(listed))) << listed;
    }
    EXPECT_TRUE(IsLocalFileName(RemoteBaseName("[X]A.TXT;1")));
}

TEST(CopyNames, ALocalFileNameIsOnePathComponent) {
    for (const char* name : {"a.txt", ".bashrc", "...", "..a", "a..", "old[1]", "x;1", "line\nbreak"}) {
        EXPECT_TRUE(IsLocalFileName(name)) << name;
    }
    for (const char* name : {"", ".", "..", "/", "a/b", "../x", "./x", "x/", "/etc/passwd"}) {
        EXPECT_FALSE(IsLocalFileName(name)) << name;
    }
    EXPECT_FALSE(IsLocalFileName("a.txt\0/../../x"sv));
    EXPECT_FALSE(IsLocalFileName("\0"sv));
}

TEST(CopyNames, FilesGoingIntoARemoteDirectory) {
    EXPECT_EQ(RemoteNameInDirectory("", "a.txt"), "a.txt");
    EXPECT_EQ(RemoteNameInDirectory("sub", "a.txt"), "sub/a.txt");
    EXPECT_EQ(RemoteNameInDirectory("sub/", "a.txt"), "sub/a.txt");
    EXPECT_EQ(RemoteNameInDirectory("[SUB]", "A.TXT;1"), "[SUB]A.TXT;1");
    EXPECT_TRUE(NamesRemoteDirectory(""));
    EXPECT_TRUE(NamesRemoteDirectory("x/"));
    EXPECT_TRUE(NamesRemoteDirectory("[X]"));
    EXPECT_FALSE(NamesRemoteDirectory("x"));
    EXPECT_TRUE(NamesRemoteDirectory("<X>"));
    EXPECT_FALSE(NamesRemoteDirectory("old[1]"));
    EXPECT_EQ(RemoteNameInDirectory("old[1]", "a"), "old[1]/a");
}

TEST(CopyNames, LocalPaths) {
    EXPECT_EQ(LocalBaseName("/tmp/a.txt"), "a.txt");
    EXPECT_EQ(LocalBaseName("a.txt"), "a.txt");
    EXPECT_EQ(LocalBaseName("dir/"), "dir");
    EXPECT_EQ(LocalDirectoryOf("a.txt"), ".");
    EXPECT_EQ(LocalDirectoryOf("/a.txt"), "/");
    EXPECT_EQ(LocalDirectoryOf("x/y/a.txt"), "x/y");
    EXPECT_EQ(JoinLocal(".", "a"), "./a");
    EXPECT_EQ(JoinLocal("/tmp/", "a"), "/tmp/a");
}

}  // namespace
}  // namespace zelft
