// RfaDelete, RfaRename, RfaMd, RfaRd, RfaPrint, RfaSubmit and RfaProtection
// against a real zeld with print and submit spool directories, in both
// personalities.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "e2e_fixture.h"

namespace e2etest {
namespace {

namespace fs = std::filesystem;

// Protection access bits: a set bit denies.
constexpr uint32_t kNoRead = 0x01, kNoWrite = 0x02, kNoExecute = 0x04, kNoDelete = 0x08;
constexpr uint32_t kAllFields =
    RFA_PROT_OWNER | RFA_PROT_SYSTEM | RFA_PROT_OWNER_ACCESS | RFA_PROT_GROUP | RFA_PROT_WORLD;

std::string ThisUser() {
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr ? entry->pw_name : std::to_string(::getuid());
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// The spool directories exist before the server that is told about them.
struct SpoolDirectories {
    ScratchDir printed;
    ScratchDir submitted;
};

class Commands : protected SpoolDirectories, public EndToEnd {
protected:
    explicit Commands(const char* personality = "stream")
        : EndToEnd(ZeldOptions{personality,
                               "",
                               {"--print-spool", printed.path(), "--submit-spool", submitted.path()}}) {}

    // Everything a spool directory holds, joined.
    static std::string Spooled(const ScratchDir& directory) {
        std::string content;
        for (const std::string& name : DirectoryNames(directory.path())) content += ReadFile(directory / name);
        return content;
    }
};

TEST_F(Commands, DeleteRemovesTheFileAndAMissingOneIsFileNotFound) {
    WriteFile(server.Path("a.txt"), "a");
    WriteFile(server.Path("b.txt"), "b");
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaDelete(link->handle(), "a.txt"), RFA_OK);
    EXPECT_EQ(DirectoryNames(server.root()), std::vector<std::string>{"b.txt"});
    EXPECT_EQ(RfaDelete(link->handle(), "a.txt"), RFA_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(link->Look().errorValue, 0x00040032);
    const std::vector<Notification> notifications = link->notifications();
    ASSERT_EQ(notifications.size(), 2u);
    EXPECT_EQ(notifications[0].status, 2u);
    EXPECT_EQ(notifications[1].status, 0u);
}

TEST_F(Commands, DeleteWithAWildcardRemovesEveryMatchingFile) {
    WriteFile(server.Path("x1.tmp"), "1");
    WriteFile(server.Path("x2.tmp"), "2");
    WriteFile(server.Path("keep.txt"), "k");
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaDelete(link->handle(), "*.tmp"), RFA_OK);
    EXPECT_EQ(DirectoryNames(server.root()), std::vector<std::string>{"keep.txt"});
}

TEST_F(Commands, RenameMovesTheFileButNeverOntoAnother) {
    WriteFile(server.Path("old.txt"), "content");
    WriteFile(server.Path("taken.txt"), "taken");
    ASSERT_EQ(::mkdir(server.Path("sub").c_str(), 0755), 0);
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaRename(link->handle(), "old.txt", "sub/new.txt"), RFA_OK);
    EXPECT_FALSE(fs::exists(server.Path("old.txt")));
    EXPECT_EQ(ReadFile(server.Path("sub/new.txt")), "content");
    // A file in the way is kept: "file exists" is not one of the mapped statuses.
    EXPECT_EQ(RfaRename(link->handle(), "sub/new.txt", "taken.txt"), RFA_ERR_PROTOCOL);
    EXPECT_EQ(link->Look().errorValue, 0x0004002D);
    EXPECT_EQ(ReadFile(server.Path("sub/new.txt")), "content");
    EXPECT_EQ(ReadFile(server.Path("taken.txt")), "taken");
}

TEST_F(Commands, MdCreatesADirectoryAndRdRemovesItOnlyWhenEmpty) {
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaMd(link->handle(), "made"), RFA_OK);
    EXPECT_TRUE(fs::is_directory(server.Path("made")));
    EXPECT_EQ(RfaMd(link->handle(), "made"), RFA_ERR_PROTOCOL);  // exists
    EXPECT_EQ(link->Look().errorValue, 0x0004002D);
    WriteFile(server.Path("made/inside.txt"), "x");
    EXPECT_EQ(RfaRd(link->handle(), "made"), RFA_ERR_FILE_PROTECTED);
    EXPECT_TRUE(fs::exists(server.Path("made/inside.txt")));
    ASSERT_EQ(::unlink(server.Path("made/inside.txt").c_str()), 0);
    EXPECT_EQ(RfaRd(link->handle(), "made"), RFA_OK);
    EXPECT_FALSE(fs::exists(server.Path("made")));
    EXPECT_EQ(RfaRd(link->handle(), "made"), RFA_ERR_FILE_NOT_FOUND);
}

