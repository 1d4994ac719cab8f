// RfaDir against a real zeld: the exact text of brief and full listings in
// both personalities, entries that cannot be described, wildcards, nothing
// matching, and a listing too long for the list buffer.
#include <sys/stat.h>
#include <unistd.h>

#include "e2e_fixture.h"

namespace e2etest {
namespace {

constexpr time_t kFileTime = 1730692646;  // 2024-11-04 03:57:26 UTC
constexpr char kFileDate[] = "04-NOV-24 03:57:26";

class Listings : public EndToEnd {
protected:
    explicit Listings(const char* personality = "stream") : EndToEnd(ZeldOptions{personality, "", {}}) {}

    // a.txt of 6 bytes (1 block), b.bin of 1000 (2 blocks), an empty file,
    // a directory holding one file, a link leading out of the root and a
    // link to nothing, every date the same.
    void MakeTree() {
        WriteFile(server.Path("a.txt"), "hello\n");
        WriteFile(server.Path("b.bin"), std::string(1000, '\0'));
        WriteFile(server.Path("empty"), "");
        ASSERT_EQ(::mkdir(server.Path("sub").c_str(), 0755), 0);
        WriteFile(server.Path("sub/in.txt"), "x");
        ASSERT_EQ(::symlink("/etc/passwd", server.Path("out.lnk").c_str()), 0);
        ASSERT_EQ(::symlink("missing", server.Path("dangling").c_str()), 0);
        for (const char* name : {"a.txt", "b.bin", "empty", "sub/in.txt", "sub", "out.lnk", "dangling"}) {
            SetFileTime(server.Path(name), kFileTime);
        }
    }

    // The listing of `spec`, which must succeed.
    std::string ListingOf(const Link& link, uint32_t full, const std::string& spec) {
        const int32_t result = RfaDir(link.handle(), full, spec.c_str());
        EXPECT_EQ(result, RFA_OK) << spec << std::hex << " value " << link.Look().errorValue;
        return link.Listing();
    }

    std::string Header(const std::string& directory) const {
        return "Directory " + server.node() + "::ZELD:" + directory + "\r\n\r\n";
    }
};

TEST_F(Listings, BriefListingGivesEachNameWithItsBlocksOrItsError) {
    MakeTree();
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(ListingOf(*link, 0, ""), Header("/") +
                                           "'a.txt'  -F1 \r\n"
                                           "'b.bin'  -F2 \r\n"
                                           "'dangling'     -ERRORINZEL file not found\r\n"
                                           "'empty'  -F0 \r\n"
                                           "'out.lnk'     -ERRORINZEL privilege violation\r\n"
                                           "'sub'  -D0 \r\n");
    const std::vector<Notification> notifications = link->notifications();
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].status, 2u);
    EXPECT_EQ(notifications[0].spoolFile, 0);
    EXPECT_EQ(notifications[0].text, "  ");
}

TEST_F(Listings, FullListingAddsTheDateAndABlankLineToEachEntry) {
    MakeTree();
    std::unique_ptr<Link> link = Connect();
    const std::string date = std::string(kFileDate);
    EXPECT_EQ(ListingOf(*link, 1, ""), Header("/") +
                                           "'a.txt'  -F1  " + date + "\r\n\r\n"
                                           "'b.bin'  -F2  " + date + "\r\n\r\n"
                                           "'dangling'     -ERRORINZEL file not found\r\n"
                                           "'empty'  -F0  " + date + "\r\n\r\n"
                                           "'out.lnk'     -ERRORINZEL privilege violation\r\n"
                                           "'sub'  -D0  " + date + "\r\n\r\n");
}

TEST_F(Listings, ADirectoryNamedIsListedByItsContent) {
    MakeTree();
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(ListingOf(*link, 0, "sub"), Header("/sub/") + "'in.txt'  -F1 \r\n");
}

TEST_F(Listings, WildcardsListOnlyTheMatchingNames) {
    MakeTree();
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(ListingOf(*link, 1, "*.txt"), Header("/") + "'a.txt'  -F1  " + kFileDate + "\r\n\r\n");
    EXPECT_EQ(ListingOf(*link, 0, "%.bin"), Header("/") + "'b.bin'  -F2 \r\n");
}

