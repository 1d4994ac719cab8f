// Directory listings through RfaDir against the scripted peer: the exact
// listing text of brief and full listings, the status lines inside a
// listing and the statuses that end it, the spool file that takes a listing
// too long for the caller's buffer, and names too long for the text areas.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "host_probes.h"
#include "peer_link.h"
#include "request_messages.h"
#include "support/test_paths.h"
#include "zel32/api/link.h"
#include "zel32/api/link_table.h"
#include "zel32/protocol/context.h"

namespace zeltest {
namespace {

constexpr char kListedFiles[] = "[USER]*.*";
const Bytes kBriefAccess = Access(6, kListedFiles, 0x02, kDisplayBrief);
const Bytes kFullAccess = Access(6, kListedFiles, 0x02, kDisplayMain);

PeerConfig PeerOfFileSystem(uint8_t filesys) {
    PeerConfig peer;
    peer.filesys = filesys;
    return peer;
}

// A link whose node is called "node", so that the header shows it capitalised.
class Listing : public ::testing::Test {
protected:
    void SetUp() override {
        ClearNotifications();
        std::memset(list_, 'x', sizeof list_);
        ZelInit(list_, sizeof list_);
    }
    void TearDown() override { ZelInit(nullptr, 0); }

    static void NameTheNode(const PeerLink& link, const char* node = "node") {
        std::strcpy(RfaLinkAt(link.handle())->nodeName, node);
    }
    std::string listed() const { return std::string(list_); }

    char list_[4096];
};

// The listing of one directory with one file, 48 characters (brief).
const std::string kOneFileListing = "Directory NODE::DUA0:[USER]\r\n\r\n'A.TXT;1'  -F3 \r\n";

Script OneFileListing() {
    return {expect(kBriefAccess), reply(Name(0x08, "DUA0:")), reply(Name(0x04, "[USER]")),
            reply(Name(0x02, "A.TXT;1")), reply(FileSize(3)), reply(Acknowledge()), reply(AccessComplete()),
            expectSilence()};
}

// ---- Listing text ------------------------------------------------------------

TEST_F(Listing, BriefListingShowsHeaderDirectoryAndEachQuotedNameWithItsSize) {
    PeerLink link(OneFileListing());
    NameTheNode(link);
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(listed(), kOneFileListing);
    EXPECT_STREQ(RfaLinkAt(link.handle())->nodeName, "NODE");  // capitalised in place
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].status, 2u);
    EXPECT_EQ(Notifications()[0].spoolFile, 0);
    EXPECT_EQ(Notifications()[0].text, "  ");
}

TEST_F(Listing, ASecondDirectoryRepeatsTheSavedHeaderAfterABlankLine) {
    PeerLink link({expect(kBriefAccess), reply(Name(0x08, "DUA0:")), reply(Name(0x04, "[USER]")),
                   reply(Name(0x02, "A.TXT;1")), reply(FileSize(3)), reply(Name(0x04, "[USER.SUB]")),
                   reply(Name(0x02, "B.DAT;2")), reply(FileSize(12, true)), reply(AccessComplete()), expectSilence()});
    NameTheNode(link);
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(listed(),
              "Directory NODE::DUA0:[USER]\r\n\r\n'A.TXT;1'  -F3 \r\n"
              "\r\nDirectory NODE::DUA0:[USER.SUB]\r\n\r\n'B.DAT;2'  -D12 \r\n");
}

TEST_F(Listing, ADirectoryLineNeverShowsTheHeaderOfAnEarlierListing) {
    PeerLink link({expect(kBriefAccess), reply(Name(0x08, "DUA0:")), reply(AccessComplete()), expect(kBriefAccess),
                   reply(Name(0x04, "[A]")), reply(Name(0x04, "[B]")), reply(AccessComplete()), expectSilence()});
    NameTheNode(link);
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    EXPECT_EQ(listed(), "Directory NODE::DUA0:");
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(listed(), "[A]\r\n\r\n\r\n[B]\r\n\r\n");
}

