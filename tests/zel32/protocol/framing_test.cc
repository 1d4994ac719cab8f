// The send path's blocking of messages into transmissions and the receive
// path's cutting of blocks into messages, on a link open to the scripted peer.
#include <gtest/gtest.h>

#include <cstring>

#include "peer_link.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/data_message.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/send_path.h"
#include "wire/checksum.h"
#include "wire/header.h"
#include "wire/message_types.h"

namespace zeltest {
namespace {

PeerConfig Peer(std::vector<unsigned> extra = {}, uint16_t bufsiz = 0x7E00) {
    PeerConfig peer;
    peer.bufsiz = bufsiz;
    peer.capabilities = {5, 18, 25, 40};
    peer.capabilities.insert(peer.capabilities.end(), extra.begin(), extra.end());
    return peer;
}

int SendRecord(ZelContext* context, const Bytes& record) {
    if (!record.empty()) std::memcpy(context->workBuffer, record.data(), record.size());
    context->workLength = static_cast<int32_t>(record.size());
    const int result = ZelSendMessage(context, wire::kData);
    context->workLength = 0;
    return result;
}

void BeginUpload(ZelContext* context) {
    context->operation = kOpCopy;
    context->link->status.copyDirection = 1;
}

TEST(SendPath, DataMessagesWaitForTheMessageThatEndsTheBlock) {
    PeerLink link({expect(Data(Text("A")) + Data(Text("BC")) + Data({}) + AccessComplete(1) + Bytes{0x80, 0x80, 0x00}),
                   expectSilence(100)},
                  Peer());
    ZelContext* context = link.context();
    BeginUpload(context);
    EXPECT_EQ(SendRecord(context, Text("A")), 1);
    EXPECT_EQ(SendRecord(context, Text("BC")), 1);
    EXPECT_EQ(SendRecord(context, {}), 1);
    EXPECT_EQ(ZelSendMessage(context, wire::kAccessComplete), 1);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(context->sentCount[wire::kData], 3);
    EXPECT_EQ(link.Look().transferCount, 2u + 1u);  // the open's two, then one
}

TEST(SendPath, AMessageThatWouldNotFitGoesInTheNextBlock) {
    const Bytes big(20000, 'b');
    PeerLink link({expect(Data(big)), expect(Data(big) + AccessComplete(1) + Bytes{0x80, 0x80, 0x00})}, Peer({20}));
    ZelContext* context = link.context();
    BeginUpload(context);
    EXPECT_EQ(SendRecord(context, big), 1);
    EXPECT_EQ(SendRecord(context, big), 1);
    EXPECT_EQ(ZelSendMessage(context, wire::kAccessComplete), 1);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().lastTransferLength, 20005u + 6u);
}

TEST(SendPath, BlocksStayWithinThePeersBufferSize) {
    PeerLink link({}, Peer({20}, 4096));
    ZelContext* context = link.context();
    ASSERT_EQ(context->bufferSize, 4096);
    BeginUpload(context);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(SendRecord(context, Bytes(300, static_cast<uint8_t>(i))), 1);
    ASSERT_EQ(ZelSendMessage(context, wire::kAccessComplete), 1);
    link.Finish();
    size_t records = 0;
    const auto frames = link.peer().received();
    for (size_t i = 1; i < frames.size(); ++i) {
        const Bytes& block = frames[i].payload;
        EXPECT_LE(block.size(), 4096u);
        for (size_t at = 0; at < block.size();) {
            wire::Header header;
            ASSERT_EQ(wire::ParseHeader(block.data() + at, block.size() - at, &header), wire::HeaderResult::kOk);
            records += header.type == wire::kData;
            at += header.headerLength + header.bodyLength;
        }
    }
    EXPECT_EQ(records, 40u);
}

// The checksum of the last record sent is taken late, from where the record
// lies in the send block: whatever the record's header and however many
// blocks went out meanwhile, it is that of the last record's own bytes.
TEST(SendPath, TheChecksumIsThatOfTheLastRecordSent) {
    PeerLink link({}, Peer({20, 21}, 4096));
    ZelContext* context = link.context();
    ASSERT_TRUE(context->peerChecksum);
    BeginUpload(context);
    const size_t sizes[] = {1, 80, 251, 252, 300, 0, 1000, 3};
    Bytes last;
    for (int i = 0; i < 64; ++i) {
        Bytes record(sizes[i % 8]);
        for (size_t at = 0; at < record.size(); ++at) record[at] = static_cast<uint8_t>(i * 31 + at * 7);
        ASSERT_EQ(SendRecord(context, record), 1);
        last = record;
        // An empty record's checksum is 0; every third is looked at at once,
        // the others only once later records replaced them.
        if (i % 3 == 0) {
            ASSERT_EQ(ZelDataChecksum(context), wire::Checksum(0, last.data(), last.size())) << i;
        }
    }
    ASSERT_GE(link.Look().transferCount, 3u);  // several blocks went out meanwhile
    // A record received empty keeps the checksum of the last one sent.
    ASSERT_EQ(SendRecord(context, Text("more")), 1);
    ZelRecordView empty{};
    ZelNoteRecordWritten(context, empty);
    EXPECT_EQ(context->dataChecksum, wire::Checksum(0, Text("more").data(), 4));
    ASSERT_EQ(SendRecord(context, Text("tail")), 1);
    ASSERT_EQ(ZelSendMessage(context, wire::kAccessComplete), 1);
    EXPECT_EQ(context->dataChecksum, wire::Checksum(0, Text("tail").data(), 4));
}

TEST(SendPath, AnUnblockedLongRecordEndsItsBlock) {
    // Without the two-byte length a long record travels without a length
    // field, so it must be the last message of its block.
    const Bytes record(300, 'r');
    PeerLink link({expect(Data(Text("a")) + Message(8, 0x00, Bytes{0x00} + record)),
                   expect(Data(Text("b")) + AccessComplete(1) + Bytes{0x80, 0x80, 0x00})},
                  Peer());
    ZelContext* context = link.context();
    BeginUpload(context);
    EXPECT_EQ(SendRecord(context, Text("a")), 1);
    EXPECT_EQ(SendRecord(context, record), 1);
    EXPECT_EQ(SendRecord(context, Text("b")), 1);
    EXPECT_EQ(ZelSendMessage(context, wire::kAccessComplete), 1);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST(SendPath, AnAbortTransmitsBeforeEveryMessage) {
    PeerLink link({expect(AccessComplete(1)), expectSilence(100)}, Peer());
    ZelContext* context = link.context();
    context->operation = kOpAbort;
    context->aborting = 1;
    EXPECT_EQ(ZelSendMessage(context, wire::kAccessComplete), 1);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.Look().transferCount, 2u + 2u);  // the open's two; the empty block before, the message after
}

TEST(SendPath, ATypeTheLibraryDoesNotBuildFailsWithError1) {
    PeerLink link({expectSilence(100)}, Peer());
    ZelContext* context = link.context();
    for (uint8_t type : {0, 10, 11, 12, 16, 17, 19, 25}) {
        EXPECT_EQ(ZelSendMessage(context, type), -1) << int(type);
        EXPECT_EQ(link.Look().errorCode, 1);
    }
    EXPECT_EQ(context->blockLength, 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

class ReceivePath : public ::testing::Test {
protected:
    void Open(Script script) {
        link_ = std::make_unique<PeerLink>(std::move(script), Peer());
        context_ = link_->context();
        context_->operation = kOpCopy;
    }
    std::unique_ptr<PeerLink> link_;
    ZelContext* context_ = nullptr;
};

TEST_F(ReceivePath, ABlockOfThreeMessagesGivesThreeMessages) {
    const Bytes attributes = Attributes({0x01, 0x02});
    const Bytes dates = DateAndTime("04-NOV-26 03:57:26", "04-NOV-26 03:57:26");
    Open({reply(attributes + dates + Acknowledge())});
    EXPECT_EQ(ZelAwaitReply(context_, wire::kAccess), 2);
    EXPECT_EQ(context_->lastReceivedType, wire::kAttributes);
    EXPECT_EQ(ZelAwaitReply(context_, wire::kAccess), 2);
    EXPECT_EQ(context_->lastReceivedType, wire::kDateAndTime);
    EXPECT_STREQ(context_->dates.cdt, "04-NOV-26 03:57:26");
    EXPECT_EQ(ZelAwaitReply(context_, wire::kAccess), 2);
    EXPECT_EQ(context_->lastReceivedType, wire::kAcknowledge);
    EXPECT_EQ(context_->blockRemaining, 0);
    EXPECT_EQ(link_->Look().transferCount, 2u + 1u);  // the open's two, then one receive
    EXPECT_EQ(link_->Look().lastTransferLength, 32256u);
}

TEST_F(ReceivePath, MalformedHeadersGiveError20) {
    struct Case {
        Bytes block;
        const char* what;
    };
    for (const Case& c : {Case{{20, 0x00}, "TYPE 20"}, Case{{0x02, 0x08, 0x00}, "BITCNT"},
                          Case{{0x02, 0x10, 0x00}, "SYSSPEC"}, Case{{0x02, 0x02, 0x05, 0x01}, "length past block"},
                          Case{{0x02, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}, "FLAGS too long"},
                          Case{{10, 0x00}, "type without decoder"}}) {
        Open({reply(c.block)});
        EXPECT_EQ(ZelReceiveMessage(context_), -1) << c.what;
        EXPECT_EQ(link_->Look().errorCode, 20) << c.what;
        EXPECT_EQ(context_->blockRemaining, 0) << c.what;
        link_.reset();
    }
}

TEST_F(ReceivePath, TypesUpTo19AreCountedAnd20IsNot) {
    Open({reply({19, 0x00}), reply({20, 0x00}), reply({10, 0x00})});
    EXPECT_EQ(ZelReceiveMessage(context_), -1);
    EXPECT_EQ(ZelReceiveMessage(context_), -1);
    EXPECT_EQ(ZelReceiveMessage(context_), -1);
    EXPECT_EQ(context_->receivedCount[19], 1);
    EXPECT_EQ(context_->receivedCount[10], 1);
}

TEST_F(ReceivePath, ARefusedReplyKeepsTheLinksErrorCode) {
    Open({reply(Data(Text("x")))});
    context_->operation = kOpDelete;
    context_->link->status.errorCode = 0;
    EXPECT_EQ(ZelAwaitReply(context_, wire::kAccess), -1);
    EXPECT_EQ(link_->Look().errorCode, 0);
    EXPECT_TRUE(context_->failureRecorded);
    EXPECT_EQ(context_->failure.code, 20);
}

TEST_F(ReceivePath, AnAccessCompleteEndsTheReading) {
    Open({reply(AccessComplete(1))});
    context_->operation = kOpDelete;
    EXPECT_EQ(ZelAwaitReply(context_, wire::kAccess), 1);
}

TEST_F(ReceivePath, AClosedConnectionIsATransportFailure) {
    Open({closeConnection()});
    EXPECT_EQ(ZelReceiveMessage(context_), -1);
    EXPECT_EQ(link_->Look().errorCode, 0);
    EXPECT_EQ(context_->failure.code, 2);
    EXPECT_EQ(context_->failure.detail, 54);
}

}  // namespace
}  // namespace zeltest
