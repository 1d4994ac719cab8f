// Record-at-a-time access to a remote file through RfaOpenFile,
// RfaReadFile, RfaWriteFile and RfaCloseFile against the scripted peer:
// the frames exchanged, the text each Read returns, and when Close waits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "peer_link.h"
#include "transfer_script.h"
#include "zel32/protocol/configuration.h"
#include "ztsock/ztsock.h"

namespace zeltest {
namespace {

constexpr uint8_t kRfmVariable = 2;
constexpr uint8_t kImpliedLineEnd = 0x02;
constexpr uint8_t kPrintFormat = 0x04;

// Opening A.TXT, whose records have the given RFM and RAT.
Script OpenSteps(uint8_t rfm, uint8_t rat) {
    return {expect(SentAttributes() + OpenAccess("A.TXT")), reply(RemoteAttributes(rfm, rat) + Acknowledge()),
            expect(OpenConnectControl()), reply(Acknowledge())};
}

struct ReadOutcome {
    int32_t code;
    std::string text;
    uint16_t length;
    bool overrun;  // a byte behind the caller's length was touched
};

// One RfaReadFile with a buffer of `size` bytes, watched for writes past it.
ReadOutcome Read(RfaHandle handle, uint16_t size) {
    constexpr char kGuard = 0x5A;
    std::string buffer(size + 32u, kGuard);
    uint16_t length = 0xEEEE;
    ReadOutcome outcome{};
    outcome.code = RfaReadFile(handle, size, buffer.data(), &length);
    outcome.length = length;
    outcome.text = std::string(buffer.data(), strnlen(buffer.data(), size));
    outcome.overrun = buffer.find_first_not_of(kGuard, size) != std::string::npos;
    return outcome;
}

// A file with no access behind it: a Read and a Write fail at once with 20,
// taking nothing, and the Close sends nothing and succeeds. (The peer's
// script ends in silence, so anything sent fails the test too.)
void ExpectNoFileAccess(RfaHandle handle) {
    const ReadOutcome read = Read(handle, 80);
    EXPECT_EQ(read.code, 20);
    EXPECT_EQ(read.length, 0);
    uint16_t written = 0xEEEE;
    EXPECT_EQ(RfaWriteFile(handle, 3, "TWO", &written), 20);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(RfaCloseFile(handle), 0);
}

class RemoteFile : public ::testing::Test {
protected:
    void SetUp() override {
        ZelResetConfigTemplate();
        ClearNotifications();
    }
};

// ---- Read: the text of one record ------------------------------------------

TEST_F(RemoteFile, ImpliedLineEndGivesCarriageReturnAndLineFeedInTextTransfer) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, kImpliedLineEnd),
                          {expect(RecordControl(1, 80)), reply(Data(Text("XYZ")))}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    const ReadOutcome read = Read(link.handle(), 80);
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(read.text, "XYZ\r\n");
    EXPECT_EQ(read.length, 5);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, AReadOnAnotherThreadThanTheOpenStillSeesTheTextTransfer) {
    // What the Open sent belongs to the link: a Read run by another thread
    // still adds the line end of a text transfer.
    PeerLink link(Joined({OpenSteps(kRfmVariable, kImpliedLineEnd),
                          {expect(RecordControl(1, 80)), reply(Data(Text("XYZ")))}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    ReadOutcome read{};
    std::thread reader([&] { read = Read(link.handle(), 80); });
    reader.join();
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(read.text, "XYZ\r\n");
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, StreamPeerGetsTheRecordWithoutAnAddedLineEnd) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, kImpliedLineEnd),
                          {expect(RecordControl(1, 80)), reply(Data(Text("XYZ")))}}),
                  StreamPeer());
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    const ReadOutcome read = Read(link.handle(), 80);
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(read.text, "XYZ");
    EXPECT_EQ(read.length, 3);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, PrintFormatGivesPrefixLineFeedsAndThePostfixCharacter) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, kPrintFormat),
                          {expect(RecordControl(1, 80)), reply(PrintData(2, 0x8D, Text("X")) + PrintData(1, 0x0A, Text("Y")) +
                                                                PrintData(0, 0xC1, Text("Z")))}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    ReadOutcome read = Read(link.handle(), 80);
    EXPECT_EQ(read.text, "\n\nX\r");  // 0x8D AND 0x1F is a carriage return
    EXPECT_EQ(read.length, 4);
    read = Read(link.handle(), 80);
    EXPECT_EQ(read.text, "\nY");  // a postfix below 0x80 adds nothing
    EXPECT_EQ(read.length, 2);
    read = Read(link.handle(), 80);
    EXPECT_EQ(read.text, "Z\x81");  // bit 0x40: 0xC1 AND 0x9F
    EXPECT_EQ(read.length, 2);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, RecordHoldingANulIsReturnedUpToIt) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(Data(Bytes{'A', 'B', 0x00, 'C', 'D'}))}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    const ReadOutcome read = Read(link.handle(), 80);
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(read.text, "AB");
    EXPECT_EQ(read.length, 2);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