TEST_F(Listing, FullListingEntriesCarrySizeDateAndABlankLine) {
    PeerLink link({expect(kFullAccess), reply(Name(0x08, "DUA0:")), reply(Name(0x04, "[USER]")),
                   reply(Name(0x02, "A.TXT;1")),
                   reply(FileSize(3) + DateAndTime("04-NOV-26 03:57:26", "05-NOV-26 11:00:00") + Acknowledge()),
                   reply(Name(0x02, "SUB.DIR;1")),
                   reply(FileSize(1, true) + DateAndTime("09-MAR-05 14:05:09", "10-MAR-05 08:00:00")),
                   reply(AccessComplete()), expectSilence()});
    NameTheNode(link);
    EXPECT_EQ(RfaDir(link.handle(), 1, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(listed(),
              "Directory NODE::DUA0:[USER]\r\n\r\n"
              "'A.TXT;1'  -F3  04-NOV-26 03:57:26\r\n\r\n"
              "'SUB.DIR;1'  -D1  09-MAR-05 14:05:09\r\n\r\n");
}

TEST_F(Listing, FullListingShowsTheRevisionDateOnceTheCallerChoseIt) {
    PeerLink link({expect(kFullAccess), reply(Name(0x0E, "X")),
                   reply(FileSize(3) + DateAndTime("04-NOV-26 03:57:26", "05-NOV-26 11:00:00")),
                   reply(AccessComplete()), expectSilence()});
    NameTheNode(link);
    uintptr_t revision[1] = {0};
    ASSERT_EQ(RfaIoctl(link.handle(), RFA_IOCTL_DATE_CHOICE, revision), 0);
    EXPECT_EQ(RfaDir(link.handle(), 1, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    // One Name carrying volume, directory and file: three items in that order.
    EXPECT_EQ(listed(), "Directory NODE::XX\r\n\r\n'X'  -F3  05-NOV-26 11:00:00\r\n\r\n");
}

TEST_F(Listing, BriefListingIgnoresDates) {
    PeerLink link({expect(kBriefAccess), reply(Name(0x04, "[USER]")), reply(Name(0x02, "A.TXT;1")),
                   reply(FileSize(3) + DateAndTime("04-NOV-26 03:57:26", "05-NOV-26 11:00:00")),
                   reply(AccessComplete()), expectSilence()});
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(listed(), "[USER]\r\n\r\n'A.TXT;1'  -F3 \r\n");
}

TEST_F(Listing, PeersThatNameDirectoriesAreJudgedByTheirNames) {
    // File systems 1, 3 and 4 mark a directory with ".DIR" in its name;
    // FOP says nothing there in a full listing.
    PeerLink link({expect(kFullAccess), reply(Name(0x02, "SUB.DIR;1")), reply(FileSize(1)),
                   reply(Name(0x02, "A.TXT;1")), reply(FileSize(3, true)), reply(AccessComplete()), expectSilence()},
                  PeerOfFileSystem(1));
    EXPECT_EQ(RfaDir(link.handle(), 1, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(listed(), "'SUB.DIR;1'  -D1 'A.TXT;1'  -F3 ");
}

TEST_F(Listing, BriefListingOfFileSystem3ShowsNoSizes) {
    PeerLink link({expect(kBriefAccess), reply(Name(0x02, "A.TXT;1")), reply(FileSize(3)), reply(AccessComplete()),
                   expectSilence()},
                  PeerOfFileSystem(3));
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(listed(), "'A.TXT;1' \r\n");
}

TEST_F(Listing, ApostrophesInANameAreDoubled) {
    PeerLink link({expect(kBriefAccess), reply(Name(0x02, "O'NEIL.TXT")), reply(AccessComplete()), expectSilence()});
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(listed(), "'O''NEIL.TXT' ");
}

// ---- Statuses in a listing ---------------------------------------------------

TEST_F(Listing, StatusesAboutAListedFileAddALineAndAContinueTransfer) {
    PeerLink link({expect(kBriefAccess), reply(Name(0x04, "[USER]")), reply(Name(0x02, "A.TXT;1")),
                   reply(Status(0x4055)), expect(ContinueTransfer(2)), reply(Name(0x02, "B.TXT;1")),
                   reply(Status(0x4030)), expect(ContinueTransfer(2)), reply(Name(0x02, "C.TXT;1")),
                   reply(Status(0x4032)), expect(ContinueTransfer(2)), reply(Name(0x02, "D.TXT;1")),
                   reply(FileSize(7)), reply(AccessComplete()), expectSilence()});
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(listed(),
              "[USER]\r\n\r\n"
              "'A.TXT;1'     -ERRORINZEL privilege violation\r\n"
              "'B.TXT;1'     -ERRORINZEL file locked by another user\r\n"
              "'C.TXT;1'     -ERRORINZEL file not found\r\n"
              "'D.TXT;1'  -F7 \r\n");
}

TEST_F(Listing, ABufferReplacedByAnotherThreadDuringTheListingFailsItWith1) {
    // While the listing waits for the next entry, another thread registers
    // a smaller buffer (and may free the one the text so far is in): the
    // listing cannot go on, and nothing is read from either buffer past
    // what was written there.
    std::vector<char> smaller(8, 'y');
    const auto replace = [&](const Bytes& payload) {
        ZelInit(smaller.data(), static_cast<uint32_t>(smaller.size()));
        return payload == ContinueTransfer(2);
    };
    PeerLink link({expect(kBriefAccess), reply(Name(0x04, "[USER]")), reply(Name(0x02, "A.TXT;1")),
                   reply(Status(0x4055)), expectWhere(replace, "a Continue Transfer"), reply(Name(0x02, "B.TXT;1")),
                   reply(FileSize(7)), reply(AccessComplete())});
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), RFA_ERR_LOCAL_IO);
    link.Finish();
    EXPECT_EQ(std::string(smaller.begin(), smaller.end()), "  " + std::string(1, '\0') + "yyyyy");
    EXPECT_TRUE(Notifications().empty() || Notifications()[0].spoolFile == 0);
}

TEST_F(Listing, FileNotFoundAfterADirectoryLineEndsTheListingInSuccess) {
    PeerLink link({expect(kBriefAccess), reply(Name(0x08, "DUA0:")), reply(Name(0x04, "[USER]")),
                   reply(Status(0x4032)), expect(AccessComplete(1)), reply(AccessComplete()), expectSilence()});
    NameTheNode(link);
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(listed(), "Directory NODE::DUA0:[USER]\r\n\r\n");
    EXPECT_EQ(link.Look().errorValue, 0);
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].status, 2u);
}

TEST_F(Listing, FileNotFoundBeforeAnyDirectoryLineFailsWith7) {
    PeerLink link({expect(kBriefAccess), reply(Status(0x4032)), expect(AccessComplete(1)), reply(AccessComplete()),
                   expectSilence()});
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 7);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().errorValue, 0x00040032);
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].status, 0u);
    EXPECT_EQ(Notifications()[0].text, "");
    EXPECT_EQ(std::string(list_, 3), std::string("  \0", 3));
}

