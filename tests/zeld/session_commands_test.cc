// The single-request commands as the client sends them: delete, md, rd,
// rename, protection read and set, print and submit; each answered by an
// Access Complete, or by a Status that the client maps to its error.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "wire/message_types.h"
#include "zeld/protection.h"
#include "zeld_harness.h"

namespace zeldtest {
namespace {

using zeltest::ReadFile;
using zeltest::WriteFile;
constexpr uint8_t C = wire::kAccessComplete;

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

class SessionCommands : public ::testing::Test {
protected:
    void SetUp() override {
        harness.Configure();
        WriteFile(harness.Path("a.txt"), "a");
        WriteFile(harness.Path("b.tmp"), "b");
        WriteFile(harness.Path("c.tmp"), "c");
        ASSERT_EQ(::mkdir(harness.Path("sub").c_str(), 0755), 0);
    }
    std::vector<uint16_t> Command(const Bytes& block) {
        const auto reply = harness.Send(block);
        last = Types(reply);
        return Statuses(reply);
    }
    SessionHarness harness;
    std::vector<uint8_t> last;
};

TEST_F(SessionCommands, DeleteRemovesOneFileOrEveryMatchAndReportsAMissingFile) {
    EXPECT_TRUE(Command(client::Access(4, "a.txt", 2, client::Display31())).empty());
    EXPECT_EQ(last, (std::vector<uint8_t>{C}));
    EXPECT_FALSE(Exists(harness.Path("a.txt")));
    EXPECT_EQ(Command(client::Access(4, "a.txt", 2, client::Display31())), (std::vector<uint16_t>{0x4032}));
    EXPECT_TRUE(Command(client::Access(4, "*.tmp", 2, client::Display31())).empty());
    EXPECT_FALSE(Exists(harness.Path("b.tmp")));
    EXPECT_FALSE(Exists(harness.Path("c.tmp")));
    EXPECT_TRUE(Exists(harness.Path("sub")));  // a wildcard never takes a directory
}

TEST_F(SessionCommands, AFileTheServerMayNotWriteIsNotDeletedAloneOrByWildcard) {
    // Mode 0444 denies writing and deleting to every class (the server's
    // protection says so), whoever the server runs as.
    ASSERT_EQ(::chmod(harness.Path("b.tmp").c_str(), 0444), 0);
    EXPECT_EQ(Command(client::Access(4, "b.tmp", 2, client::Display31())), (std::vector<uint16_t>{0x4025}));
    EXPECT_TRUE(Exists(harness.Path("b.tmp")));
    // A wildcard deletes the others and then reports the one it left.
    EXPECT_EQ(Command(client::Access(4, "*.tmp", 2, client::Display31())), (std::vector<uint16_t>{0x4025}));
    EXPECT_TRUE(Exists(harness.Path("b.tmp")));
    EXPECT_FALSE(Exists(harness.Path("c.tmp")));
    EXPECT_EQ(ReadFile(harness.Path("b.tmp")), "b");
}

TEST_F(SessionCommands, ADeleteOfADirectoryNameNeverTakesAFileOfThatName) {
    EXPECT_EQ(Command(client::Access(4, "a.txt/", 2, client::Display31())), (std::vector<uint16_t>{0x4020}));
    EXPECT_TRUE(Exists(harness.Path("a.txt")));
    // A bracket inside a name is part of it: "sub[x]" is no directory "x".
    ASSERT_EQ(::mkdir(harness.Path("x").c_str(), 0755), 0);
    EXPECT_EQ(Command(client::Access(4, "sub[x]", 2, client::Display31())), (std::vector<uint16_t>{0x4032}));
    EXPECT_TRUE(Exists(harness.Path("x")));
}

TEST_F(SessionCommands, MdAndRdMakeAndRemoveDirectoriesInBothForms) {
    EXPECT_TRUE(Command(client::Attributes() + client::Access(2, "[NEWDIR]", 2, client::Display31())).empty());
    EXPECT_EQ(last, (std::vector<uint8_t>{C}));
    EXPECT_TRUE(Exists(harness.Path("NEWDIR")));
    EXPECT_TRUE(Command(client::Attributes() + client::Access(2, "sub/deeper", 2, client::Display31())).empty());
    EXPECT_TRUE(Exists(harness.Path("sub/deeper")));
    // Already there: "file exists"; parent missing: "directory not found".
    EXPECT_EQ(Command(client::Attributes() + client::Access(2, "sub", 2, client::Display31())),
              (std::vector<uint16_t>{0x402D}));
    EXPECT_EQ(Command(client::Attributes() + client::Access(2, "no/such", 2, client::Display31())),
              (std::vector<uint16_t>{0x4020}));
    // Rd is a delete of the directory; one that is not empty is protected.
    EXPECT_EQ(Command(client::Access(4, "[sub]", 2, client::Display31())), (std::vector<uint16_t>{0x4025}));
    EXPECT_TRUE(Command(client::Access(4, "[sub.deeper]", 2, client::Display31())).empty());
    EXPECT_TRUE(Command(client::Access(4, "sub/", 2, client::Display31())).empty());
    EXPECT_FALSE(Exists(harness.Path("sub")));
}

TEST_F(SessionCommands, RenameIsAnsweredOnlyAfterTheNameAndNeverReplacesAFile) {
    EXPECT_TRUE(harness.Send(client::RenameAccess("a.txt")).empty());
    EXPECT_TRUE(Command(client::Name("sub/moved.txt")).empty());
    EXPECT_EQ(last, (std::vector<uint8_t>{C}));
    EXPECT_EQ(ReadFile(harness.Path("sub/moved.txt")), "a");
    EXPECT_FALSE(Exists(harness.Path("a.txt")));

    harness.Send(client::RenameAccess("b.tmp"));
    EXPECT_EQ(Command(client::Name("c.tmp")), (std::vector<uint16_t>{0x402D}));
    EXPECT_EQ(ReadFile(harness.Path("c.tmp")), "c");
    harness.Send(client::RenameAccess("missing"));
    EXPECT_EQ(Command(client::Name("x")), (std::vector<uint16_t>{0x4032}));
    harness.Send(client::RenameAccess("b.tmp"));
    EXPECT_EQ(Command(client::Name("../b.tmp")), (std::vector<uint16_t>{0x4055}));
}

TEST_F(SessionCommands, ProtectionIsReadAsOwnerAndDenyBitsPerClass) {
    ASSERT_EQ(::chmod(harness.Path("a.txt").c_str(), 0640), 0);
    const auto reply = harness.Send(client::Attributes() + client::Access(1, "a.txt", 2, client::Display31()));
    ASSERT_EQ(reply.size(), 4u);
    ASSERT_EQ(reply[2].type, wire::kProtection);
    const std::string owner = zeld::OwnerName(::geteuid());
    // System and owner: no execute (0x04); group: no write, delete, execute
    // (0x0E); world: nothing (0x0F).
    const Bytes expected = Bytes{0x1F, static_cast<uint8_t>(owner.size())} + Text(owner) + Bytes{0x04, 0x04, 0x0E, 0x0F};
    EXPECT_EQ(reply[2].body, expected);
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{C}));
}

