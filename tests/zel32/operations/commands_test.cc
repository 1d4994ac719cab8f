// The single-request commands through the public interface against the
// scripted peer: the exact requests, the replies that end them, the
// capabilities they need, Abort, Cwd, the notification of their outcome
// and the repetition after a Sync Error.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "peer_link.h"
#include "request_messages.h"
#include "zel32/api/driver.h"
#include "zel32/protocol/configuration.h"
#include "zel32/protocol/context.h"
#include "ztsock/ztsock.h"

namespace zeltest {
namespace {

PeerConfig PeerWith(std::initializer_list<unsigned> extra) {
    PeerConfig peer;
    peer.capabilities.insert(peer.capabilities.end(), extra.begin(), extra.end());
    return peer;
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        ZelResetConfigTemplate();
        ClearNotifications();
        std::memset(list_, 'x', sizeof list_);
        ZelInit(list_, sizeof list_);
    }
    void TearDown() override { ZelInit(nullptr, 0); }

    // The one notification of the last operation.
    static void ExpectNotified(RfaHandle handle, uint32_t status, const std::string& text) {
        ASSERT_EQ(Notifications().size(), 1u);
        EXPECT_EQ(Notifications()[0].handle, handle);
        EXPECT_EQ(Notifications()[0].status, status);
        EXPECT_EQ(Notifications()[0].spoolFile, 0);
        EXPECT_EQ(Notifications()[0].text, text);
    }