TEST_F(Listing, PeersThatNameDirectoriesEndAFailedListingWithoutAnAccessComplete) {
    PeerLink link({expect(kBriefAccess), reply(Status(0x4032)), expectSilence()}, PeerOfFileSystem(4));
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 7);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(Listing, AStatusBeforeANameWithoutAsteriskEndsTheListingWithItsError) {
    // A name with an asterisk is no file yet: the status is an error.
    PeerLink link({expect(kBriefAccess), reply(Name(0x04, "[USER]")), reply(Name(0x02, "*.TXT")),
                   reply(Status(0x4055)), expect(AccessComplete(1)), reply(AccessComplete()), expectSilence()});
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 18);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().errorValue, 0x00040055);
}

// ---- The list buffer and the spool file --------------------------------------

// Listings run with $TMPDIR pointing at a fresh directory of their own.
class Spooling : public Listing {
protected:
    std::string SpoolDirectory() const { return std::filesystem::canonical(directory_.path()).string(); }

    // The one notification names a spool file in the directory: status 2, a
    // handle, a QRX name, mode 0600, closed, and holding `content`.
    void ExpectSpooled(const std::string& content) {
        ASSERT_EQ(Notifications().size(), 1u);
        const Notification& notification = Notifications()[0];
        EXPECT_EQ(notification.status, 2u);
        EXPECT_NE(notification.spoolFile, 0);
        const std::string prefix = SpoolDirectory() + "/QRX";
        EXPECT_EQ(notification.text.compare(0, prefix.size(), prefix), 0) << notification.text;
        struct stat info {};
        ASSERT_EQ(::stat(notification.text.c_str(), &info), 0) << notification.text;
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_FALSE(HoldsOpen(notification.text));
        EXPECT_EQ(ReadFile(notification.text), content);
        std::filesystem::remove(notification.text);
    }

