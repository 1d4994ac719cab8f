// What else a copy does against a real zeld: targets renamed instead of
// overwritten, the upload's date and the target's mode kept, carriage
// control of record files, long records, directories and locked files.
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include "e2e_fixture.h"

namespace e2etest {
namespace {

constexpr time_t kLocalTime = 889106829;  // 1998-03-05 14:07:09 UTC

class CopyOptions : public EndToEnd, public ::testing::WithParamInterface<std::string> {
protected:
    CopyOptions() : EndToEnd(ZeldOptions{GetParam(), "", {}}) {}
    bool records() const { return GetParam() == "records"; }
};

TEST_P(CopyOptions, AnUploadWithRenameTargetNeverOverwritesAnExistingFile) {
    ASSERT_EQ(::mkdir(server.Path("dir").c_str(), 0755), 0);
    WriteFile(server.Path("dir/out.txt"), "the first\n");
    WriteFile(Local("up.txt"), "the second\n");
    std::unique_ptr<Link> link = Connect(LinkOptions{"", "", RFA_OPEN_RENAME_TARGET});
    // The name is cut after its first "." and numbered; the version goes.
    const std::string target = records() ? "[DIR]OUT.TXT;1" : "dir/out.txt";
    const std::string renamed = records() ? "[DIR]OUT.1" : "dir/out.1";
    ASSERT_EQ(link->Upload(Local("up.txt"), target, RFA_MODE_IMAGE), RFA_OK);
    EXPECT_EQ(std::string(link->Look().name2), renamed);
    ASSERT_EQ(link->Upload(Local("up.txt"), target, RFA_MODE_IMAGE), RFA_OK);
    const std::string renamedAgain = records() ? "[DIR]OUT.2" : "dir/out.2";
    EXPECT_EQ(std::string(link->Look().name2), renamedAgain);
    const std::string prefix = records() ? "OUT." : "out.";
    EXPECT_EQ(DirectoryNames(server.Path("dir")), (std::vector<std::string>{prefix + "1", prefix + "2", "out.txt"}));
    EXPECT_EQ(ReadFile(server.Path("dir/out.txt")), "the first\n");
    EXPECT_EQ(ReadFile(server.Path("dir/" + prefix + "2")).substr(0, 11), "the second\n");  // records: padded
}

// A file the server will not open may still exist: with RFA_OPEN_RENAME_TARGET
// the upload fails with the open's error instead of replacing it.
TEST_P(CopyOptions, AnUploadWithRenameTargetLeavesALockedFileAlone) {
    WriteFile(server.Path("busy.txt"), "the first\n");
    const int fd = ::open(server.Path("busy.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    WriteFile(Local("up.txt"), "the second\n");
    std::unique_ptr<Link> link = Connect(LinkOptions{"", "", RFA_OPEN_RENAME_TARGET});
    EXPECT_EQ(link->Upload(Local("up.txt"), records() ? "BUSY.TXT" : "busy.txt", RFA_MODE_IMAGE), RFA_ERR_FILE_LOCKED);
    EXPECT_EQ(link->Look().errorValue, 0x00040030);
    ::close(fd);
    EXPECT_EQ(DirectoryNames(server.root()), std::vector<std::string>{"busy.txt"});
    EXPECT_EQ(ReadFile(server.Path("busy.txt")), "the first\n");
}

TEST_P(CopyOptions, AnUploadWithRenameTargetLeavesAFileTheUserMayNotReadAlone) {
    // root reads every file: the server would open it and rename the upload.
    if (::geteuid() == 0) GTEST_SKIP() << "root may read a file of mode 0200";
    WriteFile(server.Path("x.txt"), "the first\n");
    ASSERT_EQ(::chmod(server.Path("x.txt").c_str(), 0200), 0);
    WriteFile(Local("up.txt"), "the second\n");
    std::unique_ptr<Link> link = Connect(LinkOptions{"", "", RFA_OPEN_RENAME_TARGET});
    EXPECT_EQ(link->Upload(Local("up.txt"), records() ? "X.TXT" : "x.txt", RFA_MODE_IMAGE), RFA_ERR_FILE_PROTECTED);
    EXPECT_EQ(link->Look().errorValue, 0x00040025);
    ASSERT_EQ(::chmod(server.Path("x.txt").c_str(), 0600), 0);
    EXPECT_EQ(DirectoryNames(server.root()), std::vector<std::string>{"x.txt"});
    EXPECT_EQ(ReadFile(server.Path("x.txt")), "the first\n");
}

TEST_P(CopyOptions, ADownloadWithRenameTargetNeverOverwritesAnExistingLocalFile) {
    WriteFile(server.Path("a.txt"), "remote\n");
    WriteFile(Local("copy.txt"), "local\n");
    std::unique_ptr<Link> link = Connect(LinkOptions{"", "", RFA_OPEN_RENAME_TARGET});
    ASSERT_EQ(link->Download("a.txt", Local("copy.txt"), RFA_MODE_IMAGE), RFA_OK);
    EXPECT_EQ(std::string(link->Look().name2), Local("copy.1"));
    EXPECT_EQ(ReadFile(Local("copy.txt")), "local\n");
    EXPECT_EQ(ReadFile(Local("copy.1")), "remote\n");
}

TEST_P(CopyOptions, WithoutRenameTargetAnUploadReplacesTheTargetAndKeepsItsMode) {
    WriteFile(server.Path("kept.txt"), "old and longer\n");
    ASSERT_EQ(::chmod(server.Path("kept.txt").c_str(), 0600), 0);
    WriteFile(Local("up.txt"), "new\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(link->Upload(Local("up.txt"), "kept.txt", RFA_MODE_IMAGE), RFA_OK);
    EXPECT_EQ(std::string(link->Look().name2), "kept.txt");
    struct stat info {};
    ASSERT_EQ(::stat(server.Path("kept.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadFile(server.Path("kept.txt")).substr(0, 4), "new\n");  // records: padded with zeros
}

TEST_P(CopyOptions, AnUploadGivesTheRemoteFileTheLocalModificationTime) {
    WriteFile(Local("dated.txt"), "dated\r\n");
    SetFileTime(Local("dated.txt"), kLocalTime);
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(link->Upload(Local("dated.txt"), "dated.txt", RFA_MODE_TEXT), RFA_OK);
    struct stat info {};
    ASSERT_EQ(::stat(server.Path("dated.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, kLocalTime);
    ASSERT_EQ(RfaDir(link->handle(), 1, "dated.txt"), RFA_OK);
    EXPECT_NE(link->Listing().find(" 05-MAR-98 14:07:09\r\n"), std::string::npos) << link->Listing();
}

TEST_P(CopyOptions, ADirectoryCannotBeDownloaded) {
    ASSERT_EQ(::mkdir(server.Path("dir").c_str(), 0755), 0);
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(link->Download("dir", Local("dir"), RFA_MODE_IMAGE), RFA_ERR_FILE_PROTECTED);
    EXPECT_EQ(link->Look().errorValue, 0x00040025);
}

TEST_P(CopyOptions, AFileLockedByAnotherProcessIsFileLocked) {
    WriteFile(server.Path("busy.txt"), "busy\n");
    const int fd = ::open(server.Path("busy.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(link->Download("busy.txt", Local("busy.txt"), RFA_MODE_IMAGE), RFA_ERR_FILE_LOCKED);
    EXPECT_EQ(link->Look().errorValue, 0x00040030);
    ::close(fd);
    ASSERT_EQ(link->Download("busy.txt", Local("busy.txt"), RFA_MODE_IMAGE), RFA_OK);
    EXPECT_EQ(ReadFile(Local("busy.txt")), "busy\n");
}

TEST_P(CopyOptions, APrintFormatUploadStoresTheTextWithoutTheControlArea) {
    // Print carriage control: to a records server each record goes with a
    // fixed control area (two bytes), which is carriage control, not text.
    WriteFile(Local("report.txt"), "one\r\ntwo\r\n");
    RfaCopyAttributes print{};
    print.recordFormat = 2;
    print.recordAttributes = 0x04;
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaCopy(link->handle(), Local("report.txt").c_str(), records() ? "REPORT.TXT" : "report.txt",
                      RFA_COPY_UPLOAD, RFA_MODE_TEXT, &print),
              RFA_OK);
    const std::string stored = ReadFile(server.Path(records() ? "REPORT.TXT" : "report.txt"));
    EXPECT_EQ(stored.find('\x01'), std::string::npos) << stored;
    EXPECT_EQ(stored.find('\x8d'), std::string::npos) << stored;
    // records: the final line feed begins a record of its own, which the
    // library sends with its control area alone: an empty last line.
    EXPECT_EQ(stored, records() ? "one\ntwo\n\n" : "one\r\ntwo\r\n");
}

TEST_P(CopyOptions, APrintFormatLineLongerThanARecordKeepsAllItsText) {
    // The library cuts a line at half its block (16128 bytes, the control
    // area's two among them); the rest of the line follows without a
    // control area, and none of its text may be taken for one. A line that
    // fills a record exactly is followed by the next line, which has one.
    const std::string longLine(16200, 'A');
    const std::string fullLine(16126, 'B');
    WriteFile(Local("wide.txt"), longLine + "\r\n" + fullLine + "\r\nC\r\n");
    RfaCopyAttributes print{};
    print.recordFormat = 2;
    print.recordAttributes = 0x04;
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaCopy(link->handle(), Local("wide.txt").c_str(), records() ? "WIDE.TXT" : "wide.txt",
                      RFA_COPY_UPLOAD, RFA_MODE_TEXT, &print),
              RFA_OK);
    const std::string stored = ReadFile(server.Path(records() ? "WIDE.TXT" : "wide.txt"));
    if (!records()) {
        EXPECT_EQ(stored, longLine + "\r\n" + fullLine + "\r\nC\r\n");
        return;
    }
    EXPECT_EQ(stored, longLine.substr(0, 16126) + "\n" + longLine.substr(16126) + "\n" + fullLine + "\nC\n\n");
}

INSTANTIATE_TEST_SUITE_P(BothPersonalities, CopyOptions, ::testing::Values("stream", "records"), PersonalityName);

// records: files ending in .ftn carry Fortran carriage control, files
// ending in .prn print format; a text download writes their controls.
class RecordControls : public EndToEnd {
protected:
    RecordControls() : EndToEnd(ZeldOptions{"records", "", {}}) {}
};

TEST_F(RecordControls, AFortranFileArrivesWithItsCarriageControlCarriedOut) {
    WriteFile(server.Path("report.ftn"), "1TITLE\n text\n0double\n+over\n$prompt\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(link->Download("REPORT.FTN", Local("report.txt"), RFA_MODE_TEXT), RFA_OK);
    // 1 form feed, space new line, 0 blank line, + overprint; each record
    // ends in CR except after $.
    EXPECT_EQ(ReadFile(Local("report.txt")), "\fTITLE\r\ntext\r\n\ndouble\rover\r\nprompt");
}

TEST_F(RecordControls, APrintFormatFileArrivesWithALineFeedBeforeAndACarriageReturnAfterEachLine) {
    WriteFile(server.Path("listing.prn"), "page one\nline two\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(link->Download("LISTING.PRN", Local("listing.txt"), RFA_MODE_TEXT), RFA_OK);
    EXPECT_EQ(ReadFile(Local("listing.txt")), "\npage one\r\nline two\r");
}

TEST_F(RecordControls, ALineLongerThanARecordArrivesAsTwoLines) {
    const std::string line(40000, 'a');
    WriteFile(server.Path("long.txt"), line + "\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(link->Download("LONG.TXT", Local("long.txt"), RFA_MODE_TEXT), RFA_OK);
    constexpr size_t kRecordLimit = 32251;  // a transmission block less the headers
    EXPECT_TRUE(SameBytes(line.substr(0, kRecordLimit) + "\r\n" + line.substr(kRecordLimit) + "\r\n",
                          ReadFile(Local("long.txt"))));
}

}  // namespace
}  // namespace e2etest
