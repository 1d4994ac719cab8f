// Uploads as the client library makes them: the probe of the target, the
// create, the raw records of a stream upload, the commit at Access
// Complete, and what an upload that does not finish leaves behind.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "wire/message_types.h"
#include "zeld_harness.h"

namespace zeldtest {
namespace {

using zeltest::ReadFile;
using zeltest::WriteFile;

// The names in a directory, the server's temporary files included.
std::vector<std::string> Entries(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// The probe of a target that exists: open, connect, close.
void Probe(SessionHarness& harness, const std::string& spec) {
    ASSERT_EQ(harness.Send(client::Attributes() + client::Access(1, spec, 3, client::Display31())).back().type,
              wire::kAcknowledge);
    ASSERT_EQ(Types(harness.Send(client::ControlConnect())), (std::vector<uint8_t>{wire::kAcknowledge}));
    ASSERT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{wire::kAccessComplete}));
}

// Create, connect, the data-phase Control: the records may follow.
void Create(SessionHarness& harness, const std::string& spec, bool image = false) {
    const auto reply = harness.Send(client::Attributes(image) + client::DateAndTime("05-MAR-98 14:07:09") +
                                    client::Access(2, spec, 1, client::Display91()));
    ASSERT_EQ(Types(reply), (std::vector<uint8_t>{wire::kAttributes, wire::kDateAndTime, wire::kName,
                                                  wire::kAcknowledge}));
    ASSERT_EQ(Types(harness.Send(client::ControlConnect())), (std::vector<uint8_t>{wire::kAcknowledge}));
    ASSERT_TRUE(harness.Send(client::ControlCopy(4)).empty());
}

TEST(SessionUpload, NewTargetIsProbedCreatedWrittenByteForByteAndDated) {
    SessionHarness harness;
    harness.Configure();
    EXPECT_EQ(Statuses(harness.Send(client::Attributes() + client::Access(1, "new.bin", 3, client::Display31()))),
              (std::vector<uint16_t>{0x4032}));
    Create(harness, "new.bin");
    Bytes first(512);
    for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<uint8_t>(i);
    const Bytes second = Text("tail\r\n\x1a");
    // Several records in one block; nothing is answered while they come.
    EXPECT_TRUE(harness.Send(client::Data(first) + client::Data(second)).empty());
    // Until the Access Complete, the target does not exist.
    EXPECT_NE(::access(harness.Path("new.bin").c_str(), F_OK), 0);

    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00}))),
              (std::vector<uint8_t>{wire::kAccessComplete}));
    const std::string stored = ReadFile(harness.Path("new.bin"));
    EXPECT_EQ(stored, std::string(first.begin(), first.end()) + "tail\r\n\x1a");
    struct stat info;
    ASSERT_EQ(::stat(harness.Path("new.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 889106829);  // 1998-03-05 14:07:09 UTC
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(Entries(harness.root()), (std::vector<std::string>{"new.bin"}));
}

// Records of every size (and the line ends of a records upload) are
// gathered into the upload's buffer, which is written when full: mixed over
// many blocks, more than the buffer holds, the file holds every byte in order.
void UploadMixedRecords(zeld::Personality personality, bool asLines) {
    SessionHarness harness(personality);
    harness.Configure();
    Create(harness, "mixed.bin");
    const size_t sizes[] = {1, 511, 512, 513, 3000, 0, 100, 20000, 7};
    std::string expected;
    size_t next = 0;
    for (int block = 0; block < 120; ++block) {
        Bytes messages;
        for (int i = 0; i < 4; ++i, ++next) {
            Bytes record(sizes[next % std::size(sizes)]);
            for (size_t at = 0; at < record.size(); ++at) record[at] = static_cast<uint8_t>('A' + (next + at) % 26);
            messages = messages + client::Data(record);
            expected += std::string(record.begin(), record.end()) + (asLines ? "\n" : "");
        }
        ASSERT_TRUE(harness.Send(messages).empty());
    }
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00}))),
              (std::vector<uint8_t>{wire::kAccessComplete}));
    EXPECT_TRUE(ReadFile(harness.Path("mixed.bin")) == expected);
}

