// Directory listings as the client reads them: volume and directory
// names first, then per entry a Name, Attributes (sizes, the directory
// flag), Date and Time and Protection when asked, and an Acknowledge; an
// entry that cannot be described gets a Status and waits for the client's
// Continue Transfer; the listing ends with an Access Complete.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "wire/message_types.h"
#include "zeld/tree.h"
#include "zeld_harness.h"

namespace zeldtest {
namespace {

using zeltest::WriteFile;
constexpr uint8_t N = wire::kName, A = wire::kAttributes, D = wire::kDateAndTime, P = wire::kProtection,
                  K = wire::kAcknowledge, S = wire::kStatus, C = wire::kAccessComplete;

std::vector<std::string> Names(const std::vector<Message>& messages) {
    std::vector<std::string> names;
    for (const Message& message : messages) {
        if (message.type == wire::kName) {
            names.push_back(std::to_string(message.body[0]) + ":" +
                            std::string(message.body.begin() + 2, message.body.end()));
        }
    }
    return names;
}

// BUFSIZ 256: the smallest buffer a client may have.
void ConfigureSmallestBuffer(SessionHarness& harness) {
    Bytes configuration = client::Configuration();
    configuration[2] = 0x00;
    configuration[3] = 0x01;
    harness.Send(configuration);
}

class SessionListing : public ::testing::Test {
protected:
    void SetUp() override {
        harness.Configure();
        WriteFile(harness.Path("b.txt"), std::string(1000, 'b'));
        WriteFile(harness.Path("a.txt"), "");
        ASSERT_EQ(::mkdir(harness.Path("sub").c_str(), 0755), 0);
        WriteFile(harness.Path("sub/inner.txt"), std::string(1024, 'i'));
    }
    SessionHarness harness;
};

TEST_F(SessionListing, BriefListingOfTheRootNamesEveryEntryWithItsSize) {
    const auto reply = harness.Send(client::Access(6, "", 2, {0x01}));
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{N, N, N, A, K, N, A, K, N, A, K, C}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"8:ZELD:", "4:/", "2:a.txt", "2:b.txt", "2:sub"}));
    // a.txt: 0 bytes (EBK 1, FFB 0); b.txt: 1000 bytes (EBK 2, FFB 488);
    // sub: a directory (FOP 0x20).
    EXPECT_EQ(Hex(reply[3].body), "af 80 30 01 00 04 00 00 00 04 01 00 00 00 00 00");
    EXPECT_EQ(Hex(reply[6].body), "af 80 30 01 00 04 00 00 00 04 02 00 00 00 e8 01");
    EXPECT_EQ(Hex(reply[9].body), "af a0 30 01 00 04 00 00 00 20 04 01 00 00 00 00 00");
}

TEST_F(SessionListing, FullListingAddsDateAndProtection) {
    struct timespec times[2] = {{1730692646, 0}, {1730692646, 0}};  // 2024-11-04 03:57:26 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, harness.Path("a.txt").c_str(), times, 0), 0);
    const auto reply = harness.Send(client::Access(6, "a.txt", 2, client::Display31()));
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{N, N, N, A, D, P, K, C}));
    EXPECT_EQ(reply[4].body, Bytes{0x03} + Text("04-NOV-24 03:57:26") + Text("04-NOV-24 03:57:26"));
}

TEST_F(SessionListing, WildcardsSelectAndSubdirectoriesAreListedByName) {
    WriteFile(harness.Path("ab.dat"), "");
    auto reply = harness.Send(client::Access(6, "a*", 2, {0x01}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"8:ZELD:", "4:/", "2:a.txt", "2:ab.dat"}));
    reply = harness.Send(client::Access(6, "%.txt", 2, {0x01}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"8:ZELD:", "4:/", "2:a.txt", "2:b.txt"}));
    // A directory named without wildcard: what it holds.
    reply = harness.Send(client::Access(6, "sub", 2, {0x01}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"8:ZELD:", "4:/sub/", "2:inner.txt"}));
    reply = harness.Send(client::Access(6, "[sub]", 2, {0x01}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"8:ZELD:", "4:/sub/", "2:inner.txt"}));
}

