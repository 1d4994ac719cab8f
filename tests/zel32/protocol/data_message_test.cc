#include "zel32/protocol/data_message.h"

#include <gtest/gtest.h>

#include <cstring>

#include "codec_context.h"
#include "support/zel_messages.h"
#include "wire/message_types.h"
#include "zel32/protocol/send_path.h"

namespace zeltest {
namespace {

void SetRecord(CodecContext& codec, const Bytes& record) {
    if (!record.empty()) std::memcpy(codec->workBuffer, record.data(), record.size());
    codec->workLength = static_cast<int32_t>(record.size());
}

TEST(DataMessage, ARecordToABlockingPeer) {
    CodecContext codec;
    SetRecord(codec, Text("ABC"));
    EXPECT_EQ(codec.Encode(wire::kData), (Bytes{0x08, 0x02, 0x04, 0x00, 0x41, 0x42, 0x43}));
    SetRecord(codec, {});
    EXPECT_EQ(codec.Encode(wire::kData), (Bytes{0x08, 0x02, 0x01, 0x00}));
}

// The checksum of a record sent is taken where the message is sent, over the
// record alone; without the peer's checksum capability it is left as it is.
TEST(DataMessage, SendingARecordTakesItsChecksumWhenThePeerChecks) {
    CodecContext codec;
    codec->dataChecksum = 0x4242;
    SetRecord(codec, Text("ABC"));
    ASSERT_EQ(ZelSendMessage(codec.context(), wire::kData), 1);
    EXPECT_EQ(ZelDataChecksum(codec.context()), 0x4242);
    codec->peerChecksum = true;
    ASSERT_EQ(ZelSendMessage(codec.context(), wire::kData), 1);
    EXPECT_EQ(ZelDataChecksum(codec.context()), 0xD185);
    SetRecord(codec, {});
    ASSERT_EQ(ZelSendMessage(codec.context(), wire::kData), 1);
    EXPECT_EQ(ZelDataChecksum(codec.context()), 0);
    EXPECT_EQ(codec->sentCount[wire::kData], 3u);
}

TEST(DataMessage, TwoByteLengthFromA252ByteRecordOn) {
    CodecContext codec;
    codec->peerLen256 = true;
    SetRecord(codec, Bytes(251, 'x'));
    Bytes message = codec.Encode(wire::kData);
    EXPECT_EQ(Bytes(message.begin(), message.begin() + 4), (Bytes{0x08, 0x02, 252, 0x00}));
    EXPECT_EQ(message.size(), 3u + 252u);
    SetRecord(codec, Bytes(252, 'x'));
    message = codec.Encode(wire::kData);
    EXPECT_EQ(Bytes(message.begin(), message.begin() + 5), (Bytes{0x08, 0x06, 0xFD, 0x00, 0x00}));
    EXPECT_EQ(message.size(), 4u + 253u);
}

TEST(DataMessage, ALongRecordToAPeerWithoutTwoByteLengthsIsNeverCut) {
    // Such a peer takes the message without a length field, as the last of its block.
    CodecContext codec;
    SetRecord(codec, Bytes(300, 'y'));
    const Bytes message = codec.Encode(wire::kData);
    ASSERT_EQ(message.size(), 2u + 301u);
    EXPECT_EQ(message[1], 0x00);
    EXPECT_EQ(message[2], 0x00);  // RECNUM
    EXPECT_EQ(message.back(), 'y');
}

TEST(DataMessage, ReceivedRecordLandsWithANul) {
    CodecContext codec;
    codec->peerChecksum = true;
    EXPECT_EQ(codec.Decode(wire::kData, Bytes{0x00} + Text("ABC")), 2);
    EXPECT_EQ(codec->recordLength, 3);
    EXPECT_STREQ(reinterpret_cast<const char*>(codec->recordData), "ABC");
    EXPECT_EQ(codec->dataChecksum, 0xD185);
}

TEST(DataMessage, RecordNumberAloneIsAnEmptyRecordAndKeepsTheChecksum) {
    CodecContext codec;
    codec->peerChecksum = true;
    codec->dataChecksum = 0x4242;
    EXPECT_EQ(codec.Decode(wire::kData, {0x00}), 2);
    EXPECT_EQ(codec->recordLength, 0);
    EXPECT_EQ(codec->recordData[0], 0);
    EXPECT_EQ(codec->dataChecksum, 0x4242);
    EXPECT_EQ(codec.Decode(wire::kData, {}), 2);
}

TEST(DataMessage, ARecordWrittenWhereItLayLeavesWhatADecodedOneLeavesButItsBytes) {
    CodecContext decoded;
    CodecContext written;
    for (CodecContext* codec : {&decoded, &written}) (*codec)->peerChecksum = true;
    const Bytes record = Text("ABC");
    const ZelRecordView view{record.data(), record.size(), 5, 0x01, 0x8D};
    ZelKeepRecord(decoded.context(), view);
    ZelNoteRecordWritten(written.context(), view);
    EXPECT_EQ(written->dataChecksum, 0xD185);
    EXPECT_EQ(written->dataChecksum, decoded->dataChecksum);
    EXPECT_EQ(written->recnum, 5);
    EXPECT_EQ(written->printPrefix, 0x01);
    EXPECT_EQ(written->printPostfix, 0x8D);
    EXPECT_STREQ(reinterpret_cast<const char*>(decoded->recordData), "ABC");
    EXPECT_EQ(written->recordLength, 0);
    EXPECT_EQ(written->recordData[0], 0);
    // An empty record keeps the checksum before it, as decoding one does.
    ZelNoteRecordWritten(written.context(), ZelRecordView{record.data(), 0, 0, 0, 0});
    EXPECT_EQ(written->dataChecksum, 0xD185);
}

TEST(DataMessage, RecordNumberAboveEightIsRefused) {
    CodecContext codec;
    EXPECT_EQ(codec.Decode(wire::kData, {0x09, 'A'}), -1);
    EXPECT_EQ(codec.errorCode(), 20);
    EXPECT_EQ(codec.Decode(wire::kData, {0x08, 'A'}), 2);
}

TEST(DataMessage, PrintFormatRecordsCarryTwoControlBytes) {
    CodecContext codec;
    codec->attributes.rat[0] = 0x04;
    EXPECT_EQ(codec.Decode(wire::kData, {0x00, 0x01, 0x20, 0x48, 0x49}), 2);
    EXPECT_EQ(codec->printPrefix, 0x01);
    EXPECT_EQ(codec->printPostfix, 0x20);
    EXPECT_EQ(codec->recordLength, 2);
    EXPECT_STREQ(reinterpret_cast<const char*>(codec->recordData), "HI");
    EXPECT_EQ(codec.Decode(wire::kData, {0x00, 0x01}), -1);
    EXPECT_EQ(codec.errorCode(), 20);
    // With no RECNUM either, the controls are still missing.
    CodecContext empty;
    empty->attributes.rat[0] = 0x04;
    EXPECT_EQ(empty.Decode(wire::kData, {}), -1);
    EXPECT_EQ(empty.errorCode(), 20);
}

TEST(DataMessage, AFullBlockRecordFits) {
    CodecContext codec;
    const Bytes record(32256 - 4, 'z');
    EXPECT_EQ(codec.Decode(wire::kData, Bytes{0x00} + record), 2);
    EXPECT_EQ(codec->recordLength, record.size());
    EXPECT_EQ(codec->recordData[record.size()], 0);
}

}  // namespace
}  // namespace zeltest