TEST(SessionUpload, LargeAndSmallRecordsMixedAreStoredInOrder) {
    UploadMixedRecords(zeld::Personality::kStream, false);
}

TEST(SessionUpload, LargeAndSmallRecordsOfATextUploadAreStoredAsLinesInOrder) {
    UploadMixedRecords(zeld::Personality::kRecords, true);
}

TEST(SessionUpload, ExistingTargetIsReplacedAndKeepsItsMode) {
    SessionHarness harness;
    harness.Configure();
    WriteFile(harness.Path("old.txt"), "the old content, longer than the new");
    ASSERT_EQ(::chmod(harness.Path("old.txt").c_str(), 0600), 0);
    Probe(harness, "old.txt");
    Create(harness, "old.txt");
    harness.Send(client::Data(Text("new")));
    harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00}));
    EXPECT_EQ(ReadFile(harness.Path("old.txt")), "new");
    struct stat info;
    ASSERT_EQ(::stat(harness.Path("old.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(SessionUpload, AFileTheServerMayNotWriteIsNotReplaced) {
    SessionHarness harness;
    harness.Configure();
    WriteFile(harness.Path("ro.txt"), "kept");
    ASSERT_EQ(::chmod(harness.Path("ro.txt").c_str(), 0444), 0);
    Probe(harness, "ro.txt");
    const auto reply = harness.Send(client::Attributes() + client::DateAndTime("05-MAR-98 14:07:09") +
                                    client::Access(2, "ro.txt", 1, client::Display91()));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4025}));
    EXPECT_EQ(ReadFile(harness.Path("ro.txt")), "kept");
}

// What another session does to the target while the records come: the
// upload is committed against the target as it is at the Access Complete.
class TargetChangedDuringTheUpload : public ::testing::Test {
protected:
    void SetUp() override { harness.Configure(); }
    // Creates `name` and sends its records; the test changes the target next.
    void Upload(const std::string& name) {
        Create(harness, name);
        harness.Send(client::Data(Text("new content")));
    }
    std::vector<uint16_t> Complete() {
        return Statuses(harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00})));
    }
    mode_t Mode(const std::string& name) const {
        struct stat info {};
        EXPECT_EQ(::stat(harness.Path(name).c_str(), &info), 0);
        return info.st_mode & 07777;
    }
    SessionHarness harness;
};

TEST_F(TargetChangedDuringTheUpload, AProtectedFileRenamedOntoANewTargetIsNotReplaced) {
    WriteFile(harness.Path("precious.txt"), "precious");
    ASSERT_EQ(::chmod(harness.Path("precious.txt").c_str(), 0444), 0);
    Upload("new.txt");
    ASSERT_EQ(::rename(harness.Path("precious.txt").c_str(), harness.Path("new.txt").c_str()), 0);
    EXPECT_EQ(Complete(), (std::vector<uint16_t>{0x4025}));
    EXPECT_EQ(ReadFile(harness.Path("new.txt")), "precious");
    EXPECT_EQ(Mode("new.txt"), 0444u);
    // The upload is gone: no temporary file, and the log tells the refusal.
    EXPECT_EQ(Entries(harness.root()), (std::vector<std::string>{"new.txt"}));
    EXPECT_NE(harness.log().find("op=upload file=\"new.txt\" outcome=failed-4025"), std::string::npos)
        << harness.log();
}

TEST_F(TargetChangedDuringTheUpload, ATargetProtectedMeanwhileIsNotReplaced) {
    WriteFile(harness.Path("x.txt"), "old");
    Upload("x.txt");
    ASSERT_EQ(::chmod(harness.Path("x.txt").c_str(), 0444), 0);
    EXPECT_EQ(Complete(), (std::vector<uint16_t>{0x4025}));
    EXPECT_EQ(ReadFile(harness.Path("x.txt")), "old");
    EXPECT_EQ(Entries(harness.root()), (std::vector<std::string>{"x.txt"}));
}