TEST_F(SessionListing, MoreMatchesThanAListingKeepsEndItWithAFailureAndAWildcardDeleteTakesThemAll) {
    ASSERT_EQ(::mkdir(harness.Path("many").c_str(), 0755), 0);
    const int dir = ::open(harness.Path("many").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dir, 0);
    const size_t files = zeld::Tree::kMaxListed + 1;
    for (size_t i = 0; i < files; ++i) {
        const int fd = ::openat(dir, std::to_string(i).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << i;
        ::close(fd);
    }
    ::close(dir);
    const auto reply = harness.Send(client::Access(6, "many/*", 2, {0x01}));
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply.back().type, S);
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x5067}));
    EXPECT_EQ(Names(reply).size(), zeld::Tree::kMaxListed + 2);  // volume, directory, the entries kept
    harness.Send(client::AccessComplete({0x01}));  // the client's wind-down
    // The delete goes on past what one pass of the directory takes.
    EXPECT_TRUE(Statuses(harness.Send(client::Access(4, "many/*", 2, client::Display31()))).empty());
    const int emptied = ::open(harness.Path("many").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = ::fdopendir(emptied);
    ASSERT_NE(listing, nullptr);
    size_t left = 0;
    while (const dirent* entry = ::readdir(listing)) left += entry->d_name[0] != '.' ? 1 : 0;
    ::closedir(listing);
    EXPECT_EQ(left, 0u);
}

TEST_F(SessionListing, NothingMatchingIsFileNotFoundAndAMissingDirectoryIsDirectoryNotFound) {
    auto reply = harness.Send(client::Access(6, "*.none", 2, {0x01}));
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{S}));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4032}));
    // The client ends such a listing with an Access Complete.
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{C}));
    reply = harness.Send(client::Access(6, "nodir/*", 2, {0x01}));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4020}));
}

TEST_F(SessionListing, EntryLeavingTheRootGetsAStatusAndTheListingWaitsForContinueTransfer) {
    ASSERT_EQ(::symlink("/etc/passwd", harness.Path("c-out").c_str()), 0);
    ASSERT_EQ(::symlink("a.txt", harness.Path("c-in").c_str()), 0);
    ASSERT_EQ(::symlink("missing", harness.Path("c-dangling").c_str()), 0);
    // Links through a directory that is not there and through a file: also
    // "file not found", which the client notes, never a status that would
    // end the whole listing.
    ASSERT_EQ(::symlink("missing/x", harness.Path("c-through-missing").c_str()), 0);
    ASSERT_EQ(::symlink("a.txt/x", harness.Path("c-through-file").c_str()), 0);
    auto reply = harness.Send(client::Access(6, "c*", 2, {0x01}));
    // c-dangling first: its Name and "file not found".
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{N, N, N, S}));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4032}));
    // c-in: a link inside the tree, described as its target; then c-out.
    reply = harness.Send(client::ContinueTransfer(2));
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{N, A, K, N, S}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"2:c-in", "2:c-out"}));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4055}));
    for (const char* name : {"2:c-through-file", "2:c-through-missing"}) {
        reply = harness.Send(client::ContinueTransfer(2));
        EXPECT_EQ(Names(reply), (std::vector<std::string>{name}));
        EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4032}));
    }
    EXPECT_EQ(Types(harness.Send(client::ContinueTransfer(2))), (std::vector<uint8_t>{C}));
}

TEST_F(SessionListing, EntryWithAStarInItsNameBeforeAnyOtherIsDescribedRatherThanRefused) {
    // The client takes a listed name with "*" for its pattern sent back
    // until a name without one has come, and a Status behind it for the end
    // of the listing: "*old" (a link to nothing) is described as the link.
    ASSERT_EQ(::symlink("missing", harness.Path("*old").c_str()), 0);
    ASSERT_EQ(::symlink("missing", harness.Path("b*").c_str()), 0);
    auto reply = harness.Send(client::Access(6, "", 2, {0x01}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"8:ZELD:", "4:/", "2:*old", "2:a.txt", "2:b*"}));
    // After a.txt, the link b* gets its "file not found" as any entry does.
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{N, N, N, A, K, N, A, K, N, S}));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4032}));
    reply = harness.Send(client::ContinueTransfer(2));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"2:b.txt", "2:sub"}));
    EXPECT_EQ(Types(reply).back(), C);
}

TEST_F(SessionListing, ListingWhoseLinkFailsIsLoggedAsDropped) {
    ConfigureSmallestBuffer(harness);  // the entries fill several blocks
    for (int i = 0; i < 40; ++i) WriteFile(harness.Path("f" + std::to_string(i)), "");
    harness.sink.refuse = true;
    harness.Send(client::Access(6, "f*", 2, client::Display31()));
    EXPECT_TRUE(harness.session().failed());
    harness.session().Abandon("closed");
    const std::string log = harness.log();
    EXPECT_NE(log.find("op=dir file=\"f*\" outcome=dropped"), std::string::npos) << log;
    EXPECT_EQ(log.find("outcome=ok"), std::string::npos) << log;
}

