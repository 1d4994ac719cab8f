// Whole-file copies through RfaCopy against the scripted peer: the
// exchange in both directions, the probe of an existing remote target, the
// choice of a free local name, the upload's time stamp, what the copy
// writes into the status block, and every way it can fail.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "peer_link.h"
#include "support/test_paths.h"
#include "transfer_script.h"
#include "zel32/protocol/configuration.h"
#include "zel32/transport/memory.h"
#include "ztsock/ztsock.h"

namespace zeltest {
namespace {

constexpr uint8_t kRfmVariable = 2;
constexpr uint8_t kImpliedLineEnd = 0x02;

bool Exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// A link opened with the given openOption bits (PeerLink opens with none).
class OptionLink {
public:
    OptionLink(const Script& script, uint32_t openOption) : peer_(Joined({OpenExchange(), script})) {
        if (!peer_.Start()) return;
        RfaOpenLinkParams params = LinkParams(peer_.node());
        params.openOption = openOption;
        openResult_ = RfaOpenLink(&params);
        handle_ = params.handle;
    }
    ~OptionLink() {
        if (handle_ != 0) RfaCloseLink(handle_);
        peer_.Finish();
    }
    OptionLink(const OptionLink&) = delete;
    OptionLink& operator=(const OptionLink&) = delete;

    int32_t openResult() const { return openResult_; }
    RfaHandle handle() const { return handle_; }
    ScriptedPeer& peer() { return peer_; }
    RfaLinkStatus Look() const { return zeltest::Look(handle_); }
    bool Finish() {
        peer_.Finish();
        return peer_.ok();
    }

private:
    ScriptedPeer peer_;
    RfaHandle handle_ = 0;
    int32_t openResult_ = -1;
};

// The download of REMOTE.TXT up to the data phase, the remote file having
// RFM 2 and RAT 0x02.
Script DownloadStart() {
    return {expect(SentAttributes() + DownloadAccess("REMOTE.TXT")),
            reply(RemoteAttributes(kRfmVariable, kImpliedLineEnd) + Acknowledge()),
            expect(CopyConnectControl()), reply(Acknowledge()), expect(DataPhaseControl(1))};
}

// The end of a copy: the library's Access Complete and the peer's.
Script CopyEnd() { return {expect(CopyAccessComplete()), reply(AccessComplete()), expectSilence(150)}; }

Script DownloadOf(const std::vector<Bytes>& records) {
    return Joined({DownloadStart(), ReplyRecords(records, Status(0x5027)), CopyEnd()});
}

// The upload of a local file to `target`, which does not exist yet, up to
// the data phase: the probe's Open refused, then the copy's own Access.
Script UploadStart(const std::string& target, const std::string& date = kStampText,
                   uint16_t probeAnswer = 0x4032) {
    return {expect(SentAttributes() + OpenAccess(target)),
            reply(Status(probeAnswer)),
            expect(SentAttributes() + SentDates(date) + UploadAccess(target)),
            reply(Acknowledge()),
            expect(CopyConnectControl()),
            reply(Acknowledge()),
            expect(DataPhaseControl(4))};
}

class Copy : public ::testing::Test {
protected:
    void SetUp() override {
        ZelResetConfigTemplate();
        ClearNotifications();
    }
    ScratchDir scratch;
};

// ---- Downloads -------------------------------------------------------------

TEST_F(Copy, DownloadWritesEachRecordAndRecordsSizesInTheStatusBlock) {
    PeerLink link(DownloadOf({Text("LINE1"), Text("LINE2"), Text("")}));
    const std::string target = scratch / "OUT.TXT";
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(ReadFile(target), "LINE1\r\nLINE2\r\n\r\n");
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.errorCode, 0);
    EXPECT_EQ(status.bytesTransferred, 16u);
    EXPECT_EQ(status.localFileSize, 16u);
    EXPECT_EQ(status.localFileSizeKnown, 1u);
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].status, 2u);
}