TEST_F(TargetChangedDuringTheUpload, ALinkPutInPlaceOfTheTargetIsNotReplaced) {
    WriteFile(harness.Path("other.txt"), "other");
    Upload("x.txt");
    ASSERT_EQ(::symlink("other.txt", harness.Path("x.txt").c_str()), 0);
    EXPECT_EQ(Complete(), (std::vector<uint16_t>{0x4055}));
    struct stat info {};
    ASSERT_EQ(::lstat(harness.Path("x.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(Entries(harness.root()), (std::vector<std::string>{"other.txt", "x.txt"}));
}

TEST_F(TargetChangedDuringTheUpload, TheNewContentTakesTheModeTheTargetHasAtTheEnd) {
    // Its protection changed: the new mode carries over.
    WriteFile(harness.Path("x.txt"), "old");
    ASSERT_EQ(::chmod(harness.Path("x.txt").c_str(), 0600), 0);
    Upload("x.txt");
    ASSERT_EQ(::chmod(harness.Path("x.txt").c_str(), 0640), 0);
    EXPECT_TRUE(Complete().empty());
    EXPECT_EQ(ReadFile(harness.Path("x.txt")), "new content");
    EXPECT_EQ(Mode("x.txt"), 0640u);

    // Deleted: the content is a new file's.
    ASSERT_EQ(::chmod(harness.Path("x.txt").c_str(), 0600), 0);
    Upload("x.txt");
    ASSERT_EQ(::unlink(harness.Path("x.txt").c_str()), 0);
    EXPECT_TRUE(Complete().empty());
    EXPECT_EQ(ReadFile(harness.Path("x.txt")), "new content");
    EXPECT_EQ(Mode("x.txt"), 0644u);
}

TEST(SessionUpload, ANewContentNeverKeepsTheSetUserOrGroupIdBits) {
    SessionHarness harness;
    harness.Configure();
    WriteFile(harness.Path("tool"), "#!/bin/sh\n");
    ASSERT_EQ(::chmod(harness.Path("tool").c_str(), 06755), 0);
    Probe(harness, "tool");
    Create(harness, "tool");
    harness.Send(client::Data(Text("echo replaced")));
    harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00}));
    EXPECT_EQ(ReadFile(harness.Path("tool")), "echo replaced");
    struct stat info;
    ASSERT_EQ(::stat(harness.Path("tool").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
}

TEST(SessionUpload, EmptyFileIsCreatedEmpty) {
    SessionHarness harness;
    harness.Configure();
    Create(harness, "empty");
    harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00}));
    struct stat info;
    ASSERT_EQ(::stat(harness.Path("empty").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 0);
}