    // A listing whose first run (`firstRun`, up to its repair) meets a Sync
    // Error, and whose second run lists one file into the buffer.
    void ExpectListedBySecondRun(Script firstRun) {
        for (const Step& step : OneFileListing()) firstRun.push_back(step);
        PeerLink link(firstRun);
        NameTheNode(link);
        EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
        ASSERT_TRUE(link.Finish()) << link.peer().report();
        EXPECT_EQ(listed(), kOneFileListing);
    }

    ScratchDir directory_;
    ScopedEnvironment tmpdir_{"TMPDIR", SpoolDirectory()};
};

TEST_F(Spooling, AListingOfTheBufferSizeLessOneStaysInTheBuffer) {
    ZelInit(list_, static_cast<uint32_t>(kOneFileListing.size() + 1));
    PeerLink link(OneFileListing());
    NameTheNode(link);
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(listed(), kOneFileListing);
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].spoolFile, 0);
    EXPECT_TRUE(std::filesystem::is_empty(directory_.path()));
}

TEST_F(Spooling, OneMoreCharacterMovesTheWholeListingToASpoolFile) {
    ZelInit(list_, static_cast<uint32_t>(kOneFileListing.size()));
    PeerLink link(OneFileListing());
    NameTheNode(link);
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    // The buffer keeps its last complete text; the file has all of it.
    EXPECT_EQ(listed(), kOneFileListing.substr(0, kOneFileListing.size() - 2));
    ExpectSpooled(kOneFileListing);
}

TEST_F(Spooling, BuffersOfSizeZeroOneAndTwoAreNeverWrittenPast) {
    for (const uint32_t size : {0u, 1u, 2u}) {
        ClearNotifications();
        std::memset(list_, 'x', sizeof list_);
        ZelInit(list_, size);
        PeerLink link(OneFileListing());
        NameTheNode(link);
        EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0) << size;
        ASSERT_TRUE(link.Finish()) << link.peer().report();
        EXPECT_EQ(list_[0], size == 0 ? 'x' : '\0') << size;
        EXPECT_EQ(list_[1], 'x') << size;
        EXPECT_EQ(list_[2], 'x') << size;
        ExpectSpooled(kOneFileListing);
    }
}