TEST_F(Copy, DownloadOverwritesAnExistingTargetWithoutRenameTarget) {
    const std::string target = scratch / "OUT.TXT";
    WriteFile(target, "an older and longer content");
    PeerLink link(DownloadOf({Text("NEW")}));
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(ReadFile(target), "NEW\r\n");
}

TEST_F(Copy, APeerAnsweringTheAccessWithAnAccessCompleteEndsTheCopyWithNothingTransferred) {
    PeerLink link({expect(SentAttributes() + DownloadAccess("REMOTE.TXT")), reply(AccessComplete()),
                   expectSilence(150)});
    const std::string target = scratch / "OUT.TXT";
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_FALSE(Exists(target));
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.bytesTransferred, 0u);
    EXPECT_EQ(status.localFileSizeKnown, 0u);
}

TEST_F(Copy, DownloadStoppedByAStatusErrorKeepsWhatWasWrittenAndReportsTheError) {
    PeerLink link(Joined({DownloadStart(),
                          {reply(Data(Text("KEPT")) + Data(Text("ALSO"))), reply(Status(0x5067)),
                           expectExpedited(ContinueTransfer(3)), expect(CloseAccessComplete()),
                           reply(AccessComplete()), expectSilence(150)}}));
    const std::string target = scratch / "OUT.TXT";
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 11);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(ReadFile(target), "KEPT\r\nALSO\r\n");
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.errorValue, 0x00050067);
    EXPECT_EQ(status.bytesTransferred, 12u);
    // The local file was closed: it can be removed and replaced at once.
    EXPECT_EQ(std::remove(target.c_str()), 0);
}

TEST_F(Copy, DownloadGivesUpOnAPeerThatSendsAcknowledgesForEverBetweenTheRecords) {
    // The records take longer than the receive limit and are all taken;
    // then Acknowledges come, each well within the limit, but the run of
    // them may not outlast it. Waited out, the copy would have succeeded.
    Script script = DownloadStart();
    for (int i = 0; i < 30; ++i) script.insert(script.end(), {reply(Data(Text("R"))), delay(25)});
    for (int i = 0; i < 60; ++i) script.insert(script.end(), {reply(Acknowledge()), delay(25)});
    script = Joined({script, ReplyRecords({Text("LATE")}, Status(0x5027)), CopyEnd()});
    ztsock::SetClientTimeouts(5000, 400);
    PeerLink link(std::move(script));
    const std::string target = scratch / "OUT.TXT";
    const int32_t result =
        RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr);
    ztsock::SetClientTimeouts(5000, 10000);
    EXPECT_EQ(result, 22);
    EXPECT_EQ(link.Look().errorDetail, 60);
    // What came is kept, as after any failure of the exchange.
    std::string records;
    for (int i = 0; i < 30; ++i) records += "R\r\n";
    EXPECT_EQ(ReadFile(target), records);
    link.Finish();
}

TEST_F(Copy, RecordsBeforeTheDataPhaseFailTheCopyWith20InsteadOfBeingLost) {
    PeerLink link({expect(SentAttributes() + DownloadAccess("REMOTE.TXT")),
                   reply(RemoteAttributes(kRfmVariable, kImpliedLineEnd) + Acknowledge()), expect(CopyConnectControl()),
                   reply(Data(Text("A")) + Data(Text("B")) + Acknowledge()), expectExpedited(ContinueTransfer(3)),
                   expect(CloseAccessComplete()), reply(AccessComplete()), expectSilence(150)});
    const std::string target = scratch / "OUT.TXT";
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 20);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_FALSE(Exists(target));
}

TEST_F(Copy, DownloadOfAMissingRemoteFileFailsWith7AndCreatesNothing) {
    PeerLink link({expect(SentAttributes() + DownloadAccess("REMOTE.TXT")), reply(Status(0x4032)),
                   expectSilence(150)});
    const std::string target = scratch / "OUT.TXT";
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 7);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_FALSE(Exists(target));
}