    char list_[64];
};

// ---- Delete, Md, Rd, Submit, Rename -----------------------------------------

TEST_F(Commands, DeleteSendsOneAccessAndEndsOnThePeersAccessComplete) {
    PeerLink link({expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(Acknowledge()), reply(AccessComplete()),
                   expectSilence()});
    ASSERT_EQ(link.openResult(), 0);
    EXPECT_EQ(RfaDelete(link.handle(), "A.TXT"), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(Hex(link.peer().received().at(1).payload), "03 00 04 00 05 41 2e 54 58 54 02 00 31 00");
    // Success: status 2 and two blanks; the list buffer is not touched.
    ExpectNotified(link.handle(), 2, "  ");
    EXPECT_EQ(list_[0], 'x');
}

TEST_F(Commands, DeleteOfAFileThePeerCannotFindFailsWith7AndSendsNothingMore) {
    PeerLink link({expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(Status(0x4032)), expectSilence()});
    EXPECT_EQ(RfaDelete(link.handle(), "A.TXT"), 7);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().errorValue, 0x00040032);
    // Failure: status 0, an empty text, and the list buffer begins with two blanks.
    ExpectNotified(link.handle(), 0, "");
    EXPECT_EQ(std::string(list_, 4), std::string("  \0x", 4));
}

TEST_F(Commands, ARequestLongerThanThePeersBufferFailsWith27AndIsNotSent) {
    // A 255-character name makes an Access of 264 bytes; this peer takes
    // blocks of 256. The next frame the peer gets is the next request's.
    PeerConfig small = PeerWith({37});  // 37: it can rename
    small.bufsiz = 256;
    PeerLink link({expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(AccessComplete()), expectSilence()}, small);
    ASSERT_EQ(link.openResult(), 0);
    const std::string longName(255, 'N');
    EXPECT_EQ(RfaDelete(link.handle(), longName.c_str()), 27);
    ExpectNotified(link.handle(), 0, "");
    // Nothing of a refused request goes out later: not the Attributes held
    // before an Md's Access, not a rename's Access whose Name is too long.
    EXPECT_EQ(RfaMd(link.handle(), longName.c_str()), 27);
    EXPECT_EQ(RfaRename(link.handle(), "A.TXT", longName.c_str()), 27);
    ClearNotifications();
    EXPECT_EQ(RfaDelete(link.handle(), "A.TXT"), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(Commands, MdSendsAttributesAndAccessInOneTransmission) {
    PeerLink link({expect(SentAttributes() + Access(2, "[.NEW]", 0x02, kDisplayMain)), reply(AccessComplete()),
                   expectSilence()});
    EXPECT_EQ(RfaMd(link.handle(), "[.NEW]"), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    ExpectNotified(link.handle(), 2, "  ");
}

TEST_F(Commands, RdSendsOnlyAnAccessWithTheFunctionOfDelete) {
    PeerLink link({expect(Access(4, "[.OLD]", 0x02, kDisplayMain)), reply(Acknowledge()), reply(AccessComplete()),
                   expectSilence()});
    EXPECT_EQ(RfaRd(link.handle(), "[.OLD]"), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(Commands, SubmitSendsAnAccessOfFunction8ToAPeerThatCanSubmit) {
    PeerLink link({expect(Access(8, "JOB.COM", 0x02, kDisplayMain)), reply(AccessComplete()), expectSilence()},
                  PeerWith({30}));
    EXPECT_EQ(RfaSubmit(link.handle(), "JOB.COM"), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(Commands, RenameSendsAnAccessWithoutDisplayAndThenTheNewName) {
    PeerLink link({expect(Access(3, "A.TXT", 0x02, kNoDisplay)), expect(Message(15, 0x00, Bytes{0x02, 0x07} + Text("NEW.TXT"))),
                   reply(Acknowledge()), reply(AccessComplete()), expectSilence()},
                  PeerWith({37}));
    EXPECT_EQ(RfaRename(link.handle(), "A.TXT", "NEW.TXT"), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(Hex(link.peer().received().at(1).payload), "03 00 03 00 05 41 2e 54 58 54 02 00");
    EXPECT_EQ(Hex(link.peer().received().at(2).payload), "0f 00 02 07 4e 45 57 2e 54 58 54");
}

TEST_F(Commands, AMissingCapabilityGives16AndNothingIsSent) {
    RfaProtectionRecord record{};
    struct Case {
        const char* what;
        PeerConfig peer;
        std::function<int32_t(RfaHandle)> run;
    };
    const Case cases[] = {
        {"rename without 37", PeerWith({29, 30, 27, 44}), [](RfaHandle h) { return RfaRename(h, "A", "B"); }},
        {"submit without 30", PeerWith({29, 37, 27, 44}), [](RfaHandle h) { return RfaSubmit(h, "A"); }},
        {"print without 29", PeerWith({30, 37, 27, 44}), [](RfaHandle h) { return RfaPrint(h, "A"); }},
        {"protection without 27", PeerWith({29, 30, 37, 44}),
         [&record](RfaHandle h) { return RfaProtection(h, "A", &record, 0); }},
        {"setting protection without 44", PeerWith({27, 29, 30, 37}),
         [&record](RfaHandle h) { return RfaProtection(h, "A", &record, 1); }},
    };
    for (const Case& c : cases) {
        ClearNotifications();
        PeerLink link({expectSilence()}, c.peer);
        ASSERT_EQ(link.openResult(), 0) << c.what;
        EXPECT_EQ(c.run(link.handle()), 16) << c.what;
        EXPECT_EQ(link.Look().errorValue, 0) << c.what;
        ASSERT_TRUE(link.Finish()) << c.what << link.peer().report();
        EXPECT_EQ(link.peer().received().size(), 1u) << c.what;  // the Configuration only
        ExpectNotified(link.handle(), 0, "");
    }
}

// ---- Print -------------------------------------------------------------------

TEST_F(Commands, PrintAnsweredWithAnAcknowledgeCompletesWithThePrintOptions) {
    PeerLink link({expect(SentPrintAttributes() + Access(1, "A.TXT", 0x02, kDisplayFull)), reply(Acknowledge()),
                   expect({0x07, 0x00, 0x01, 0x80, 0x80, 0x40}), reply(AccessComplete()), expectSilence()},
                  PeerWith({29}));
    EXPECT_EQ(RfaPrint(link.handle(), "A.TXT"), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    ExpectNotified(link.handle(), 2, "  ");
}

TEST_F(Commands, PrintAnsweredWithAnAccessCompleteSendsNothingMore) {
    PeerLink link({expect(SentPrintAttributes() + Access(1, "A.TXT", 0x02, kDisplayFull)), reply(AccessComplete()),
                   expectSilence()},
                  PeerWith({29}));
    EXPECT_EQ(RfaPrint(link.handle(), "A.TXT"), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
}

// ---- Protection --------------------------------------------------------------

const Bytes kSmithSystem5 = ProtectionReply({0x03, 0x05, 'S', 'M', 'I', 'T', 'H', 0x05});

TEST_F(Commands, ProtectionReadFillsAnEmptyRecordAndCompletesTheAccess) {
    PeerLink link({expect(SentAttributes() + Access(1, "A.TXT", 0x02, kDisplayMain)),
                   reply(kSmithSystem5 + Acknowledge()), expect(AccessComplete(1)), reply(AccessComplete()),
                   expectSilence()},
                  PeerWith({27}));
    RfaProtectionRecord record{};
    EXPECT_EQ(RfaProtection(link.handle(), "A.TXT", &record, 0), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(record.present, 0x03u);
    EXPECT_STREQ(record.owner, "SMITH");
    EXPECT_EQ(record.system, 0x05u);
    EXPECT_EQ(record.ownerAccess, 0u);
    EXPECT_EQ(record.group, 0u);
    EXPECT_EQ(record.world, 0u);
}

TEST_F(Commands, ProtectionReadOnlyAddsBitsToTheRecord) {
    PeerLink link({expect(SentAttributes() + Access(1, "A.TXT", 0x02, kDisplayMain)),
                   reply(kSmithSystem5 + ProtectionReply({0x10, 0x03}) + Acknowledge()), expect(AccessComplete(1)),
                   reply(AccessComplete()), expectSilence()},
                  PeerWith({27}));
    RfaProtectionRecord record{};
    record.present = RFA_PROT_WORLD | RFA_PROT_GROUP;
    std::strcpy(record.owner, "JONESY");
    record.system = 0x08;
    record.group = 0x0F;
    record.world = 0x04;
    EXPECT_EQ(RfaProtection(link.handle(), "A.TXT", &record, 0), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(record.present, 0x1Bu);
    EXPECT_STREQ(record.owner, "SMITH");  // ended by a NUL: no "Y" of the earlier owner
    EXPECT_EQ(record.system, 0x0Du);
    EXPECT_EQ(record.group, 0x0Fu);
    EXPECT_EQ(record.world, 0x07u);
}

TEST_F(Commands, ProtectionReadKeepsTheOwnerWhenTheMessageBringsNone) {
    // The owner bit with a body that ends at the menu, then with an owner
    // of no characters: the bit is added, the owner text stays.
    PeerLink link({expect(SentAttributes() + Access(1, "A.TXT", 0x02, kDisplayMain)),
                   reply(ProtectionReply({0x01}) + ProtectionReply({0x01, 0x00}) + Acknowledge()),
                   expect(AccessComplete(1)), reply(AccessComplete()), expectSilence()},
                  PeerWith({27}));
    RfaProtectionRecord record{};
    std::strcpy(record.owner, "JONES");
    EXPECT_EQ(RfaProtection(link.handle(), "A.TXT", &record, 0), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(record.present, 0x01u);
    EXPECT_STREQ(record.owner, "JONES");
}

TEST_F(Commands, ProtectionReadAnsweredWithAnAccessCompleteEndsThere) {
    PeerLink link({expect(SentAttributes() + Access(1, "A.TXT", 0x02, kDisplayMain)), reply(AccessComplete()),
                   expectSilence()},
                  PeerWith({27}));
    RfaProtectionRecord record{};
    EXPECT_EQ(RfaProtection(link.handle(), "A.TXT", &record, 0), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(record.present, 0u);
}

TEST_F(Commands, ProtectionSetSendsComplete6ThenTheProtectionAndComplete7) {
    PeerLink link({expect(SentAttributes() + Access(1, "A.TXT", 0x03, kDisplayMain)), reply(Acknowledge()),
                   expect({0x04, 0x00, 0x02, 0x01, 0x03}),  // the connecting Control
                   reply(Acknowledge()), expect(AccessComplete(6)),
                   expect(ProtectionReply({0x03, 0x05, 'S', 'M', 'I', 'T', 'H', 0x0F}) + AccessComplete(7)),
                   reply(AccessComplete()), expectSilence()},
                  PeerWith({27, 44}));
    RfaProtectionRecord record{};
    record.present = RFA_PROT_OWNER | RFA_PROT_SYSTEM;
    std::strcpy(record.owner, "SMITH");
    record.system = 0x1F;
    EXPECT_EQ(RfaProtection(link.handle(), "A.TXT", &record, 1), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.context()->controlConnect, 0u);  // restored after the Control
    ExpectNotified(link.handle(), 2, "  ");
}

// ---- Cwd and Abort -----------------------------------------------------------

TEST_F(Commands, CwdSendsNothingAndSucceeds) {
    PeerLink link({expectSilence()});
    EXPECT_EQ(RfaDriveOperation(link.handle(), kOpCwd), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.peer().received().size(), 1u);
    ExpectNotified(link.handle(), 2, "  ");
}

TEST_F(Commands, AbortDrainsDataAndPassesOverRefusedRepliesUntilTheAccessComplete) {
    PeerLink link({expect(AccessComplete(1)), reply(Data(Text("REST"))), reply(Data(Text("MORE")) + Data({})),
                   reply(Acknowledge()),  // not admitted after an Access Complete: passed over
                   reply(AccessComplete()), expectSilence()});
    EXPECT_EQ(RfaAbort(link.handle()), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().errorCode, 0);
    EXPECT_TRUE(Notifications().empty());
    EXPECT_EQ(link.context()->aborting, 0u);
}

TEST_F(Commands, AbortDropsAStatusOfTheInterruptedTransfer) {
    // The Abort's own Access Complete has ended the access: a Status still
    // coming from the interrupted transfer is read and dropped, with no
    // second wind-down, and the peer's Access Complete ends the Abort.
    PeerLink link({expect(AccessComplete(1)), reply(Data(Text("REST"))), reply(Status(0x7001)),
                   reply(AccessComplete()), expectSilence()});
    EXPECT_EQ(RfaAbort(link.handle()), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().errorCode, 0);
    EXPECT_TRUE(Notifications().empty());
}

TEST_F(Commands, AbortEndsWhenThePeerHasClosedTheConnection) {
    PeerLink link({expect(AccessComplete(1)), closeConnection()});
    EXPECT_EQ(RfaAbort(link.handle()), 2);
    const RfaLinkStatus status = link.Look();
    EXPECT_EQ(status.errorDetail, 54);
    EXPECT_TRUE(Notifications().empty());
    ASSERT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(Commands, AbortEndsWhenTheReceiveTimesOut) {
    ztsock::SetClientTimeouts(5000, 300);
    PeerLink link({expect(AccessComplete(1)), expectSilence(1000)});
    const int32_t result = RfaAbort(link.handle());
    ztsock::SetClientTimeouts(5000, 10000);
    EXPECT_EQ(result, 22);
    EXPECT_EQ(link.Look().errorDetail, 60);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(Commands, ARequestAfterAReplyThatNeverCameFailsRatherThanTakeTheLateReplyForItsOwn) {
    // The Delete of A.TXT gives up waiting; its answer comes late. Were the
    // connection kept, the Delete of B.TXT would read that Access Complete
    // as its own success.
    ztsock::SetClientTimeouts(5000, 300);
    PeerLink link({expect(Access(4, "A.TXT", 0x02, kDisplayMain)), delay(600),
                   reply(AccessComplete()), expectSilence(300)});
    EXPECT_EQ(RfaDelete(link.handle(), "A.TXT"), 22);
    EXPECT_EQ(link.Look().errorDetail, 60);
    EXPECT_EQ(RfaDelete(link.handle(), "B.TXT"), 2);
    EXPECT_EQ(link.Look().errorDetail, 54);
    ztsock::SetClientTimeouts(5000, 10000);
    link.Finish();
    // The Configuration and the first Delete's Access: nothing of the second.
    EXPECT_EQ(link.peer().received().size(), 2u);
}

TEST_F(Commands, AbortGivesUpOnAPeerThatKeepsSendingInsteadOfItsAccessComplete) {
    // Each Data message comes well within the receive limit, but the
    // drain as a whole may not outlast it.
    Script script{expect(AccessComplete(1))};
    for (int i = 0; i < 60; ++i) script.insert(script.end(), {reply(Data(Text("MORE"))), delay(25)});
    script.push_back(reply(AccessComplete()));
    ztsock::SetClientTimeouts(5000, 400);
    PeerLink link(std::move(script));
    const int32_t result = RfaAbort(link.handle());
    // Waited out, the stream would have ended in success after about 1.5 s.
    EXPECT_EQ(result, 22);
    EXPECT_EQ(link.Look().errorDetail, 60);
    // The peer is still in the middle of the access: the connection is
    // broken, so that no later request takes its leftovers for a reply.
    EXPECT_EQ(RfaDelete(link.handle(), "A.TXT"), 2);
    ztsock::SetClientTimeouts(5000, 10000);
    link.Finish();
}

TEST_F(Commands, AbortWaitsForAPeerThatIsSlowToAnswerButThenEndsTheAccess) {
    // The first leftover comes late, and the rest within the limit of it:
    // only a peer that goes on sending for longer than the limit is cut off.
    ztsock::SetClientTimeouts(5000, 1000);
    PeerLink link({expect(AccessComplete(1)), delay(700), reply(Data(Text("REST"))), delay(300),
                   reply(Data(Text("MORE"))), delay(200), reply(AccessComplete()), expectSilence()});
    const int32_t result = RfaAbort(link.handle());
    ztsock::SetClientTimeouts(5000, 10000);
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
}

// ---- Refused replies ---------------------------------------------------------

TEST_F(Commands, ARefusedReplyTakesTheRestOfItsBlockWithItSoTheNextRequestGetsItsOwnAnswer) {
    // The Delete of A.TXT is answered with one block: a reply that fails it
    // with 20, then an Acknowledge and an Access Complete. Were these kept,
    // the Delete of B.TXT would read them as its success before the peer
    // had even answered it.
    const Bytes kAcknowledgeWithLength = Message(6, 0x02, {});
    const struct {
        const char* what;
        Bytes reply;
    } cases[] = {
        {"an Attributes whose ALQ has 6 bytes", Attributes({0x40, 0x06, 1, 2, 3, 4, 5, 6})},
        {"a message of type 19", Message(19, 0x02, {})},
        {"a Continue Transfer, not a reply to an Access", Message(5, 0x02, {2})},
    };
    for (const auto& c : cases) {
        ClearNotifications();
        PeerLink link({expect(Access(4, "A.TXT", 0x02, kDisplayMain)),
                       reply(c.reply + kAcknowledgeWithLength + AccessComplete()),
                       expect(Access(4, "B.TXT", 0x02, kDisplayMain)), reply(Status(0x4032)), expectSilence()});
        EXPECT_EQ(RfaDelete(link.handle(), "A.TXT"), 20) << c.what;
        EXPECT_EQ(RfaDelete(link.handle(), "B.TXT"), 7) << c.what;
        EXPECT_EQ(link.Look().errorValue, 0x00040032) << c.what;
        ASSERT_TRUE(link.Finish()) << c.what << "\n" << link.peer().report();
    }
}

// ---- Replies sent for ever ---------------------------------------------------

// `count` copies of `message`, each a block of its own a little after the last.
Script Repeated(const Bytes& message, int count = 60) {
    Script steps;
    for (int i = 0; i < count; ++i) steps.insert(steps.end(), {reply(message), delay(25)});
    return steps;
}

TEST_F(Commands, ACommandGivesUpOnAPeerThatKeepsDescribingInsteadOfEndingTheWait) {
    // Each reply comes well within the receive limit and may come now, but
    // the replies to one request may not outlast the limit as a whole.
    // Waited out, each stream would have ended in success after about 1.5 s.
    RfaProtectionRecord record{};
    struct Case {
        const char* what;
        Script request;
        Bytes repeated;
        Script end;
        std::function<int32_t(RfaHandle)> run;
    };
    const Case cases[] = {
        {"delete, Acknowledges", {expect(Access(4, "A.TXT", 0x02, kDisplayMain))}, Acknowledge(),
         {reply(AccessComplete())}, [](RfaHandle h) { return RfaDelete(h, "A.TXT"); }},
        {"rename, Names",
         {expect(Access(3, "A.TXT", 0x02, kNoDisplay)), expect(Message(15, 0x00, Bytes{0x02, 0x01} + Text("B")))},
         Name(0x02, "A.TXT"), {reply(AccessComplete())}, [](RfaHandle h) { return RfaRename(h, "A.TXT", "B"); }},
        {"print, Dates", {expect(SentPrintAttributes() + Access(1, "A.TXT", 0x02, kDisplayFull))},
         DateAndTime("04-NOV-26 03:57:26", "04-NOV-26 03:57:26"), {reply(AccessComplete())},
         [](RfaHandle h) { return RfaPrint(h, "A.TXT"); }},
        {"protection, Protections", {expect(SentAttributes() + Access(1, "A.TXT", 0x02, kDisplayMain))}, kSmithSystem5,
         {reply(Acknowledge()), expect(AccessComplete(1)), reply(AccessComplete())},
         [&record](RfaHandle h) { return RfaProtection(h, "A.TXT", &record, 0); }},
    };
    ztsock::SetClientTimeouts(5000, 400);
    for (const Case& c : cases) {
        Script script = c.request;
        const Script flood = Repeated(c.repeated);
        script.insert(script.end(), flood.begin(), flood.end());
        script.insert(script.end(), c.end.begin(), c.end.end());
        PeerLink link(std::move(script), PeerWith({29, 27, 37}));
        EXPECT_EQ(c.run(link.handle()), 22) << c.what;
        EXPECT_EQ(link.Look().errorDetail, 60) << c.what;
        // The peer is still answering: a later request may not take its
        // replies for its own.
        EXPECT_EQ(RfaDelete(link.handle(), "A.TXT"), 2) << c.what;
        link.Finish();
    }
    ztsock::SetClientTimeouts(5000, 10000);
}

// ---- Sync Error --------------------------------------------------------------

TEST_F(Commands, ASyncErrorRepeatsTheCommandOnceAfterAConfiguration) {
    PeerLink link({expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(Status(0xA0D2)),
                   expect(CurrentLibraryConfiguration()), reply(PeerConfiguration()),
                   expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(AccessComplete()), expectSilence()});
    EXPECT_EQ(RfaDelete(link.handle(), "A.TXT"), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().errorValue, 0);
    ExpectNotified(link.handle(), 2, "  ");  // only the second run's outcome
}

TEST_F(Commands, WhatTheRepairingConfigurationRecordsIsNotTheOutcome) {
    // A peer lacking capability 40 leaves the link open with error 1; the
    // repeated exchange records that 1 again, and the second run succeeds.
    PeerConfig lacking;
    lacking.capabilities = {5, 18, 25};
    PeerLink link({expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(Status(0xA0D2)),
                   expect(CurrentLibraryConfiguration()), reply(PeerConfiguration(lacking)),
                   expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(AccessComplete()), expectSilence()},
                  lacking);
    ASSERT_EQ(link.openResult(), 1);
    ClearNotifications();
    EXPECT_EQ(RfaDelete(link.handle(), "A.TXT"), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().errorCode, 0);
    ExpectNotified(link.handle(), 2, "  ");
}

TEST_F(Commands, ASecondSyncErrorFailsWith20AndRunsNoThirdTime) {
    PeerLink link({expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(Status(0xA0D2)),
                   expect(CurrentLibraryConfiguration()), reply(PeerConfiguration()),
                   expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(Status(0xA001)), expectSilence()});
    EXPECT_EQ(RfaDelete(link.handle(), "A.TXT"), 20);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().errorValue, 0x000A0001);
    ExpectNotified(link.handle(), 0, "");
}

}  // namespace
}  // namespace zeltest