TEST_F(Spooling, ARunAgainAfterASyncErrorLeavesNothingOfTheFirstRunsSpoolFile) {
    // The first run outgrows the buffer and spools, then meets a Sync Error;
    // the second run fits the buffer. The caller is told of the buffer only,
    // and the first run's partial spool file is gone.
    ZelInit(list_, static_cast<uint32_t>(kOneFileListing.size() + 1));
    ExpectListedBySecondRun({expect(kBriefAccess), reply(Name(0x08, "DUA0:")), reply(Name(0x04, "[USER]")),
                             reply(Name(0x02, "A.TXT;1")), reply(FileSize(3)), reply(Name(0x02, "B.TXT;1")),
                             reply(FileSize(3)), reply(Status(0xA0D2)), expect(CurrentLibraryConfiguration()),
                             reply(PeerConfiguration())});
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].status, 2u);
    EXPECT_EQ(Notifications()[0].spoolFile, 0);
    EXPECT_EQ(Notifications()[0].text, "  ");
    EXPECT_TRUE(std::filesystem::is_empty(directory_.path()));
}

TEST_F(Spooling, AStatusAnsweringTheRepairsConfigurationEndsNoAccess) {
    // The Configuration that repairs a Sync Error is answered with an error
    // Status: no access is open, so no Access Complete is sent to wind one
    // down, and the listing runs again.
    ZelInit(list_, static_cast<uint32_t>(kOneFileListing.size() + 1));
    ExpectListedBySecondRun({expect(kBriefAccess), reply(Name(0x08, "DUA0:")), reply(Name(0x04, "[USER]")),
                             reply(Name(0x02, "A.TXT;1")), reply(FileSize(3)), reply(Status(0xA0D2)),
                             expect(CurrentLibraryConfiguration()), reply(Status(0x9000))});
}

std::string textAfterClosing;

int32_t CloseTheLinkThenReadTheText(uint32_t handle, uint32_t, intptr_t, const char* text) {
    RfaCloseLink(handle);
    textAfterClosing = text;
    return 0;
}

TEST_F(Spooling, TheSpoolFilesNameOutlivesALinkTheNotificationCloses) {
    // The notification procedure may close the link, which frees what the
    // library keeps of it: the name it was handed is still the spool file's.
    ZelInit(list_, 30);
    PeerLink link(OneFileListing());
    NameTheNode(link);
    RfaLinkAt(link.handle())->notify = CloseTheLinkThenReadTheText;
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    link.Finish();
    const std::string prefix = SpoolDirectory() + "/QRX";
    EXPECT_EQ(textAfterClosing.compare(0, prefix.size(), prefix), 0) << textAfterClosing;
    EXPECT_EQ(ReadFile(textAfterClosing), kOneFileListing);
    std::filesystem::remove(textAfterClosing);
}

TEST_F(Spooling, ARepairThatCannotBeSentLeavesNoSpoolFileBehind) {
    // The peer answers the Access before it comes, with a listing that
    // outgrows the buffer and a Sync Error, and closes: the Access draws a
    // reset, and the Configuration that would repair the link cannot be sent.
    // The call fails with -1 and no notification hands the caller the first
    // run's spool file: it is removed.
    ZelInit(list_, 30);
    PeerLink link({reply(Name(0x08, "DUA0:")), reply(Name(0x04, "[USER]")), reply(Name(0x02, "A.TXT;1")),
                   reply(FileSize(3) + Status(0xA0D2)), closeConnection()});
    NameTheNode(link);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), -1);
    EXPECT_EQ(link.Look().errorCode, RFA_ERR_NET_RESET);
    EXPECT_TRUE(Notifications().empty());
    EXPECT_TRUE(std::filesystem::is_empty(directory_.path()));
}