TEST_F(SessionCommands, ProtectionIsSetAfterTheConnectAndTheChangeMessages) {
    ASSERT_EQ(harness.Send(client::Attributes() + client::Access(1, "a.txt", 3, client::Display31())).back().type,
              wire::kAcknowledge);
    ASSERT_EQ(Types(harness.Send(client::ControlConnect())), (std::vector<uint8_t>{wire::kAcknowledge}));
    // Access Complete 6 alone is not answered; Protection and Access Complete 7 are.
    EXPECT_TRUE(harness.Send(client::AccessComplete({0x06})).empty());
    // Owner: everything but execute; group: read only; world: nothing.
    const auto reply =
        harness.Send(client::Protection({0x1C, 0x04, 0x0E, 0x0F}) + client::AccessComplete({0x07}));
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{C}));
    struct stat info;
    ASSERT_EQ(::stat(harness.Path("a.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(SessionCommands, ProtectionChangeKeepsWhatAnotherSessionChangedInTheClassesNotNamed) {
    ASSERT_EQ(::chmod(harness.Path("a.txt").c_str(), 0600), 0);
    harness.Send(client::Attributes() + client::Access(1, "a.txt", 3, client::Display31()));
    harness.Send(client::ControlConnect());
    // Meanwhile the group is given write access from elsewhere.
    ASSERT_EQ(::chmod(harness.Path("a.txt").c_str(), 0660), 0);
    ASSERT_TRUE(harness.Send(client::AccessComplete({0x06})).empty());
    // Only the owner's access is named: read and write.
    EXPECT_EQ(Types(harness.Send(client::Protection({0x04, 0x04}) + client::AccessComplete({0x07}))),
              (std::vector<uint8_t>{C}));
    struct stat info;
    ASSERT_EQ(::stat(harness.Path("a.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0660u);
}

TEST_F(SessionCommands, ProtectionIsSetOnAFileWhoseRecordsWereRead) {
    ASSERT_EQ(::chmod(harness.Path("a.txt").c_str(), 0644), 0);
    harness.Send(client::Attributes() + client::Access(1, "a.txt", 3, client::Display31()));
    harness.Send(client::ControlConnect());
    ASSERT_EQ(Statuses(harness.Send(client::ControlCopy(1))), (std::vector<uint16_t>{0x5027}));  // end of file
    // The file is still open: the change is taken as after the connect.
    EXPECT_TRUE(harness.Send(client::AccessComplete({0x06})).empty());
    EXPECT_EQ(Types(harness.Send(client::Protection({0x1C, 0x04, 0x0E, 0x0F}) + client::AccessComplete({0x07}))),
              (std::vector<uint8_t>{C}));
    struct stat info;
    ASSERT_EQ(::stat(harness.Path("a.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_NE(harness.log().find("op=set-protection file=\"a.txt\" outcome=ok"), std::string::npos) << harness.log();
}

TEST_F(SessionCommands, ProtectionChangeEndedOtherwiseThanByItsLastStepChangesNothingAndIsNoSuccess) {
    ASSERT_EQ(::chmod(harness.Path("a.txt").c_str(), 0644), 0);
    const auto begin = [&] {
        harness.Send(client::Attributes() + client::Access(1, "a.txt", 3, client::Display31()));
        harness.Send(client::ControlConnect());
        ASSERT_TRUE(harness.Send(client::AccessComplete({0x06})).empty());
    };
    // The client's abort (CMPFUNC 1) is answered; nothing was changed.
    begin();
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{C}));
    // Any other function is out of order.
    begin();
    EXPECT_EQ(Statuses(harness.Send(client::AccessComplete({0x06}))), (std::vector<uint16_t>{0xA1C0}));
    struct stat info;
    ASSERT_EQ(::stat(harness.Path("a.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    const std::string log = harness.log();
    EXPECT_NE(log.find("op=set-protection file=\"a.txt\" outcome=aborted"), std::string::npos) << log;
    EXPECT_NE(log.find("op=set-protection file=\"a.txt\" outcome=failed-A1C0"), std::string::npos) << log;
    EXPECT_EQ(log.find("outcome=ok"), std::string::npos) << log;
}

TEST_F(SessionCommands, ALinkToTheRootOpensAsADirectoryWhoseProtectionIsNeverChanged) {
    ASSERT_EQ(::symlink(".", harness.Path("self").c_str()), 0);
    struct stat before;
    ASSERT_EQ(::stat(harness.root().c_str(), &before), 0);
    const auto opened = harness.Send(client::Attributes() + client::Access(1, "self", 3, client::Display31()));
    EXPECT_EQ(Types(opened), (std::vector<uint8_t>{wire::kAttributes, wire::kDateAndTime, wire::kProtection,
                                                   wire::kAcknowledge}));
    ASSERT_EQ(Types(harness.Send(client::ControlConnect())), (std::vector<uint8_t>{wire::kAcknowledge}));
    EXPECT_TRUE(harness.Send(client::AccessComplete({0x06})).empty());
    EXPECT_EQ(Statuses(harness.Send(client::Protection({0x1C, 0x0F, 0x0F, 0x0F}) + client::AccessComplete({0x07}))),
              (std::vector<uint16_t>{0x4055}));
    struct stat after;
    ASSERT_EQ(::stat(harness.root().c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
}

TEST_F(SessionCommands, ReadOnlyServerRefusesEveryChange) {
    SessionHarness readOnly(zeld::Personality::kStream, true);
    readOnly.Configure();
    WriteFile(readOnly.Path("a.txt"), "a");
    const std::vector<uint16_t> privilege{0x4055};
    EXPECT_EQ(Statuses(readOnly.Send(client::Access(4, "a.txt", 2, client::Display31()))), privilege);
    EXPECT_EQ(Statuses(readOnly.Send(client::Attributes() + client::Access(2, "[D]", 2, client::Display31()))),
              privilege);
    EXPECT_EQ(Statuses(readOnly.Send(client::Attributes() + client::Access(2, "new", 1, client::Display91()))),
              privilege);
    readOnly.Send(client::RenameAccess("a.txt"));
    EXPECT_EQ(Statuses(readOnly.Send(client::Name("b.txt"))), privilege);
    // Protection set and records written: refused at the closing Access Complete.
    readOnly.Send(client::Attributes() + client::Access(1, "a.txt", 3, client::Display31()));
    readOnly.Send(client::ControlConnect());
    readOnly.Send(client::AccessComplete({0x06}));
    EXPECT_EQ(Statuses(readOnly.Send(client::Protection({0x10, 0x00}) + client::AccessComplete({0x07}))), privilege);
    readOnly.Send(client::Attributes() + client::Access(1, "a.txt", 3, client::Display31()));
    readOnly.Send(client::ControlConnect());
    EXPECT_TRUE(readOnly.Send(client::ControlWrite(64)).empty());
    EXPECT_TRUE(readOnly.Send(client::Data(Text("more"))).empty());
    EXPECT_EQ(Statuses(readOnly.Send(client::AccessComplete({0x01}))), privilege);
    EXPECT_EQ(ReadFile(readOnly.Path("a.txt")), "a");
    EXPECT_FALSE(Exists(readOnly.Path("new")));
    // Reading goes on as before.
    EXPECT_EQ(readOnly.Send(client::Attributes() + client::Access(1, "a.txt", 2, client::Display91())).back().type,
              wire::kAcknowledge);
}

TEST_F(SessionCommands, PrintAndSubmitHandTheFileToTheirSpoolDirectories) {
    zeltest::ScratchDir printQueue;
    zeltest::ScratchDir submitQueue;
    std::string error;
    auto printer = zeld::Spooler::ForDirectory(printQueue.path(), &error);
    auto submitter = zeld::Spooler::ForDirectory(submitQueue.path(), &error);
    harness.SetSpoolers(printer.get(), submitter.get());
    harness.Configure();

    ASSERT_EQ(harness.Send(client::Attributes(false, true) + client::Access(1, "a.txt", 2, client::Display91()))
                  .back()
                  .type,
              wire::kAcknowledge);
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x40}))), (std::vector<uint8_t>{C}));
    EXPECT_EQ(ReadFile(printQueue / "a.txt"), "a");

    EXPECT_TRUE(Command(client::Access(8, "b.tmp", 2, client::Display31())).empty());
    EXPECT_EQ(last, (std::vector<uint8_t>{C}));
    EXPECT_EQ(ReadFile(submitQueue / "b.tmp"), "b");
    // A second job of the same name does not replace the first.
    Command(client::Access(8, "b.tmp", 2, client::Display31()));
    EXPECT_EQ(ReadFile(submitQueue / "b.tmp.1"), "b");
}

TEST_F(SessionCommands, SubmitWithoutAConfiguredSpoolerIsUnsupported) {
    // MACCODE 2, Access message (3), ACCFUNC (field 16).
    EXPECT_EQ(Command(client::Access(8, "a.txt", 2, client::Display31())), (std::vector<uint16_t>{0x20D0}));
}

}  // namespace
}  // namespace zeldtest