TEST_F(Copy, DownloadWhoseTargetCannotBeCreatedReadsTheRecordsAndFailsWith7AtTheEnd) {
    PeerLink link(DownloadOf({Text("ONE"), Text("TWO")}));
    const std::string target = scratch / "missing-directory/OUT.TXT";
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 7);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    const RfaLinkStatus status = link.Look();
    // The end-of-file status came after the local error: its value stays.
    EXPECT_EQ(status.errorValue, 0x5027);
    EXPECT_EQ(status.bytesTransferred, 0u);
    EXPECT_EQ(status.localFileSizeKnown, 0u);
}

TEST_F(Copy, AFailedLocalWriteGives1AndTheRestOfTheRecordsIsDropped) {
    PeerLink link(DownloadOf({Text("ONE"), Text("TWO"), Text("THREE")}));
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", "/dev/full", RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 1);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    const RfaLinkStatus status = link.Look();
    // The write failed before the end-of-file status as far as the caller
    // can tell (records are written as they come): the status's value stays.
    EXPECT_EQ(status.errorValue, 0x5027);
    EXPECT_EQ(status.bytesTransferred, 0u);
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].status, 0u);
}

// Small records wait in the local buffer, a large one is written at once:
// either way a failed write fails the copy with 1, at the latest when the
// file is closed.
TEST_F(Copy, AFailedWriteOfALargeRecordGives1AndTheRestIsDropped) {
    const Bytes large(20000, 'L');
    PeerLink link(DownloadOf({Text("ONE"), large, Text("TWO")}));
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", "/dev/full", RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 1);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.errorValue, 0x5027);
    EXPECT_EQ(status.bytesTransferred, 0u);
}

// ---- Local names that are kept ---------------------------------------------

TEST_F(Copy, RenameTargetDownloadsBesideAnExistingLocalFile) {
    const std::string target = scratch / "OUT.TXT";
    WriteFile(target, "keep me");
    WriteFile(scratch / "OUT.1", "keep me too");
    OptionLink link(DownloadOf({Text("NEW")}), RFA_OPEN_RENAME_TARGET);
    ASSERT_EQ(link.openResult(), 0);
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(ReadFile(target), "keep me");
    EXPECT_EQ(ReadFile(scratch / "OUT.1"), "keep me too");
    EXPECT_EQ(ReadFile(scratch / "OUT.2"), "NEW\r\n");
    EXPECT_EQ(std::string(link.Look().name2), scratch / "OUT.2");
}

TEST_F(Copy, RenameTargetCutsTheFileNameNotTheDirectory) {
    ASSERT_EQ(::mkdir((scratch / "A.B").c_str(), 0700), 0);
    WriteFile(scratch / "A.B/OUT", "keep me");
    OptionLink link(DownloadOf({Text("NEW")}), RFA_OPEN_RENAME_TARGET);
    const std::string target = scratch / "A.B/OUT";
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(ReadFile(scratch / "A.B/OUT.1"), "NEW\r\n");
    EXPECT_EQ(ReadFile(target), "keep me");
}

TEST_F(Copy, RenameTargetWithNoFreeNameFailsWith7AfterReadingTheRecords) {
    const std::string target = scratch / "OUT.TXT";
    WriteFile(target, "taken");
    for (int number = 1; number <= 998; ++number) WriteFile(scratch / ("OUT." + std::to_string(number)), "taken");
    OptionLink link(DownloadOf({Text("NEW")}), RFA_OPEN_RENAME_TARGET);
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 7);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.errorValue, 0x5027);
    EXPECT_EQ(std::string(status.name2), scratch / "OUT.998");  // the last name tried
    EXPECT_EQ(ReadFile(scratch / "OUT.998"), "taken");
    EXPECT_FALSE(Exists(scratch / "OUT.999"));
}