TEST(SessionUpload, AnUploadClosedBeforeItsRecordsIsGivenUpNeverClosedAsAnOpenedFile) {
    // An upload's create and connect, then an Access Complete without the
    // data-phase Control: nothing was opened, so nothing is printed, no
    // protection changes, nothing is stored, and the log does not say ok.
    SessionHarness harness;
    zeltest::ScratchDir spool;
    const std::string printed = spool / "printed";
    auto printer = zeld::Spooler::ForCommand({"sh", "-c", "printf '%s\\n' \"$0\" >> \"" + printed + "\""});
    harness.SetSpoolers(printer.get(), nullptr);
    harness.Configure();
    const auto connect = [&](const std::string& spec) {
        ASSERT_EQ(harness.Send(client::Attributes() + client::Access(2, spec, 1, client::Display91())).back().type,
                  wire::kAcknowledge);
        ASSERT_EQ(Types(harness.Send(client::ControlConnect())), (std::vector<uint8_t>{wire::kAcknowledge}));
    };
    const std::vector<uint8_t> closed{wire::kAccessComplete};

    connect("printed.txt");
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x40}))), closed);
    EXPECT_NE(::access(printed.c_str(), F_OK), 0) << ReadFile(printed);

    connect("closed.txt");
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), closed);

    // A protection change is no part of an upload: its first Access
    // Complete ends the access, and what follows finds nothing open.
    struct stat before;
    ASSERT_EQ(::stat(harness.root().c_str(), &before), 0);
    connect("changed.txt");
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x06}))), closed);
    EXPECT_EQ(Types(harness.Send(client::Protection({0x10, 0x00}) + client::AccessComplete({0x07}))), closed);
    struct stat after;
    ASSERT_EQ(::stat(harness.root().c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);

    EXPECT_TRUE(Entries(harness.root()).empty());
    const std::string log = harness.log();
    for (const char* spec : {"printed.txt", "closed.txt", "changed.txt"}) {
        EXPECT_NE(log.find("op=upload file=\"" + std::string(spec) + "\" outcome=abandoned"), std::string::npos) << log;
    }
    EXPECT_EQ(log.find("outcome=ok"), std::string::npos) << log;
}

TEST(SessionUpload, UnfinishedUploadLeavesTheOldTargetAndNoTemporaryFile) {
    SessionHarness harness;
    harness.Configure();
    WriteFile(harness.Path("keep.txt"), "old");
    Create(harness, "keep.txt");
    harness.Send(client::Data(Text("half of the new")));
    EXPECT_EQ(Entries(harness.root()).size(), 2u);  // the target and the temporary file
    harness.session().Abandon("dropped");
    EXPECT_EQ(Entries(harness.root()), (std::vector<std::string>{"keep.txt"}));
    EXPECT_EQ(ReadFile(harness.Path("keep.txt")), "old");
    EXPECT_NE(harness.log().find("op=upload file=\"keep.txt\" outcome=dropped"), std::string::npos) << harness.log();
}

TEST(SessionUpload, ATemporaryFileThatCannotBeRemovedIsLeftEmptyAndLogged) {
    // The client makes the directory unwritable during its own upload, then
    // drops the connection: what the temporary file held must not stay in
    // a file no client sees or deletes.
    if (::geteuid() == 0) GTEST_SKIP() << "root may remove a file from a directory of mode 0555";
    SessionHarness harness;
    harness.Configure();
    ASSERT_EQ(::mkdir(harness.Path("d").c_str(), 0755), 0);
    Create(harness, "d/big.bin");
    // More than the upload gathers before it writes.
    for (int i = 0; i < 20; ++i) harness.Send(client::Data(Bytes(20000, 'x')));
    ASSERT_EQ(::chmod(harness.Path("d").c_str(), 0555), 0);
    harness.session().Abandon("dropped");
    const std::vector<std::string> left = Entries(harness.Path("d"));
    ASSERT_EQ(::chmod(harness.Path("d").c_str(), 0755), 0);
    ASSERT_EQ(left.size(), 1u);
    struct stat info {};
    ASSERT_EQ(::stat(harness.Path("d/" + left[0]).c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 0);
    EXPECT_NE(harness.log().find("left empty: d/" + left[0]), std::string::npos) << harness.log();
}

TEST(SessionUpload, AnUploadWoundDownByTheClientIsDiscarded) {
    // The client's local file failed part way: Continue Transfer, then an
    // Access Complete that would otherwise commit the upload.
    SessionHarness harness;
    harness.Configure();
    WriteFile(harness.Path("keep.txt"), "old");
    Create(harness, "keep.txt");
    harness.Send(client::Data(Text("half of the new")));
    EXPECT_TRUE(harness.Send(client::ContinueTransfer(3)).empty());
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{wire::kAccessComplete}));
    EXPECT_EQ(Entries(harness.root()), (std::vector<std::string>{"keep.txt"}));
    EXPECT_EQ(ReadFile(harness.Path("keep.txt")), "old");
    EXPECT_NE(harness.log().find("outcome=discarded"), std::string::npos) << harness.log();
}