TEST_F(Listings, NothingMatchingIsFileNotFoundAndBlanksTheBuffer) {
    MakeTree();
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaDir(link->handle(), 0, "none*"), RFA_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(link->Look().errorValue, 0x00040032);
    EXPECT_EQ(link->Listing(), "  ");
    const std::vector<Notification> notifications = link->notifications();
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].status, 0u);
    EXPECT_EQ(notifications[0].text, "");
}

TEST_F(Listings, AListingLongerThanTheBufferGoesWholeToASpoolFile) {
    std::string expected = Header("/");
    for (int i = 0; i < 20; ++i) {
        const std::string name = "file" + std::to_string(10 + i);
        WriteFile(server.Path(name), "");
        expected += "'" + name + "'  -F0 \r\n";
    }
    static char small[200];
    ZelInit(small, sizeof small);
    ScratchDir temporary;
    ::setenv("TMPDIR", temporary.path().c_str(), 1);
    std::unique_ptr<Link> link = Connect();
    const int32_t result = RfaDir(link->handle(), 0, "");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(result, RFA_OK);
    const std::vector<Notification> notifications = link->notifications();
    ASSERT_EQ(notifications.size(), 1u);
    ASSERT_NE(notifications[0].spoolFile, 0);
    const std::string spoolName = notifications[0].text;
    EXPECT_EQ(spoolName.rfind(temporary.path() + "/QRX", 0), 0u) << spoolName;
    struct stat info {};
    ASSERT_EQ(::stat(spoolName.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(link->Listing(), expected);  // reads and removes the spool file
    // The buffer keeps the last complete text that fitted.
    const std::string kept(small);
    EXPECT_LT(kept.size(), sizeof small);
    EXPECT_EQ(expected.rfind(kept, 0), 0u) << kept;
    link->Close();
    ZelInit(nullptr, 0);
}

class RecordListings : public Listings {
protected:
    RecordListings() : Listings("records") {}
};

TEST_F(RecordListings, BriefListingGivesUpperCaseVersionedNamesWithoutSizes) {
    MakeTree();
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(ListingOf(*link, 0, ""), Header("[000000]") +
                                           "'A.TXT;1' \r\n"
                                           "'B.BIN;1' \r\n"
                                           "'DANGLING.;1'     -ERRORINZEL file not found\r\n"
                                           "'EMPTY.;1' \r\n"
                                           "'OUT.LNK;1'     -ERRORINZEL privilege violation\r\n"
                                           "'SUB.DIR;1' \r\n");
}

TEST_F(RecordListings, FullListingGivesSizesAndDatesAndDirectoriesByTheirDirName) {
    MakeTree();
    std::unique_ptr<Link> link = Connect();
    const std::string date = std::string(kFileDate);
    EXPECT_EQ(ListingOf(*link, 1, ""), Header("[000000]") +
                                           "'A.TXT;1'  -F1  " + date + "\r\n\r\n"
                                           "'B.BIN;1'  -F2  " + date + "\r\n\r\n"
                                           "'DANGLING.;1'     -ERRORINZEL file not found\r\n"
                                           "'EMPTY.;1'  -F0  " + date + "\r\n\r\n"
                                           "'OUT.LNK;1'     -ERRORINZEL privilege violation\r\n"
                                           "'SUB.DIR;1'  -D0  " + date + "\r\n\r\n");
}

TEST_F(RecordListings, ASubdirectoryIsNamedInBracketsEitherWayItIsGiven) {
    MakeTree();
    std::unique_ptr<Link> link = Connect();
    const std::string expected = Header("[SUB]") + "'IN.TXT;1' \r\n";
    EXPECT_EQ(ListingOf(*link, 0, "[SUB]"), expected);
    EXPECT_EQ(ListingOf(*link, 0, "sub"), expected);
    EXPECT_EQ(ListingOf(*link, 0, "[SUB]*.*;*"), expected);
}

TEST_F(RecordListings, WildcardsMatchWithoutRegardToCase) {
    MakeTree();
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(ListingOf(*link, 1, "*.txt"), Header("[000000]") + "'A.TXT;1'  -F1  " + kFileDate + "\r\n\r\n");
}

}  // namespace
}  // namespace e2etest