// ---- Read: the record stream -----------------------------------------------

TEST_F(RemoteFile, FirstReadSendsTheControlAndEveryReadTakesOneRecord) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(Acknowledge()), reply(Data(Text("ONE"))),
                           reply(Data(Text("TWO")) + Data(Text("THREE"))), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 80).text, "ONE");  // the Acknowledge is passed over
    EXPECT_EQ(Read(link.handle(), 80).text, "TWO");
    EXPECT_EQ(Read(link.handle(), 80).text, "THREE");
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.peer().received().size(), 4u);  // Configuration, open block, connect, one Control
}

TEST_F(RemoteFile, ReadingPastTheEndReturnsNoTextAndWaitsForNothingMore) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(Data(Text("LAST")) + Status(0x5027)),
                           expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 80).text, "LAST");
    ReadOutcome read = Read(link.handle(), 80);
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(read.length, 0);
    EXPECT_EQ(read.text, "");
    EXPECT_EQ(link.Look().errorValue, 0x5027);
    // A further Read knows the file has ended.
    read = Read(link.handle(), 80);
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(read.length, 0);
    EXPECT_EQ(link.Look().errorValue, 0x5027);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, ReadStoppedByAnErrorStatusFailsWithItsCodeAfterTheWindDown) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(Status(0x5067)), expectExpedited(ContinueTransfer(5)),
                           expect(CloseAccessComplete()), reply(AccessComplete()), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    const ReadOutcome read = Read(link.handle(), 80);
    EXPECT_EQ(read.code, 11);
    EXPECT_EQ(read.length, 0);
    EXPECT_EQ(read.text, "");
    EXPECT_EQ(link.Look().errorValue, 0x00050067);
    // A Read after it sends nothing and fails again with the same error,
    // never as an empty record.
    const ReadOutcome again = Read(link.handle(), 80);
    EXPECT_EQ(again.code, 11);
    EXPECT_EQ(again.length, 0);
    EXPECT_EQ(link.Look().errorValue, 0x00050067);
    // The access is over: Close sends nothing and succeeds.
    EXPECT_EQ(RfaCloseFile(link.handle()), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, TheWindDownTakesWhateverIsLeftOfTheAccessUpToThePeersAccessComplete) {
    // A record sent after the error Status is passed over, not refused: a
    // refusal would stop short of the Access Complete, and the next request
    // would take that for its own answer.
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(Status(0x5067, 0x02) + Data(Text("X"))),
                           expectExpedited(ContinueTransfer(5)), expect(CloseAccessComplete()), reply(AccessComplete()),
                           expectAny(), reply(Status(0x4032)), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 80).code, 11);
    EXPECT_EQ(RfaDelete(link.handle(), "G"), 7);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, AnAccessCompleteInPlaceOfARecordEndsTheAccess) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(AccessComplete()), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 80).code, 20);
    // Nothing more will come: the next Read fails at once, the Close sends nothing.
    EXPECT_EQ(Read(link.handle(), 80).code, 20);
    EXPECT_EQ(RfaCloseFile(link.handle()), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, AnotherOperationBetweenTheReadsDropsTheRestOfARecord) {
    // The rest lies in the last Data received, which the other operation
    // may replace (here an Abort that takes a record and loses the link):
    // a Read after it never returns text spliced from two records.
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 10)), reply(Data(Text("0123456789ABCDEFGHIJ"))),
                           expect(CloseAccessComplete()), reply(Data(Text("abcdefghijklmnopqrst"))), closeConnection()}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 10).text, "012345678");
    EXPECT_EQ(RfaAbort(link.handle()), 2);
    const ReadOutcome after = Read(link.handle(), 10);
    EXPECT_NE(after.code, 0);
    EXPECT_EQ(after.text, "");
    link.Finish();
}