TEST(SessionUpload, NewAccessOrConfigurationInTheMiddleDropsTheUpload) {
    SessionHarness harness;
    harness.Configure();
    Create(harness, "a.txt");
    harness.Send(client::Data(Text("partial")));
    harness.Configure();
    EXPECT_TRUE(Entries(harness.root()).empty());

    Create(harness, "b.txt");
    harness.Send(client::Data(Text("partial")));
    harness.Send(client::Access(6, "", 2, {0x01}));
    EXPECT_TRUE(Entries(harness.root()).empty());
}

TEST(SessionUpload, MalformedConfigurationInTheMiddleEndsTheUploadAsAFailure) {
    SessionHarness harness;
    harness.Configure();
    WriteFile(harness.Path("keep.txt"), "old");
    Create(harness, "keep.txt");
    harness.Send(client::Data(Text("abc")));
    // BUFSIZ 100: below 256, Invalid, BUFSIZ (16).
    const Bytes configuration{0x01, 0x00, 0x64, 0x00, 0x11, 0x0C, 0x07, 0x02, 0x00, 0x04, 0x00, 0x20};
    EXPECT_EQ(Statuses(harness.Send(configuration)), (std::vector<uint16_t>{0x9050}));
    // The client, told of an error, winds down; records still on their way
    // are passed over.
    EXPECT_TRUE(harness.Send(client::Data(Text("def"))).empty());
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{wire::kAccessComplete}));
    EXPECT_EQ(Entries(harness.root()), (std::vector<std::string>{"keep.txt"}));
    EXPECT_EQ(ReadFile(harness.Path("keep.txt")), "old");
    const std::string log = harness.log();
    EXPECT_NE(log.find("op=upload file=\"keep.txt\" outcome=failed-9050"), std::string::npos) << log;
    EXPECT_EQ(log.find("outcome=ok"), std::string::npos) << log;
}

// A protection change sent while records come in: its messages as the
// client sends them together.
Bytes ProtectionChange() {
    return client::AccessComplete({0x06}) + client::Protection({0x1C, 0x0F, 0x0F, 0x0F}) +
           client::AccessComplete({0x07});
}

// The client's wind-down after the Sync Error (Access Complete) its
// protection change got: the access was ended as a failure, never ok.
void WindDownAfterSyncError(SessionHarness& harness, const std::string& access) {
    EXPECT_TRUE(harness.Send(client::ContinueTransfer(3)).empty());
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{wire::kAccessComplete}));
    const std::string log = harness.log();
    EXPECT_NE(log.find(access + " outcome=failed-A1C0"), std::string::npos) << log;
    EXPECT_EQ(log.find("outcome=ok"), std::string::npos) << log;
}

TEST(SessionUpload, ProtectionChangeAmongTheRecordsIsOutOfOrderAndDiscardsTheUpload) {
    SessionHarness harness;
    harness.Configure();
    WriteFile(harness.Path("keep.txt"), "old");
    Create(harness, "keep.txt");
    harness.Send(client::Data(Text("new")));
    // Sync Error, Access Complete (7); the rest of the block is passed over.
    const auto reply = harness.Send(ProtectionChange());
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{wire::kStatus}));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0xA1C0}));
    WindDownAfterSyncError(harness, "op=upload file=\"keep.txt\"");
    EXPECT_EQ(Entries(harness.root()), (std::vector<std::string>{"keep.txt"}));
    EXPECT_EQ(ReadFile(harness.Path("keep.txt")), "old");
}

