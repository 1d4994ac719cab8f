// The frame format on the wire: header bytes, the lengths each kind may
// carry, and the CONNECT and REJECT payloads.
#include "ztsock/frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ztsock {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(FrameHeader, KindThenLengthLittleEndian) {
    uint8_t header[kFrameHeaderLength];
    EncodeFrameHeader(kFrameData, 0x7E01, header);
    EXPECT_EQ(Bytes(header, header + 3), (Bytes{0x04, 0x01, 0x7E}));

    const FrameHeader decoded = DecodeFrameHeader(Bytes{0x05, 0x00, 0x7E}.data());
    EXPECT_EQ(decoded.kind, kFrameExpedited);
    EXPECT_EQ(decoded.length, 32256);
    EXPECT_EQ(DecodeFrameHeader(Bytes{0x04, 0xFF, 0xFF}.data()).length, 0xFFFF);
}

TEST(FrameHeader, EachKindCarriesOnlyItsLengths) {
    EXPECT_TRUE(FrameLengthFits(kFrameAccept, 0));
    EXPECT_FALSE(FrameLengthFits(kFrameAccept, 1));
    EXPECT_TRUE(FrameLengthFits(kFrameReject, 2));
    EXPECT_FALSE(FrameLengthFits(kFrameReject, 1));
    EXPECT_FALSE(FrameLengthFits(kFrameReject, 3));
    EXPECT_FALSE(FrameLengthFits(kFrameConnect, 3));   // version and three counts at least
    EXPECT_TRUE(FrameLengthFits(kFrameConnect, 4));
    EXPECT_TRUE(FrameLengthFits(kFrameConnect, kMaxConnectPayload));
    EXPECT_FALSE(FrameLengthFits(kFrameConnect, kMaxConnectPayload + 1));
    for (uint8_t kind : {kFrameData, kFrameExpedited}) {
        EXPECT_FALSE(FrameLengthFits(kind, 0));
        EXPECT_TRUE(FrameLengthFits(kind, 1));
        EXPECT_TRUE(FrameLengthFits(kind, kMaxPayload));
        EXPECT_FALSE(FrameLengthFits(kind, kMaxPayload + 1));
    }
    for (uint8_t kind : {0x00, 0x06, 0x7F, 0xFF}) EXPECT_FALSE(FrameLengthFits(kind, 1)) << int(kind);
}

TEST(ConnectPayload, VersionThenObjectUserPasswordAsImageFields) {
    Bytes payload;
    ASSERT_TRUE(EncodeConnectPayload({"#17", "user", "pw"}, &payload));
    EXPECT_EQ(payload, (Bytes{0x01, 3, '#', '1', '7', 4, 'u', 's', 'e', 'r', 2, 'p', 'w'}));

    payload.clear();
    ASSERT_TRUE(EncodeConnectPayload({"#17", "", ""}, &payload));
    EXPECT_EQ(payload, (Bytes{0x01, 3, '#', '1', '7', 0, 0}));
}

TEST(ConnectPayload, FieldsOfUpTo255BytesRoundTrip) {
    const ConnectFields sent{std::string(255, 'o'), std::string(255, 'u'), std::string(255, 'p')};
    Bytes payload;
    ASSERT_TRUE(EncodeConnectPayload(sent, &payload));
    EXPECT_EQ(payload.size(), kMaxConnectPayload);
    ConnectFields read;
    ASSERT_TRUE(DecodeConnectPayload(payload.data(), payload.size(), &read));
    EXPECT_EQ(read.object, sent.object);
    EXPECT_EQ(read.user, sent.user);
    EXPECT_EQ(read.password, sent.password);
}

TEST(ConnectPayload, FieldLongerThan255BytesIsRefusedAndNothingWritten) {
    Bytes payload;
    EXPECT_FALSE(EncodeConnectPayload({"#17", "user", std::string(256, 'p')}, &payload));
    EXPECT_TRUE(payload.empty());
}

TEST(ConnectPayload, MalformedPayloadsAreRefused) {
    const std::vector<Bytes> malformed = {
        {},                                   // nothing at all
        {0x02, 0, 0, 0},                      // another protocol version
        {0x01, 0, 0},                         // the password field missing
        {0x01, 3, '#', '1', '7', 5, 'u', 0},  // the user count runs past the end
        {0x01, 0, 0, 0, 0x00},                // a byte after the last field
    };
    for (const Bytes& payload : malformed) {
        ConnectFields fields;
        EXPECT_FALSE(DecodeConnectPayload(payload.data(), payload.size(), &fields)) << payload.size();
    }
}

TEST(RejectPayload, SignedLittleEndianErrorNumber) {
    uint8_t payload[kRejectPayloadLength];
    EncodeRejectPayload(kErrAccessDenied, payload);
    EXPECT_EQ(Bytes(payload, payload + 2), (Bytes{0x0D, 0x00}));
    EncodeRejectPayload(0x1234, payload);
    EXPECT_EQ(Bytes(payload, payload + 2), (Bytes{0x34, 0x12}));
    EXPECT_EQ(DecodeRejectPayload(Bytes{0x37, 0x00}.data()), kErrNoResources);
    EXPECT_EQ(DecodeRejectPayload(Bytes{0xFF, 0xFF}.data()), -1);
    EXPECT_EQ(DecodeRejectPayload(Bytes{0x00, 0x80}.data()), -32768);
}

}  // namespace
}  // namespace ztsock