TEST_F(RemoteFile, AStatusThatCannotBeDecodedFailsTheReadAndLeavesTheAccessToTheClose) {
    // A Status too short to hold a status winds nothing down: the access
    // is still open at the peer, and the Close completes it.
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(Message(9, 0x02, {0x67})), expect(CloseAccessComplete()),
                           reply(AccessComplete()), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 80).code, 20);
    EXPECT_EQ(RfaCloseFile(link.handle()), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, AnAbortEndsTheAccessSoThatReadWriteAndCloseWaitForNothing) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 4)), reply(Data(Text("ABCDEFG")) + Data(Text("NEXT"))),
                           expect(AccessComplete(1)), reply(Data(Text("MORE"))), reply(AccessComplete()),
                           expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 4).text, "ABC");  // the rest of the record is pending
    EXPECT_EQ(RfaAbort(link.handle()), 0);
    // Nothing of the aborted file comes any more, not even the rest of the
    // record begun.
    ExpectNoFileAccess(link.handle());
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, OpenOfAMissingFileFailsWithTheStatusErrorAndLeavesNoAccess) {
    // No record stream goes into a file that did not open: a Read or Write
    // fails at once, and the Close sends nothing.
    PeerLink link({expect(SentAttributes() + OpenAccess("A.TXT")), reply(Status(0x4032)), expectSilence(150)});
    EXPECT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 7);
    EXPECT_EQ(link.Look().errorValue, 0x00040032);
    ExpectNoFileAccess(link.handle());
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, ReadGivesUpOnAPeerThatSendsAcknowledgesForEverInsteadOfARecord) {
    // Each Acknowledge comes well within the receive limit and may come
    // now, but only the Control's one is due: the run of them may not
    // outlast the limit. Waited out, the Read would have taken ONE.
    Script script = Joined({OpenSteps(kRfmVariable, 0x00), {expect(RecordControl(1, 80))}});
    for (int i = 0; i < 60; ++i) script.insert(script.end(), {reply(Acknowledge()), delay(25)});
    script.push_back(reply(Data(Text("ONE"))));
    ztsock::SetClientTimeouts(5000, 400);
    PeerLink link(std::move(script));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    const ReadOutcome read = Read(link.handle(), 80);
    ztsock::SetClientTimeouts(5000, 10000);
    EXPECT_EQ(read.code, 22);
    EXPECT_EQ(read.length, 0);
    EXPECT_EQ(link.Look().errorDetail, 60);
    // The peer is still sending: the record may not be taken by a later Read.
    EXPECT_EQ(Read(link.handle(), 80).code, 2);
    link.Finish();
}

// ---- Read: after a Sync Error --------------------------------------------------

// A Delete of B.TXT, as the library sends it.
Bytes DeleteAccess() { return SentAccess(4, "B.TXT", 0x02, {0x31}); }

TEST_F(RemoteFile, AReadRunAgainAfterASyncErrorAsksForItsRecordsAnew) {
    // The Configuration that repairs the link ends the peer's access: the
    // second run sends its Control again rather than wait for records. A
    // peer without the access answers it with a Sync Error too: the Read
    // fails with that at once, the file's access is over, the link goes on.
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(Status(0xA100)), expect(CurrentLibraryConfiguration()),
                           reply(PeerConfiguration()), expect(RecordControl(1, 80)), reply(Status(0xA100)),
                           expect(DeleteAccess()), reply(AccessComplete()), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    ClearNotifications();
    const ReadOutcome read = Read(link.handle(), 80);
    EXPECT_EQ(read.code, 20);
    EXPECT_EQ(read.length, 0);
    EXPECT_EQ(link.Look().errorValue, 0x000A0100);
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].status, 0u);
    // Nothing of the file will come: a Read fails at once, the Close sends nothing.
    EXPECT_EQ(Read(link.handle(), 80).code, 20);
    EXPECT_EQ(RfaCloseFile(link.handle()), 0);
    EXPECT_EQ(RfaDelete(link.handle(), "B.TXT"), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, AnotherOperationsRepairEndsTheOpenFilesAccess) {
    // Records were streaming to a Read when a Delete met a Sync Error. The
    // peer has dropped that access: a Read waits for no record, a Write
    // sends nothing into it, and the Close waits for no end of file.
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(Data(Text("ONE"))), expect(DeleteAccess()),
                           reply(Status(0xA0C0)), expect(CurrentLibraryConfiguration()), reply(PeerConfiguration()),
                           expect(DeleteAccess()), reply(AccessComplete()), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 80).text, "ONE");
    EXPECT_EQ(RfaDelete(link.handle(), "B.TXT"), 0);
    ExpectNoFileAccess(link.handle());
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