TEST_F(Commands, PrintHandsACopyOfTheFileToThePrintSpool) {
    WriteFile(server.Path("doc.txt"), "to be printed\n");
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaPrint(link->handle(), "doc.txt"), RFA_OK);
    EXPECT_EQ(Spooled(printed), "to be printed\n");
    EXPECT_EQ(Spooled(submitted), "");
    EXPECT_EQ(ReadFile(server.Path("doc.txt")), "to be printed\n");
    EXPECT_EQ(RfaPrint(link->handle(), "missing.txt"), RFA_ERR_FILE_NOT_FOUND);
}

TEST_F(Commands, SubmitHandsACopyOfTheFileToTheSubmitSpool) {
    WriteFile(server.Path("job.com"), "$ run\n");
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaSubmit(link->handle(), "job.com"), RFA_OK);
    EXPECT_EQ(Spooled(submitted), "$ run\n");
    EXPECT_EQ(Spooled(printed), "");
}

TEST_F(Commands, ProtectionReadGivesTheOwnerAndTheAccessOfTheFileMode) {
    WriteFile(server.Path("p.txt"), "p");
    ASSERT_EQ(::chmod(server.Path("p.txt").c_str(), 0640), 0);
    std::unique_ptr<Link> link = Connect();
    RfaProtectionRecord record{};
    EXPECT_EQ(RfaProtection(link->handle(), "p.txt", &record, 0), RFA_OK);
    EXPECT_EQ(record.present, kAllFields);
    EXPECT_EQ(std::string(record.owner), ThisUser());
    EXPECT_EQ(record.ownerAccess, kNoExecute);                          // rw-
    EXPECT_EQ(record.system, kNoExecute);                               // as the owner
    EXPECT_EQ(record.group, kNoWrite | kNoExecute | kNoDelete);         // r--
    EXPECT_EQ(record.world, kNoRead | kNoWrite | kNoExecute | kNoDelete);  // ---
}

TEST_F(Commands, ProtectionSetChangesTheClassesGivenAndIsReadBack) {
    WriteFile(server.Path("p.txt"), "p");
    ASSERT_EQ(::chmod(server.Path("p.txt").c_str(), 0600), 0);
    std::unique_ptr<Link> link = Connect();
    RfaProtectionRecord change{};
    change.present = RFA_PROT_GROUP | RFA_PROT_WORLD;
    change.group = kNoWrite | kNoDelete;                     // r-x
    change.world = kNoWrite | kNoDelete | kNoExecute;        // r--
    EXPECT_EQ(RfaProtection(link->handle(), "p.txt", &change, 1), RFA_OK);
    EXPECT_EQ(ModeOf(server.Path("p.txt")), 0654u);  // the owner's class untouched
    RfaProtectionRecord read{};
    EXPECT_EQ(RfaProtection(link->handle(), "p.txt", &read, 0), RFA_OK);
    EXPECT_EQ(read.group, kNoWrite | kNoDelete);
    EXPECT_EQ(read.world, kNoWrite | kNoDelete | kNoExecute);
}