TEST_F(Spooling, ATemporaryDirectoryOrNameThatCannotBeHadFailsWith7) {
    // A directory whose path is longer than 255 characters, and one whose
    // path fits but leaves no room for a file name behind it.
    const std::string tooLong = directory_ / std::string(150, 'a') + "/" + std::string(120, 'b');
    const std::string noRoomForName = directory_ / std::string(250 - directory_.path().size(), 'c');
    std::filesystem::create_directories(tooLong);
    std::filesystem::create_directories(noRoomForName);
    for (const std::string& place : {tooLong, noRoomForName}) {
        ScopedEnvironment tmpdir("TMPDIR", place);
        ClearNotifications();
        ZelInit(list_, 30);
        PeerLink link(OneFileListing());
        NameTheNode(link);
        EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 7) << place.size();
        EXPECT_EQ(link.Look().errorValue, 0);
        ASSERT_TRUE(link.Finish()) << link.peer().report();
        ASSERT_EQ(Notifications().size(), 1u);
        EXPECT_EQ(Notifications()[0].status, 0u);
        EXPECT_EQ(Notifications()[0].spoolFile, 0);
        EXPECT_EQ(Notifications()[0].text, "");
    }
}

TEST_F(Spooling, AListingWhoseTextCannotBeKeptIsStillTakenToThePeersAccessComplete) {
    // The listing outgrows the buffer where no spool file can be had. The
    // peer goes on with the listing: its replies are taken and its status
    // about a file answered, so that the Delete behind gets its own answer.
    const std::string tooLong = directory_ / std::string(150, 'a') + "/" + std::string(120, 'b');
    std::filesystem::create_directories(tooLong);
    ScopedEnvironment tmpdir("TMPDIR", tooLong);
    ZelInit(list_, 30);
    PeerLink link({expect(kBriefAccess), reply(Name(0x08, "DUA0:")), reply(Name(0x04, "[USER]")),
                   reply(Name(0x02, "A.TXT;1")), reply(Status(0x4055)), expect(ContinueTransfer(2)),
                   reply(Name(0x02, "B.TXT;1")), reply(FileSize(3)), reply(AccessComplete()),
                   expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(Status(0x4032)), expectSilence()});
    NameTheNode(link);
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 7);
    EXPECT_EQ(link.Look().errorValue, 0);  // the listing's own, not the later status's
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].status, 0u);
    EXPECT_EQ(Notifications()[0].spoolFile, 0);
    EXPECT_EQ(std::string(list_, 3), std::string("  \0", 3));
    EXPECT_EQ(RfaDelete(link.handle(), "A.TXT"), 7);
    EXPECT_EQ(link.Look().errorValue, 0x00040032);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(Listing, RfaDirBeforeZelInitReturns4AndSendsNothing) {
    ZelInit(nullptr, 0);
    PeerLink link({expectSilence()});
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 4);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.peer().received().size(), 1u);
    EXPECT_TRUE(Notifications().empty());
}

TEST_F(Listing, NamesTooLongForTheTextAreasAreCut) {
    // The header holds 255 characters, every other item 511; what does not
    // fit is cut, and each line keeps its line ends and closing quote.
    const std::string node(200, 'n');
    const std::string volume(200, 'V');
    const std::string first(255, 'D');
    const std::string second(255, 'E');
    const std::string quotes(255, '\'');
    PeerLink link({expect(kBriefAccess), reply(Name(0x08, volume)), reply(Name(0x04, first)),
                   reply(Name(0x04, second)), reply(Name(0x02, quotes)), reply(AccessComplete()), expectSilence()});
    NameTheNode(link, node.c_str());
    EXPECT_EQ(RfaDir(link.handle(), 0, kListedFiles), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    const std::string header = "Directory " + std::string(200, 'N') + "::" + std::string(43, 'V');
    ASSERT_EQ(header.size(), 255u);
    const std::string secondLine = "\r\n" + header + std::string(250, 'E') + "\r\n\r\n";
    ASSERT_EQ(secondLine.size(), 511u);
    const std::string quoted = "'" + std::string(508, '\'') + "' ";
    ASSERT_EQ(quoted.size(), 511u);
    EXPECT_EQ(listed(), header + first + "\r\n\r\n" + secondLine + quoted);
}

}  // namespace
}  // namespace zeltest