// ---- Read: a record that does not fit ---------------------------------------

TEST_F(RemoteFile, RecordLongerThanTheBufferComesInPiecesBeforeTheNextRecord) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, kImpliedLineEnd | kPrintFormat),
                          {expect(RecordControl(1, 4)), reply(PrintData(2, 0x00, Text("ABCDEFG")) +
                                                               PrintData(0, 0x00, Text("NEXT")))}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    // "\n\nABCDEFG\r\n" in pieces of at most three characters and a NUL.
    for (const char* piece : {"\n\nA", "BCD", "EFG", "\r\n", "NEX", "T\r\n"}) {
        const ReadOutcome read = Read(link.handle(), 4);
        EXPECT_EQ(read.code, 0);
        EXPECT_EQ(read.text, piece);
        EXPECT_EQ(read.length, std::strlen(piece));
        EXPECT_FALSE(read.overrun) << piece;
    }
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, TextThatFitsExactlyLeavesNothingPending) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, kImpliedLineEnd),
                          {expect(RecordControl(1, 6)), reply(Data(Text("ABC")) + Data(Text("DEFGHIJ")))}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    ReadOutcome read = Read(link.handle(), 6);
    EXPECT_EQ(read.text, "ABC\r\n");
    EXPECT_FALSE(read.overrun);
    read = Read(link.handle(), 6);
    EXPECT_EQ(read.text, "DEFGH");
    EXPECT_FALSE(read.overrun);
    read = Read(link.handle(), 6);
    EXPECT_EQ(read.text, "IJ\r\n");
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, ABufferOfOneByteGetsTheNulAloneAndSkipsTheRecord) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 1)), reply(Data(Text("AB")) + Data(Text("CD")))}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    ReadOutcome read = Read(link.handle(), 1);
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(read.length, 0);
    EXPECT_FALSE(read.overrun);
    EXPECT_EQ(Read(link.handle(), 80).text, "CD");
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

// ---- Close -------------------------------------------------------------------

TEST_F(RemoteFile, CloseAfterTheEndSendsTheAccessCompleteAtOnce) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(Status(0x5027)), expect(CloseAccessComplete()),
                           reply(AccessComplete()), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 80).length, 0);
    EXPECT_EQ(RfaCloseFile(link.handle()), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, CloseGivesUpOnAPeerThatSendsEndOfFileForEverInsteadOfItsAccessComplete) {
    Script script = Joined({OpenSteps(kRfmVariable, 0x00),
                            {expect(RecordControl(1, 80)), reply(Status(0x5027)), expect(CloseAccessComplete())}});
    for (int i = 0; i < 60; ++i) script.insert(script.end(), {reply(Status(0x5027)), delay(25)});
    script.push_back(reply(AccessComplete()));
    ztsock::SetClientTimeouts(5000, 400);
    PeerLink link(std::move(script));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 80).length, 0);
    const int32_t result = RfaCloseFile(link.handle());
    ztsock::SetClientTimeouts(5000, 10000);
    EXPECT_EQ(result, 22);
    EXPECT_EQ(link.Look().errorDetail, 60);
    link.Finish();
}