TEST_F(SessionListing, NamesLongerThanTheClientsBufferAreNeverDroppedSilently) {
    ConfigureSmallestBuffer(harness);
    const std::string longName(253, 'L');  // sorted before the other entries
    WriteFile(harness.Path(longName), "");
    // The entry is listed by as much of its name as fits, as one that
    // cannot be shown; the client notes it and asks for the next.
    auto reply = harness.Send(client::Access(6, "*", 2, {0x01}));
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{N, N, N, S}));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4032}));
    ASSERT_EQ(Names(reply).size(), 3u);
    const std::string shown = Names(reply)[2].substr(2);
    EXPECT_FALSE(shown.empty());
    EXPECT_EQ(longName.compare(0, shown.size(), shown), 0);
    reply = harness.Send(client::ContinueTransfer(2));
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{N, A, K, N, A, K, N, A, K, C}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"2:a.txt", "2:b.txt", "2:sub"}));

    // A file spec too long to name when the client asks for it: the open
    // fails rather than being acknowledged without its Name.
    reply = harness.Send(client::Attributes() + client::Access(1, longName, 2, client::Display91()));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x5067}));
    EXPECT_EQ(reply.back().type, S);
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{C}));

    // A directory too long to name: the listing fails before any entry.
    const std::string deep = std::string(200, 'd') + "/" + std::string(50, 'e');  // listed as 253 characters
    ASSERT_EQ(::mkdir(harness.Path(deep.substr(0, 200)).c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(harness.Path(deep).c_str(), 0755), 0);
    WriteFile(harness.Path(deep + "/x"), "");
    reply = harness.Send(client::Access(6, deep + "/*", 2, {0x01}));
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{N, S}));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x5067}));
}

TEST_F(SessionListing, ServersTemporaryFilesAreNeverListed) {
    WriteFile(harness.Path(".zeld-abc123"), "partial");
    const auto reply = harness.Send(client::Access(6, "*", 2, {0x01}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"8:ZELD:", "4:/", "2:a.txt", "2:b.txt", "2:sub"}));
}

TEST(SessionListingRecords, NamesLongerThanANameHoldsAreNeverSentCut) {
    // A name with its version can pass the 255 bytes a Name holds while
    // the file's own name stays within the system's limit.
    SessionHarness harness(zeld::Personality::kRecords);
    harness.Configure();
    const std::string longName = std::string(250, 'l') + ".txt";  // listed with ";1": 256
    WriteFile(harness.Path(longName), "");
    WriteFile(harness.Path("short.txt"), "");
    auto reply = harness.Send(client::Access(6, "*", 2, {0x01}));
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{N, N, N, S}));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4032}));
    ASSERT_EQ(Names(reply).size(), 3u);
    EXPECT_EQ(Names(reply)[2], "2:" + std::string(250, 'L') + ".TXT;");
    reply = harness.Send(client::ContinueTransfer(2));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"2:SHORT.TXT;1"}));

}

TEST(SessionListingRecords, EntriesAreUpperCaseWithVersionsAndDirectoriesEndInDotDir) {
    SessionHarness harness(zeld::Personality::kRecords);
    harness.Configure();
    WriteFile(harness.Path("readme.txt"), "x\n");
    WriteFile(harness.Path("Makefile"), "all:\n");
    ASSERT_EQ(::mkdir(harness.Path("src").c_str(), 0755), 0);
    WriteFile(harness.Path("src/main.c"), "int main;\n");
    auto reply = harness.Send(client::Access(6, "", 2, {0x01}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"8:ZELD:", "4:[000000]", "2:MAKEFILE.;1", "2:README.TXT;1",
                                                      "2:SRC.DIR;1"}));
    reply = harness.Send(client::Access(6, "[SRC]*.C;*", 2, {0x01}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"8:ZELD:", "4:[SRC]", "2:MAIN.C;1"}));
    // A name without a type lists every type; *.DIR lists the directories.
    reply = harness.Send(client::Access(6, "README", 2, {0x01}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"8:ZELD:", "4:[000000]", "2:README.TXT;1"}));
    reply = harness.Send(client::Access(6, "*.DIR", 2, {0x01}));
    EXPECT_EQ(Names(reply), (std::vector<std::string>{"8:ZELD:", "4:[000000]", "2:SRC.DIR;1"}));
    // Text files as variable records with implied carriage control.
    EXPECT_EQ(reply[3].body[5], 2);     // RFM
    EXPECT_EQ(reply[3].body[6], 0x02);  // RAT
}

}  // namespace
}  // namespace zeldtest