TEST_F(Commands, ProtectionCannotGiveTheFileToAnotherOwner) {
    WriteFile(server.Path("p.txt"), "p");
    ASSERT_EQ(::chmod(server.Path("p.txt").c_str(), 0600), 0);
    std::unique_ptr<Link> link = Connect();
    RfaProtectionRecord change{};
    change.present = RFA_PROT_OWNER | RFA_PROT_WORLD;
    std::snprintf(change.owner, sizeof change.owner, "%s", "nobody-else");
    EXPECT_EQ(RfaProtection(link->handle(), "p.txt", &change, 1), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(ModeOf(server.Path("p.txt")), 0600u);
    // Naming the present owner is no change, and the rest is done.
    std::snprintf(change.owner, sizeof change.owner, "%s", ThisUser().c_str());
    change.world = kNoWrite | kNoDelete | kNoExecute;
    EXPECT_EQ(RfaProtection(link->handle(), "p.txt", &change, 1), RFA_OK);
    EXPECT_EQ(ModeOf(server.Path("p.txt")), 0604u);
}

class PlainServerCommands : public EndToEnd {};

TEST_F(PlainServerCommands, PrintAndSubmitWithoutASpoolAreNotSupportedAndSendNothing) {
    WriteFile(server.Path("doc.txt"), "doc");
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaPrint(link->handle(), "doc.txt"), RFA_ERR_UNSUPPORTED);
    EXPECT_EQ(RfaSubmit(link->handle(), "doc.txt"), RFA_ERR_UNSUPPORTED);
    EXPECT_EQ(link->Look().transferCount, 0u);
}

// records: the same commands with names in the bracketed form, matched
// without regard to case; directories are NAME.DIR.
class RecordCommands : public Commands {
protected:
    RecordCommands() : Commands("records") {}
};

TEST_F(RecordCommands, DeleteAndRenameTakeBracketedNamesWithVersions) {
    WriteFile(server.Path("a.txt"), "a");
    WriteFile(server.Path("old.txt"), "content");
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaDelete(link->handle(), "[000000]A.TXT;1"), RFA_OK);
    EXPECT_FALSE(fs::exists(server.Path("a.txt")));
    EXPECT_EQ(RfaRename(link->handle(), "[000000]OLD.TXT;1", "[000000]new.txt"), RFA_OK);
    EXPECT_EQ(DirectoryNames(server.root()), std::vector<std::string>{"new.txt"});
    EXPECT_EQ(ReadFile(server.Path("new.txt")), "content");
}

TEST_F(RecordCommands, MdAndRdTakeADirectoryInBrackets) {
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaMd(link->handle(), "[MADE]"), RFA_OK);
    EXPECT_TRUE(fs::is_directory(server.Path("MADE")));
    EXPECT_EQ(RfaMd(link->handle(), "[MADE.INNER]"), RFA_OK);
    EXPECT_TRUE(fs::is_directory(server.Path("MADE/INNER")));
    EXPECT_EQ(RfaRd(link->handle(), "[MADE]INNER.DIR;1"), RFA_OK);
    EXPECT_EQ(RfaRd(link->handle(), "[MADE]"), RFA_OK);
    EXPECT_TRUE(DirectoryNames(server.root()).empty());
}

TEST_F(RecordCommands, PrintSubmitAndProtectionFindTheFileByItsRecordName) {
    WriteFile(server.Path("doc.txt"), "printed\n");
    ASSERT_EQ(::chmod(server.Path("doc.txt").c_str(), 0644), 0);
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaPrint(link->handle(), "[000000]DOC.TXT;1"), RFA_OK);
    EXPECT_EQ(RfaSubmit(link->handle(), "DOC.TXT"), RFA_OK);
    EXPECT_EQ(Spooled(printed), "printed\n");
    EXPECT_EQ(Spooled(submitted), "printed\n");
    RfaProtectionRecord record{};
    EXPECT_EQ(RfaProtection(link->handle(), "[000000]DOC.TXT;1", &record, 0), RFA_OK);
    EXPECT_EQ(record.world, kNoWrite | kNoExecute | kNoDelete);  // r--
    RfaProtectionRecord change{};
    change.present = RFA_PROT_WORLD;
    change.world = kNoRead | kNoWrite | kNoExecute | kNoDelete;
    EXPECT_EQ(RfaProtection(link->handle(), "DOC.TXT", &change, 1), RFA_OK);
    EXPECT_EQ(ModeOf(server.Path("doc.txt")), 0640u);
}

}  // namespace
}  // namespace e2etest
