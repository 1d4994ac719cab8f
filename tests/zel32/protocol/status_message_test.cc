// The Status decoder: expected statuses, the error mapping, and the wind-down
// of an access, on a link open to the scripted peer.
#include "zel32/protocol/status_message.h"

#include <gtest/gtest.h>

#include "codec_context.h"
#include "peer_link.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/templates.h"
#include "wire/message_types.h"

namespace zeltest {
namespace {

Bytes StatusBody(uint16_t code) { return {static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)}; }

TEST(StatusMessage, EndOfFileIsExpectedWhileReadingOrCopying) {
    for (uint16_t operation : {kOpReadFile, kOpCopy}) {
        CodecContext codec;
        codec->operation = operation;
        EXPECT_EQ(codec.Decode(wire::kStatus, StatusBody(0x5027)), 2);
        EXPECT_EQ(codec.errorCode(), 0);
        EXPECT_EQ(codec.errorValue(), 0x5027);
        EXPECT_EQ(codec->statusCode, 0x5027);
    }
}

TEST(StatusMessage, ErrorCodesByStatus) {
    struct Row {
        uint16_t status;
        uint16_t code;
    };
    for (const Row& row : {Row{0x400A, 7}, Row{0x4020, 5}, Row{0x4025, 6}, Row{0x4030, 8}, Row{0x4032, 7},
                           Row{0x4033, 7}, Row{0x4048, 6}, Row{0x4055, 18}, Row{0x4097, 17}, Row{0x5067, 11},
                           Row{0x4031, 20}, Row{0x1000, 20}, Row{0x5027, 20}, Row{0xF123, 20}}) {
        CodecContext codec;
        codec->operation = kOpDelete;
        codec->lastSentType = wire::kAccess;  // nothing is sent after an Access
        EXPECT_EQ(codec.Decode(wire::kStatus, StatusBody(row.status)), -1) << std::hex << row.status;
        EXPECT_EQ(codec.errorCode(), row.code) << std::hex << row.status;
        EXPECT_EQ(codec.errorValue(), static_cast<int32_t>(((row.status >> 12) << 16) | (row.status & 0xFFF)));
    }
}

TEST(StatusMessage, SyncErrorRecordsNothingAndIsLeftToTheDriver) {
    CodecContext codec;
    codec->operation = kOpDelete;
    EXPECT_EQ(codec.Decode(wire::kStatus, StatusBody(0xA000)), -1);
    EXPECT_EQ(codec.errorCode(), 0);
    EXPECT_EQ(codec.errorValue(), 0xA000);
    EXPECT_EQ(codec->statusCode, 0xA000);
}

TEST(StatusMessage, OptionalFieldsAreCheckedAgainstTheBody) {
    CodecContext codec;
    codec->operation = kOpReadFile;
    Bytes body = StatusBody(0x5027) + Bytes{0x01, 0xAA, 0x00, 0x02, 0x05, 0x06, 0x03} + Text("why");
    EXPECT_EQ(codec.Decode(wire::kStatus, body), 2);
    EXPECT_EQ(codec->statusFields.rfaCount, 1);
    EXPECT_EQ(codec->statusFields.stvCount, 2);
    EXPECT_STREQ(codec->statusFields.stx, "why");
    // An STX of 200 bytes with 50 left.
    body = StatusBody(0x5027) + Bytes{0, 0, 0, 200} + Bytes(50, 'x');
    EXPECT_EQ(codec.Decode(wire::kStatus, body), -1);
    EXPECT_EQ(codec.errorCode(), 20);
    body = StatusBody(0x5027) + Bytes{9} + Bytes(9, 'x');  // RFA above 8
    EXPECT_EQ(codec.Decode(wire::kStatus, body), -1);
    // No room for the status itself: refused, and the status of the
    // Status decoded before is not left behind (a Sync Error left there
    // would start a resynchronisation).
    ASSERT_EQ(codec.Decode(wire::kStatus, StatusBody(0xA000)), -1);
    EXPECT_EQ(codec.Decode(wire::kStatus, {0x27}), -1);
    EXPECT_EQ(codec->statusCode, 0);
}

TEST(StatusMessage, ListingStatusesAreExpectedOnceAFileWasNamed) {
    CodecContext codec;
    codec->operation = kOpDir;
    ZelListing() = ZelListingFlags{false, false};
    for (uint16_t status : {0x4032, 0x4030, 0x4055}) {
        EXPECT_EQ(codec.Decode(wire::kStatus, StatusBody(status)), 2) << std::hex << status;
        EXPECT_EQ(codec.errorCode(), 0);
    }
}

PeerConfig Peer() {
    PeerConfig peer;
    peer.capabilities = {5, 18, 20, 25, 40};
    return peer;
}

TEST(StatusWindDown, AnErrorAnsweringAnAccessSendsNothing) {
    PeerLink link({reply(Status(0x4032)), expectSilence(200)}, Peer());
    ZelContext* context = link.context();
    context->operation = kOpDelete;
    context->lastSentType = wire::kAccess;
    EXPECT_EQ(ZelReceiveMessage(context), -1);
    EXPECT_EQ(link.Look().errorCode, 7);
    EXPECT_EQ(link.Look().errorValue, 0x00040032);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST(StatusWindDown, AnErrorMidReadEndsTheAccessWithExpeditedContinueTransfer) {
    PeerLink link({reply(Status(0x5067)), expectExpedited(ContinueTransfer(5)), expect(AccessComplete(1)),
                   reply(AccessComplete(1)), expectSilence(200)},
                  Peer());
    ZelContext* context = link.context();
    context->operation = kOpReadFile;
    context->lastSentType = wire::kControl;
    EXPECT_EQ(ZelReceiveMessage(context), -1);
    EXPECT_EQ(link.Look().errorCode, 11);
    EXPECT_EQ(link.Look().errorValue, 0x00050067);
    EXPECT_EQ(context->aborting, 0u);
    EXPECT_EQ(context->lastReceivedType, wire::kAccessComplete);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

// The wind-down reads on from where the Status ends: its Access Complete may
// share the Status's block, and what shares the Access Complete's block is
// read from its first byte.
TEST(StatusWindDown, TheMessagesBehindTheStatusAreReadFromWhereItEnds) {
    PeerLink sameBlock({reply(Status(0x5067, 0x02) + AccessComplete(1)), expectExpedited(ContinueTransfer(5)),
                        expect(AccessComplete(1)), expectSilence(200)},
                       Peer());
    ZelContext* context = sameBlock.context();
    context->operation = kOpReadFile;
    context->lastSentType = wire::kControl;
    EXPECT_EQ(ZelReceiveMessage(context), -1);
    EXPECT_EQ(sameBlock.Look().errorCode, 11);
    EXPECT_EQ(context->lastReceivedType, wire::kAccessComplete);
    EXPECT_EQ(context->blockRemaining, 0);
    EXPECT_TRUE(sameBlock.Finish()) << sameBlock.peer().report();

    PeerLink nextBlock({reply(Status(0x5067)), expectExpedited(ContinueTransfer(5)), expect(AccessComplete(1)),
                        reply(Message(wire::kAccessComplete, 0x02, {0x01}) + Status(0x5027))},
                       Peer());
    context = nextBlock.context();
    context->operation = kOpReadFile;
    context->lastSentType = wire::kControl;
    EXPECT_EQ(ZelReceiveMessage(context), -1);
    EXPECT_EQ(context->lastReceivedType, wire::kAccessComplete);
    // The end-of-file Status behind it is whole, not read from its second byte.
    EXPECT_EQ(ZelReceiveMessage(context), 2);
    EXPECT_EQ(context->lastReceivedType, wire::kStatus);
    EXPECT_EQ(context->statusCode, 0x5027);
    EXPECT_EQ(context->blockRemaining, 0);
    EXPECT_TRUE(nextBlock.Finish()) << nextBlock.peer().report();
}

TEST(StatusWindDown, AListingEndsNormallyOnFileNotFoundAfterADirectoryLine) {
    PeerLink link({reply(Status(0x4032)), expect(AccessComplete(1)), reply(AccessComplete(1))}, Peer());
    ZelContext* context = link.context();
    context->operation = kOpDir;
    context->lastSentType = wire::kAccess;
    ZelListing() = ZelListingFlags{true, false};
    EXPECT_EQ(ZelReceiveMessage(context), 2);
    EXPECT_EQ(link.Look().errorCode, 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST(StatusWindDown, AListingErrorBeforeItsHeaderFromAnRmsPeerSendsNothing) {
    PeerConfig peer = Peer();
    peer.filesys = 3;
    PeerLink link({reply(Status(0x4032)), expectSilence(200)}, peer);
    ZelContext* context = link.context();
    context->operation = kOpDir;
    context->lastSentType = wire::kAccess;
    ZelListing() = ZelListingFlags{true, true};
    EXPECT_EQ(ZelReceiveMessage(context), -1);
    EXPECT_EQ(link.Look().errorCode, 7);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST(StatusWindDown, AHostilePeerAnsweringEveryWindDownWithAnotherErrorIsBounded) {
    Script script;
    for (int i = 0; i < 12; ++i) {
        script.push_back(reply(Status(0x5067)));
        script.push_back(expectAny());  // Continue Transfer
        script.push_back(expectAny());  // Access Complete
    }
    PeerLink link(script, Peer(), PeerOptions{.expectTimeoutMs = 500});
    ZelContext* context = link.context();
    context->operation = kOpReadFile;
    context->lastSentType = wire::kControl;
    EXPECT_EQ(ZelReceiveMessage(context), -1);
    EXPECT_EQ(link.Look().errorCode, 11);
    link.Finish();
    // The Configuration, then eight wind-downs of two messages each.
    EXPECT_EQ(link.peer().received().size(), 1u + 2u * 8u);
}

}  // namespace
}  // namespace zeltest