TEST_F(RemoteFile, CloseInTheMiddleFailsOnTheNextRecord) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(Data(Text("ONE"))), reply(Data(Text("TWO"))),
                           expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 80).text, "ONE");
    EXPECT_EQ(RfaCloseFile(link.handle()), 20);
    EXPECT_EQ(link.Look().errorValue, 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, CloseInTheMiddleGoesOnAsAfterTheEndWhenTheStatusIsNext) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(Data(Text("ONE"))), reply(Status(0x5027)),
                           expect(CloseAccessComplete()), reply(AccessComplete()), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 80).text, "ONE");
    EXPECT_EQ(RfaCloseFile(link.handle()), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, CloseWithoutAReadWaitsForNoStatus) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(CloseAccessComplete()), reply(AccessComplete()), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(RfaCloseFile(link.handle()), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, AfterCloseTheNextOpenSendsItsReadControlAgain) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(1, 80)), reply(Status(0x5027)), expect(CloseAccessComplete()),
                           reply(AccessComplete()),
                           // The second Open carries the USZ the last Read gave.
                           expect(SentAttributes() + OpenAccess("A.TXT")), reply(Acknowledge()),
                           expect(Bytes{0x04, 0x00, 0x02, 0x81, 0x01, 0x06, 80, 0x00}), reply(Acknowledge()),
                           expect(RecordControl(1, 80)), reply(Data(Text("AGAIN")))}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 80).length, 0);
    EXPECT_EQ(RfaCloseFile(link.handle()), 0);
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    EXPECT_EQ(Read(link.handle(), 80).text, "AGAIN");
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

// ---- Write ---------------------------------------------------------------------

TEST_F(RemoteFile, WriteSendsTheControlOnceAndEachRecordAsOneDataMessage) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(4, 5)),
                           // The records stream: they leave with the Close's Access Complete.
                           expect(SentData(Text("FIRST")) + SentData(Text("2ND")) + CloseAccessComplete()),
                           reply(AccessComplete()), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    uint16_t result = 0;
    EXPECT_EQ(RfaWriteFile(link.handle(), 5, "FIRST", &result), 0);
    EXPECT_EQ(result, 5);
    EXPECT_EQ(RfaWriteFile(link.handle(), 3, "2ND", &result), 0);
    EXPECT_EQ(result, 3);
    EXPECT_EQ(RfaCloseFile(link.handle()), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, AnErrorThePeerReportsAboutTheWritesSurfacesAtClose) {
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(4, 4)), expect(SentData(Text("DATA")) + CloseAccessComplete()),
                           reply(Status(0x4097)), expectExpedited(ContinueTransfer(5)),
                           expect(CloseAccessComplete()), reply(AccessComplete()), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    uint16_t result = 0;
    EXPECT_EQ(RfaWriteFile(link.handle(), 4, "DATA", &result), 0);
    EXPECT_EQ(RfaCloseFile(link.handle()), 17);
    EXPECT_EQ(link.Look().errorValue, 0x00040097);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, RecordsWrittenIntoAnAccessASyncErrorsRepairDroppedFailTheClose) {
    // The Configuration that repairs the Sync Error makes the peer drop the
    // access, and the records written into it: the Close reports it.
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00),
                          {expect(RecordControl(4, 4)), expect(SentData(Text("DATA")) + CloseAccessComplete()),
                           reply(Status(0xA0C0)), expect(CurrentLibraryConfiguration()), reply(PeerConfiguration()),
                           expect(DeleteAccess()), reply(AccessComplete()), expectSilence(150)}}));
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    uint16_t result = 0;
    EXPECT_EQ(RfaWriteFile(link.handle(), 4, "DATA", &result), 0);
    EXPECT_EQ(RfaCloseFile(link.handle()), 20);
    EXPECT_EQ(RfaDelete(link.handle(), "B.TXT"), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(RemoteFile, ARecordTooLongForOneBlockIsRefusedWith27AndNothingIsSent) {
    PeerConfig small;
    small.bufsiz = 512;
    PeerLink link(Joined({OpenSteps(kRfmVariable, 0x00), {expectSilence(150)}}), small);
    ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
    const std::string record(508, 'R');
    uint16_t result = 0xEEEE;
    EXPECT_EQ(RfaWriteFile(link.handle(), static_cast<uint16_t>(record.size()), record.c_str(), &result), 27);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

}  // namespace
}  // namespace zeltest