TEST(SessionWrite, ProtectionChangeAmongTheRecordsIsOutOfOrder) {
    SessionHarness harness;
    harness.Configure();
    WriteFile(harness.Path("log"), "old;");
    ASSERT_EQ(::chmod(harness.Path("log").c_str(), 0644), 0);
    harness.Send(client::Attributes() + client::Access(1, "log", 3, client::Display31()));
    harness.Send(client::ControlConnect());
    harness.Send(client::ControlWrite(64));
    harness.Send(client::Data(Text("new;")));
    EXPECT_EQ(Statuses(harness.Send(ProtectionChange())), (std::vector<uint16_t>{0xA1C0}));
    WindDownAfterSyncError(harness, "op=write file=\"log\"");
    struct stat info;
    ASSERT_EQ(::stat(harness.Path("log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(SessionUpload, TargetDirectoryMustExistAndMustNotBeADirectory) {
    SessionHarness harness;
    harness.Configure();
    ASSERT_EQ(::mkdir(harness.Path("sub").c_str(), 0755), 0);
    auto reply = harness.Send(client::Attributes() + client::Access(2, "nodir/x.txt", 1, client::Display91()));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4020}));
    reply = harness.Send(client::Attributes() + client::Access(2, "sub", 1, client::Display91()));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4025}));
    reply = harness.Send(client::Attributes() + client::Access(2, "sub/", 1, client::Display91()));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4025}));
}

TEST(SessionWrite, RecordsWrittenToAnOpenedFileAreAppended) {
    SessionHarness harness;
    harness.Configure();
    WriteFile(harness.Path("log"), "old;");
    harness.Send(client::Attributes() + client::Access(1, "log", 3, client::Display31()));
    harness.Send(client::ControlConnect());
    // The client reads nothing while it writes.
    EXPECT_TRUE(harness.Send(client::ControlWrite(64)).empty());
    EXPECT_TRUE(harness.Send(client::Data(Text("new;"))).empty());
    // An empty record adds nothing to a stream file, and is no failure.
    EXPECT_TRUE(harness.Send(client::Data(Text(""))).empty());
    EXPECT_TRUE(harness.Send(client::Data(Text("more"))).empty());
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{wire::kAccessComplete}));
    EXPECT_EQ(ReadFile(harness.Path("log")), "old;new;more");
}

TEST(SessionWrite, AFifoPutInPlaceOfTheOpenedFileIsRefusedWithoutWaitingForAReader) {
    SessionHarness harness;
    harness.Configure();
    WriteFile(harness.Path("log"), "old;");
    harness.Send(client::Attributes() + client::Access(1, "log", 3, client::Display31()));
    harness.Send(client::ControlConnect());
    ASSERT_EQ(::unlink(harness.Path("log").c_str()), 0);
    ASSERT_EQ(::mkfifo(harness.Path("log").c_str(), 0644), 0);
    // The write's open would wait for a reader of the FIFO for ever.
    std::vector<uint16_t> statuses = Statuses(harness.Send(client::ControlWrite(64)));
    const std::vector<uint16_t> more = Statuses(harness.Send(client::AccessComplete({0x01})));
    statuses.insert(statuses.end(), more.begin(), more.end());
    EXPECT_EQ(statuses, (std::vector<uint16_t>{0x4030}));
}

TEST(SessionUpload, MalformedRecordIsToldAtTheAccessCompleteAndNothingIsStored) {
    SessionHarness harness;
    harness.Configure();
    Create(harness, "bad.txt");
    harness.Send(client::Data(Text("fine")));
    // RECNUM 9: above the 8 bytes a record number may have.
    Bytes bad = client::Data(Text("x"));
    bad[3] = 0x09;
    EXPECT_TRUE(harness.Send(bad).empty());
    const auto reply = harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00}));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x8210}));  // Format, Data, RECNUM
    // The client winds down: Continue Transfer, Access Complete.
    EXPECT_TRUE(harness.Send(client::ContinueTransfer(3)).empty());
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{wire::kAccessComplete}));
    EXPECT_TRUE(Entries(harness.root()).empty());
}

}  // namespace
}  // namespace zeldtest