TEST_F(Copy, RenameTargetRepairedDownloadWritesTheNameItsFirstRunChose) {
    // A Sync Error in the data phase: the repair's second run replaces the
    // part its first run wrote under OUT.1, rather than leave it there and
    // write OUT.2.
    const std::string target = scratch / "OUT.TXT";
    WriteFile(target, "keep me");
    OptionLink link(Joined({DownloadStart(), ReplyRecords({Text("PART")}, Status(0xA100)),
                            {expect(CurrentLibraryConfiguration()), reply(PeerConfiguration())},
                            DownloadOf({Text("NEW")})}),
                    RFA_OPEN_RENAME_TARGET);
    ASSERT_EQ(link.openResult(), 0);
    EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(ReadFile(target), "keep me");
    EXPECT_EQ(ReadFile(scratch / "OUT.1"), "NEW\r\n");
    EXPECT_FALSE(Exists(scratch / "OUT.2"));
    EXPECT_EQ(std::string(link.Look().name2), scratch / "OUT.1");
}

// ---- Uploads ---------------------------------------------------------------

TEST_F(Copy, UploadToANewTargetProbesClearsTheErrorAndSendsTheStampedFile) {
    const std::string source = scratch / "LOCAL.TXT";
    WriteFile(source, "A\r\nB\r\n");
    ASSERT_TRUE(StampFile(source));
    PeerLink link(Joined({UploadStart("NEW.TXT"),
                          {expect(SentData(Text("A")) + SentData(Text("B")) + CopyAccessComplete()),
                           reply(AccessComplete()), expectSilence(150)}}));
    EXPECT_EQ(RfaCopy(link.handle(), source.c_str(), "NEW.TXT", RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.errorCode, 0);
    EXPECT_EQ(status.errorValue, 0);
    EXPECT_EQ(status.bytesTransferred, 6u);
    EXPECT_EQ(status.localFileSize, 6u);
    EXPECT_EQ(status.localFileSizeKnown, 1u);
}

TEST_F(Copy, OnlyThePeersAccessCompleteEndsAnUpload) {
    // A Continue Transfer from the peer before its Access Complete is passed
    // over: the upload waits for the Access Complete, which is not left for
    // the next request to take as its answer.
    const std::string source = scratch / "LOCAL.TXT";
    WriteFile(source, "A\r\n");
    ASSERT_TRUE(StampFile(source));
    PeerLink link(Joined({UploadStart("NEW.TXT"),
                          {expect(SentData(Text("A")) + CopyAccessComplete()), reply(ContinueTransfer(3)),
                           reply(AccessComplete()), expect(SentAccess(4, "X.TXT", 0x02, {0x31})),
                           reply(Status(0x4032))}}));
    EXPECT_EQ(RfaCopy(link.handle(), source.c_str(), "NEW.TXT", RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr), 0);
    EXPECT_EQ(RfaDelete(link.handle(), "X.TXT"), 7);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(Copy, ASyncErrorAnsweringTheProbeIsForgottenWithItAndTheUploadRunsOnce) {
    // The probe's failure means only "no such target": a Sync Error behind
    // it must not make the driver run the finished upload a second time.
    const std::string source = scratch / "LOCAL.TXT";
    WriteFile(source, "A\r\n");
    ASSERT_TRUE(StampFile(source));
    PeerLink link(Joined({UploadStart("NEW.TXT", kStampText, 0xA0D2),
                          {expect(SentData(Text("A")) + CopyAccessComplete()), reply(AccessComplete()),
                           expectSilence(150)}}));
    EXPECT_EQ(RfaCopy(link.handle(), source.c_str(), "NEW.TXT", RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().errorValue, 0);
}

TEST_F(Copy, UploadToAnExistingTargetWithoutRenameTargetOverwritesIt) {
    const std::string source = scratch / "LOCAL.TXT";
    WriteFile(source, "A\r");
    ASSERT_TRUE(StampFile(source));
    PeerLink link({expect(SentAttributes() + OpenAccess("OLD.TXT")), reply(RemoteAttributes(2, 2) + Acknowledge()),
                   expect(OpenConnectControl()), reply(Acknowledge()), expect(CloseAccessComplete()),
                   reply(AccessComplete()),
                   expect(SentAttributes() + SentDates(kStampText) + UploadAccess("OLD.TXT")), reply(Acknowledge()),
                   expect(CopyConnectControl()), reply(Acknowledge()), expect(DataPhaseControl(4)),
                   expect(SentData(Text("A")) + CopyAccessComplete()), reply(AccessComplete()), expectSilence(150)});
    EXPECT_EQ(RfaCopy(link.handle(), source.c_str(), "OLD.TXT", RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

// The probe of a remote name that exists: Open, its connecting Control,
// and the Access Complete that closes it again.
Script ExistingTarget(const std::string& name) {
    return {expect(SentAttributes() + OpenAccess(name)), reply(Acknowledge()), expect(OpenConnectControl()),
            reply(Acknowledge()), expect(CloseAccessComplete()), reply(AccessComplete())};
}

TEST_F(Copy, RenameTargetUploadTriesCandidateNamesWithoutTheVersion) {
    const std::string source = scratch / "LOCAL.TXT";
    WriteFile(source, "A\r");
    ASSERT_TRUE(StampFile(source));
    OptionLink link(Joined({ExistingTarget("[DIR]FILE.TXT;2"), ExistingTarget("[DIR]FILE.1"),
                            UploadStart("[DIR]FILE.2"),
                            {expect(SentData(Text("A")) + CopyAccessComplete()), reply(AccessComplete()),
                             expectSilence(150)}}),
                    RFA_OPEN_RENAME_TARGET);
    EXPECT_EQ(RfaCopy(link.handle(), source.c_str(), "[DIR]FILE.TXT;2", RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_STREQ(link.Look().name2, "[DIR]FILE.2");
}

// The file name is the part behind a bracketed directory ("]" or ">"), or
// without one behind the last "/": the directory's dots are not the file
// name's, and DEV:<A.B>F.TXT is not tried as DEV:<A.1.
TEST_F(Copy, RenameTargetUploadCutsTheFileNameBehindItsDirectory) {
    const std::string source = scratch / "LOCAL.TXT";
    WriteFile(source, "A\r");
    ASSERT_TRUE(StampFile(source));
    struct Names {
        const char* target;
        const char* firstCandidate;
    };
    for (const Names names : {Names{"dir.d/notes", "dir.d/notes.1"}, Names{"DEV:<A.B>F.TXT", "DEV:<A.B>F.1"},
                              Names{"[A.B]<C.D>F", "[A.B]<C.D>F.1"}}) {
        SCOPED_TRACE(names.target);
        OptionLink link(Joined({ExistingTarget(names.target), UploadStart(names.firstCandidate),
                                {expect(SentData(Text("A")) + CopyAccessComplete()), reply(AccessComplete())}}),
                        RFA_OPEN_RENAME_TARGET);
        EXPECT_EQ(RfaCopy(link.handle(), source.c_str(), names.target, RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr), 0);
        EXPECT_TRUE(link.Finish()) << link.peer().report();
        EXPECT_STREQ(link.Look().name2, names.firstCandidate);
    }
}

TEST_F(Copy, RenameTargetUploadWithEveryCandidateTakenFailsWith7) {
    const std::string source = scratch / "LOCAL.TXT";
    WriteFile(source, "A\r");
    Script script = ExistingTarget("F.TXT");
    for (int number = 1; number <= 998; ++number) {
        const Script candidate = ExistingTarget("F." + std::to_string(number));
        script.insert(script.end(), candidate.begin(), candidate.end());
    }
    script.push_back(expectSilence(150));
    OptionLink link(script, RFA_OPEN_RENAME_TARGET);
    EXPECT_EQ(RfaCopy(link.handle(), source.c_str(), "F.TXT", RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr), 7);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().errorValue, 0);
    EXPECT_EQ(std::string(link.Look().name2), "F.999");  // the number past the last candidate
}

// With RFA_OPEN_RENAME_TARGET only "file not found" frees a name: a file
// the peer will not open (no privilege, locked, its attributes unreadable)
// may exist, and creating the name would replace it. The probe's error
// fails the copy, and nothing more is sent.
TEST_F(Copy, RenameTargetUploadRefusedByTheProbeFailsWithTheOpensErrorAndCreatesNothing) {
    const std::string source = scratch / "LOCAL.TXT";
    WriteFile(source, "A\r");
    struct Refusal {
        uint16_t status;
        int32_t code;
    };
    for (const Refusal refusal : {Refusal{0x4025, 6}, Refusal{0x4030, 8}, Refusal{0x4055, 18}, Refusal{0x400A, 7}}) {
        SCOPED_TRACE(refusal.status);
        OptionLink link({expect(SentAttributes() + OpenAccess("X.TXT")), reply(Status(refusal.status)),
                         expectSilence(150)},
                        RFA_OPEN_RENAME_TARGET);
        ASSERT_EQ(link.openResult(), 0);
        EXPECT_EQ(RfaCopy(link.handle(), source.c_str(), "X.TXT", RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr), refusal.code);
        EXPECT_TRUE(link.Finish()) << link.peer().report();
        const RfaLinkStatus status = link.Look();
        EXPECT_EQ(status.errorValue, 0x40000 | (refusal.status & 0x0FFF));
        EXPECT_STREQ(status.name2, "X.TXT");
    }
}

TEST_F(Copy, RenameTargetUploadStopsAtACandidateTheProbeCannotOpen) {
    const std::string source = scratch / "LOCAL.TXT";
    WriteFile(source, "A\r");
    OptionLink link(Joined({ExistingTarget("X.TXT"),
                            {expect(SentAttributes() + OpenAccess("X.1")), reply(Status(0x4030)), expectSilence(150)}}),
                    RFA_OPEN_RENAME_TARGET);
    EXPECT_EQ(RfaCopy(link.handle(), source.c_str(), "X.TXT", RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr),
              RFA_ERR_FILE_LOCKED);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_STREQ(link.Look().name2, "X.1");
}

TEST_F(Copy, UploadOfAMissingLocalFileFailsWith7BeforeAnyMessage) {
    PeerLink link({expectSilence(150)});
    const std::string source = scratch / "NONE.TXT";
    EXPECT_EQ(RfaCopy(link.handle(), source.c_str(), "NEW.TXT", RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr), 7);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().localFileSizeKnown, 0u);
}

TEST_F(Copy, AnUploadWithoutMemoryForItsLocalBufferFailsWith11BeforeAnyMessage) {
    // Once the Access has gone, ending the access as complete would leave
    // the peer an empty file in place of the target: nothing is sent.
    const std::string source = scratch / "LOCAL.TXT";
    WriteFile(source, "A\r");
    PeerLink link({expectSilence(150)});
    RfaFailAllocationsAfter(0);
    const int32_t result = RfaCopy(link.handle(), source.c_str(), "OLD.TXT", RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr);
    RfaFailAllocationsAfter(-1);
    EXPECT_EQ(result, RFA_ERR_NO_RESOURCES);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().localFileSizeKnown, 0u);
}

TEST_F(Copy, AFailedLocalReadWindsTheUploadDownAndGives1) {
    // The process's own memory file opens, but reading it at offset 0 fails.
    const std::string source = "/proc/self/mem";
    struct stat info;
    ASSERT_EQ(::stat(source.c_str(), &info), 0);
    std::tm written{};
    ASSERT_NE(::gmtime_r(&info.st_mtime, &written), nullptr);
    static constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                              "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d-%s-%02d %02d:%02d:%02d", written.tm_mday, kMonths[written.tm_mon],
                  written.tm_year % 100, written.tm_hour, written.tm_min, written.tm_sec);
    // Rather than end the access as complete, which would leave the peer a
    // truncated file, the upload is wound down so the peer discards it.
    PeerLink link(Joined({UploadStart("NEW.TXT", stamp),
                          {expectExpedited(ContinueTransfer(3)), expect(AccessComplete(1)), reply(AccessComplete()),
                           expectSilence(150)}}));
    EXPECT_EQ(RfaCopy(link.handle(), source.c_str(), "NEW.TXT", RFA_COPY_UPLOAD, RFA_MODE_TEXT, nullptr), 1);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.errorValue, 0);
    EXPECT_EQ(status.bytesTransferred, 0u);
}

}  // namespace
}  // namespace zeltest
