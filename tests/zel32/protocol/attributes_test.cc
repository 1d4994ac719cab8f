// The Attributes message: the bodies the library sends for an open, a print
// and a copy with and without a description, and the reading of received
// bodies, whole, truncated and malformed.
#include "zel32/protocol/attributes.h"

#include <gtest/gtest.h>

#include <cstring>

#include "codec_context.h"
#include "codec_checks.h"
#include "wire/message_types.h"
#include "zel32/protocol/templates.h"

namespace {

using zeltest::Bytes;
using zeltest::CodecContext;

constexpr uint8_t kAttributes = wire::kAttributes;

class AttributesSent : public ::testing::Test {
protected:
    void Operation(RfaOperation operation, uint16_t copyMode = RFA_MODE_TEXT) {
        codec->operation = operation;
        codec.link().status.copyMode = copyMode;
    }
    // A copy with the caller's description (null: none).
    void Copy(const RfaCopyAttributes* given, uint16_t copyMode = RFA_MODE_TEXT) {
        Operation(kOpCopy, copyMode);
        codec.link().copyOption = given;
    }
    Bytes Body() { return codec.EncodeBody(kAttributes); }
    void ExpectRefused(uint16_t code) { zeltest::ExpectEncodingRefused(codec, kAttributes, code); }

    CodecContext codec;
    RfaCopyAttributes description{};
};

// ---- What the library sends --------------------------------------------------

TEST_F(AttributesSent, OpenFileSendsTextDescriptionWithBlockSize) {
    Operation(kOpOpenFile);
    // Header: TYPE 2, FLAGS 0x02, LENGTH 9; then two menu bytes, DATATYPE 1,
    // ORG 0, RFM 4, RAT 0, MRS 0, BSZ 8.
    EXPECT_EQ(codec.Encode(kAttributes),
              (Bytes{0x02, 0x02, 0x09, 0xAF, 0x40, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x08}));
}

TEST_F(AttributesSent, ImageModeGivesDataType2AndRecordSize128) {
    Operation(kOpOpenFile, RFA_MODE_IMAGE);
    EXPECT_EQ(Body(), (Bytes{0xAF, 0x40, 0x02, 0x00, 0x04, 0x00, 0x80, 0x00, 0x08}));
}

TEST_F(AttributesSent, PrintAddsFileOptionsBeforeBlockSize) {
    Operation(kOpPrint);
    EXPECT_EQ(Body(), (Bytes{0xAF, 0x60, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x80, 0x80, 0x40, 0x08}));
    EXPECT_EQ(0, std::memcmp(codec->sentAttributes.fop, "\x80\x80\x40\x00", 4));
}

TEST_F(AttributesSent, CopyWithoutDescriptionSendsNoAllocation) {
    Copy(nullptr);
    const Bytes body = Body();
    ASSERT_FALSE(body.empty());
    EXPECT_EQ(body[0] & 0x7F, 0x2F);
    EXPECT_EQ(body, (Bytes{0xAF, 0x40, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x08}));
}

TEST_F(AttributesSent, DescriptionCountsOnlyForACopy) {
    description = {RFA_MODE_TEXT, 1, 0x04, 80, 7};
    codec.link().copyOption = &description;
    Operation(kOpOpenFile);
    EXPECT_EQ(Body(), (Bytes{0xAF, 0x40, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x08}));
}

TEST_F(AttributesSent, BlockSizeLeftOutForFileSystems2And7And8) {
    Operation(kOpOpenFile);
    for (uint8_t filesys : {2, 7, 8}) {
        codec->peerFilesys = filesys;
        // Menu byte 1 would be empty: menu byte 0 goes alone, without bit 7.
        EXPECT_EQ(Body(), (Bytes{0x2F, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00})) << "FILESYS " << int{filesys};
        EXPECT_EQ(codec->sentAttributes.bsz, 0) << "FILESYS " << int{filesys};
    }
    for (uint8_t filesys : {0, 1, 3, 4, 10, 15, 18}) {
        codec->peerFilesys = filesys;
        EXPECT_EQ(Body(), (Bytes{0xAF, 0x40, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x08})) << "FILESYS " << int{filesys};
        EXPECT_EQ(codec->sentAttributes.bsz, 8) << "FILESYS " << int{filesys};
    }
}

TEST_F(AttributesSent, WithoutBlockSizeOtherMenuByte1FieldsStillGo) {
    codec->peerFilesys = 2;
    Operation(kOpPrint);
    EXPECT_EQ(Body(), (Bytes{0xAF, 0x20, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x80, 0x80, 0x40}));
    description = {RFA_MODE_TEXT, 0, 0x04, 0, 0};
    Copy(&description);
    EXPECT_EQ(Body(), (Bytes{0xAF, 0x02, 0x01, 0x00, 0x03, 0x04, 0x00, 0x00, 0x02}));
}

TEST_F(AttributesSent, RecordAttributesPickTheLowestSetBit) {
    struct Case {
        uint16_t recordAttributes;
        uint8_t rat;
    };
    const Case cases[] = {
        {0x00, 0x00}, {0x01, 0x00}, {0x02, 0x01}, {0x06, 0x01}, {0x08, 0x02}, {0x18, 0x02},
        {0x10, 0x01}, {0x30, 0x01}, {0x20, 0x08}, {0x60, 0x08}, {0x40, 0x40}, {0x80, 0x00},
    };
    for (const Case& c : cases) {
        description = {RFA_MODE_TEXT, 0, c.recordAttributes, 0, 0};
        Copy(&description);
        // Record format 0 is RFM 4; no FSZ, so menu byte 1 holds only BSZ.
        EXPECT_EQ(Body(), (Bytes{0xAF, 0x40, 0x01, 0x00, 0x04, c.rat, 0x00, 0x00, 0x08}))
            << "recordAttributes " << c.recordAttributes;
    }
}

TEST_F(AttributesSent, PrintControlAttributeSendsRfm3AndFsz2) {
    for (uint16_t recordAttributes : {0x04, 0x0C, 0x7C}) {
        description = {RFA_MODE_TEXT, 2, recordAttributes, 0, 0};
        Copy(&description);
        // RAT 4 overrides RFM (6 for format 2) with 3 and sends FSZ 2 (menu bit 1.1).
        EXPECT_EQ(Body(), (Bytes{0xAF, 0x42, 0x01, 0x00, 0x03, 0x04, 0x00, 0x00, 0x02, 0x08}))
            << "recordAttributes " << recordAttributes;
        EXPECT_EQ(codec->sentAttributes.rfm, 3);
        EXPECT_EQ(codec->sentAttributes.fsz, 2);
    }
}

TEST_F(AttributesSent, RecordFormatChoosesRfm) {
    const uint8_t rfm[7] = {4, 5, 6, 1, 2, 3, 0};
    for (uint16_t format = 0; format < 7; ++format) {
        description = {RFA_MODE_TEXT, format, 0, 0, 0};
        Copy(&description);
        EXPECT_EQ(Body(), (Bytes{0xAF, 0x40, 0x01, 0x00, rfm[format], 0x00, 0x00, 0x00, 0x08}))
            << "recordFormat " << format;
    }
}

TEST_F(AttributesSent, DescriptionOutOfRangeIsRefusedWithError4) {
    const RfaCopyAttributes refused[] = {
        {4, 0, 0, 0, 0},    // transferMode above 3
        {0, 7, 0, 0, 0},    // recordFormat above 6
        {0, 0, 129, 0, 0},  // recordAttributes above 128
    };
    for (const RfaCopyAttributes& bad : refused) {
        // A message sent before leaves values in the record; the refusal clears them.
        Copy(nullptr);
        ASSERT_FALSE(Body().empty());
        description = bad;
        Copy(&description);
        ExpectRefused(RFA_ERR_BAD_ARGUMENT);
        EXPECT_EQ(codec->sentAttributes.dataType, 0);
        EXPECT_EQ(codec->sentAttributes.rfm, 0);
    }
    description = {3, 6, 128, 0, 0};
    Copy(&description);
    EXPECT_EQ(Body(), (Bytes{0xAF, 0x40, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08}));
}

TEST_F(AttributesSent, ImageRecordSizeDefaultsBy512Or128ByTransferMode) {
    struct Case {
        uint16_t copyMode;
        uint16_t transferMode;
        uint16_t maxRecordSize;
        uint16_t mrs;
    };
    const Case cases[] = {
        {RFA_MODE_IMAGE, 1, 0, 512}, {RFA_MODE_IMAGE, 3, 0, 512}, {RFA_MODE_IMAGE, 0, 0, 128},
        {RFA_MODE_IMAGE, 2, 0, 128}, {RFA_MODE_IMAGE, 1, 300, 300}, {RFA_MODE_TEXT, 1, 0, 0},
        {RFA_MODE_TEXT, 0, 80, 80},
    };
    for (const Case& c : cases) {
        description = {c.transferMode, 0, 0, c.maxRecordSize, 0};
        Copy(&description, c.copyMode);
        const Bytes body = Body();
        ASSERT_EQ(body.size(), 9u);
        EXPECT_EQ(body[2], c.copyMode == RFA_MODE_IMAGE ? 0x02 : 0x01);
        EXPECT_EQ(wire::GetU16(&body[6]), c.mrs) << "mode " << c.copyMode << " transferMode " << c.transferMode;
        EXPECT_EQ(codec->sentAttributes.mrs, c.mrs);
    }
    // A copy without a description in image mode: 128.
    Copy(nullptr, RFA_MODE_IMAGE);
    EXPECT_EQ(Body(), (Bytes{0xAF, 0x40, 0x02, 0x00, 0x04, 0x00, 0x80, 0x00, 0x08}));
}

TEST_F(AttributesSent, RecordSizeUpToTheBufferSizePassesOneMoreFailsWith27) {
    codec->bufferSize = 1000;
    description = {RFA_MODE_TEXT, 0, 0, 1000, 0};
    Copy(&description, RFA_MODE_IMAGE);
    EXPECT_EQ(Body(), (Bytes{0xAF, 0x40, 0x02, 0x00, 0x04, 0x00, 0xE8, 0x03, 0x08}));
    description.maxRecordSize = 1001;
    ExpectRefused(RFA_ERR_RECORD_SIZE);
    EXPECT_EQ(codec->sentAttributes.mrs, 0);
    // The default for image data is chosen after the check, whatever the buffer size.
    codec->bufferSize = 256;
    description = {1, 0, 0, 0, 0};
    EXPECT_EQ(Body(), (Bytes{0xAF, 0x40, 0x02, 0x00, 0x04, 0x00, 0x00, 0x02, 0x08}));
}

TEST_F(AttributesSent, AnImageUploadWhosePaddedRecordsWouldNotFitABlockFailsWith27) {
    // Each record is padded to MRS and goes in one Data message: five bytes
    // of header and RECNUM besides the record.
    const auto SentMrs = [this] {
        Body();
        return codec->sentAttributes.mrs;
    };
    codec->bufferSize = 1000;
    codec.link().status.copyDirection = 1;
    description = {0, 0, 0, 995, 0};  // transfer mode 0: records, padded
    Copy(&description, RFA_MODE_IMAGE);
    EXPECT_EQ(SentMrs(), 995);
    description.maxRecordSize = 996;
    ExpectRefused(RFA_ERR_RECORD_SIZE);
    // The default MRS of transfer mode 3 (512) toward a peer of a 516-byte buffer.
    codec->bufferSize = 516;
    description = {3, 0, 0, 0, 0};
    ExpectRefused(RFA_ERR_RECORD_SIZE);
    // Nothing is padded: by block transfer (transfer mode 1), toward a block
    // mode or a stream peer, in text mode, or in a download.
    codec->bufferSize = 1000;
    description = {1, 0, 0, 1000, 0};
    EXPECT_EQ(SentMrs(), 1000);
    description = {0, 0, 0, 1000, 0};
    codec->peerFilesys = 12;
    EXPECT_EQ(SentMrs(), 1000);
    codec->peerFilesys = 2;
    ExpectRefused(RFA_ERR_RECORD_SIZE);
    codec->peerSyscap[7] |= 0x60;  // capabilities 54 and 55: a stream peer
    ASSERT_TRUE(ZelStreamPeer(codec.context()));
    EXPECT_EQ(SentMrs(), 1000);
    std::memset(codec->peerSyscap, 0, sizeof codec->peerSyscap);
    Copy(&description, RFA_MODE_TEXT);
    EXPECT_EQ(SentMrs(), 1000);
    Copy(&description, RFA_MODE_IMAGE);
    codec.link().status.copyDirection = 0;
    EXPECT_EQ(SentMrs(), 1000);
}

TEST_F(AttributesSent, AllocationGoesAsFourBytesLeastSignificantFirst) {
    description = {RFA_MODE_TEXT, 0, 0, 0, 1};
    Copy(&description);
    EXPECT_EQ(Body(), (Bytes{0xEF, 0x40, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x04, 0x01, 0x00, 0x00, 0x00, 0x08}));
    EXPECT_EQ(codec->sentAttributes.alqCount, 4);
    description.allocation = 0x12345678;
    codec->peerFilesys = 7;
    EXPECT_EQ(Body(), (Bytes{0x6F, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x04, 0x78, 0x56, 0x34, 0x12}));
}

TEST_F(AttributesSent, SentRecordHoldsOnlyTheLastMessage) {
    description = {1, 0, 0x04, 0, 9};
    Copy(&description, RFA_MODE_IMAGE);
    ASSERT_FALSE(Body().empty());
    const ZelAttributes& sent = codec->sentAttributes;
    EXPECT_EQ(sent.attMenu[0], 0xEF);
    EXPECT_EQ(sent.attMenu[1], 0x42);
    EXPECT_EQ(sent.dataType, 0x02);
    EXPECT_EQ(sent.rfm, 3);
    EXPECT_EQ(sent.rat[0], 0x04);
    EXPECT_EQ(sent.mrs, 512);
    EXPECT_EQ(sent.fsz, 2);
    EXPECT_EQ(sent.alq, 9u);

    Operation(kOpOpenFile);
    ASSERT_FALSE(Body().empty());
    EXPECT_EQ(sent.dataType, 0x01);
    EXPECT_EQ(sent.rfm, 4);
    EXPECT_EQ(sent.rat[0], 0);
    EXPECT_EQ(sent.mrs, 0);
    EXPECT_EQ(sent.fsz, 0);
    EXPECT_EQ(sent.alqCount, 0);
    EXPECT_EQ(sent.alq, 0u);
}

// ---- What the library reads --------------------------------------------------

class AttributesReceived : public ::testing::Test {
protected:
    int Decode(const Bytes& body) { return codec.Decode(kAttributes, body); }
    const ZelAttributes& received() { return codec->attributes; }
    void ExpectRefused(const Bytes& body) { zeltest::ExpectDecodingRefused(codec, kAttributes, body); }

    CodecContext codec;
};

// Every field of the three menu bytes, and JNL behind a fourth.
const Bytes kEveryField = {
    0xFF, 0xFF, 0xFF, 0x01,        // ATTMENU, four bytes
    0x02,                          // DATATYPE
    0x01,                          // ORG
    0x02,                          // RFM
    0x82, 0x01,                    // RAT
    0x00, 0x02,                    // BLS 512
    0x34, 0x12,                    // MRS
    0x03, 0x10, 0x27, 0x00,        // ALQ 10000
    0x05,                          // BKS
    0x02,                          // FSZ
    0x02, 0xAA, 0xBB,              // MRN
    0x03, 'R', 'S', 'X',           // RUNSYS
    0x40, 0x00,                    // DEQ 64
    0x81, 0x82, 0x03,              // FOP
    0x08,                          // BSZ
    0x84, 0x05,                    // DEV
    0x07,                          // SDC
    0x50, 0x00,                    // LRL 80
    0x02, 0x2C, 0x01,              // HBK 300
    0x02, 0x2B, 0x01,              // EBK 299
    0x00, 0x00,                    // FFB 0
    0x01, 0x09,                    // SBN 9
    0x06,                          // JNL
};

TEST_F(AttributesReceived, EveryFieldLandsInItsPlace) {
    EXPECT_EQ(Decode(kEveryField), 2);
    const ZelAttributes& a = received();
    EXPECT_EQ(0, std::memcmp(a.attMenu, "\xFF\xFF\xFF", 3));
    EXPECT_EQ(a.dataType, 0x02);
    EXPECT_EQ(a.org, 0x01);
    EXPECT_EQ(a.rfm, 0x02);
    EXPECT_EQ(a.rat[0], 0x82);
    EXPECT_EQ(a.rat[1], 0x01);
    EXPECT_EQ(a.bls, 512);
    EXPECT_EQ(a.mrs, 0x1234);
    EXPECT_EQ(a.alqCount, 3);
    EXPECT_EQ(a.alq, 10000u);
    EXPECT_EQ(a.bks, 5);
    EXPECT_EQ(a.fsz, 2);
    EXPECT_EQ(a.mrnCount, 2);
    EXPECT_EQ(a.mrn[0], 0xAA);
    EXPECT_EQ(a.mrn[1], 0xBB);
    EXPECT_EQ(a.runsysCount, 3);
    EXPECT_EQ(0, std::memcmp(a.runsys, "RSX", 3));
    EXPECT_EQ(a.deq, 64);
    EXPECT_EQ(0, std::memcmp(a.fop, "\x81\x82\x03\x00", 4));
    EXPECT_EQ(a.bsz, 8);
    EXPECT_EQ(0, std::memcmp(a.dev, "\x84\x05\x00\x00", 4));
    EXPECT_EQ(a.sdc, 7);
    EXPECT_EQ(a.lrl, 80);
    EXPECT_EQ(a.hbkCount, 2);
    EXPECT_EQ(a.hbk, 300u);
    EXPECT_EQ(a.ebkCount, 2);
    EXPECT_EQ(a.ebk, 298u);  // 299, less one since FFB is 0
    EXPECT_EQ(a.ffb, 0);
    EXPECT_EQ(a.sbnCount, 1);
    EXPECT_EQ(a.sbn, 9u);
    EXPECT_EQ(a.jnl, 6);
}

TEST_F(AttributesReceived, JournalNeedsBit0OfTheFourthMenuByte) {
    // Menu byte 2 announces SBN only and has no successor: the byte after SBN is not JNL.
    ASSERT_EQ(Decode({0x80, 0x80, 0x40, 0x01, 0x09, 0x06}), 2);
    EXPECT_EQ(received().sbn, 9u);
    EXPECT_EQ(received().jnl, 0);
    // A fourth menu byte without bit 0 announces nothing either.
    ASSERT_EQ(Decode({0x80, 0x80, 0xC0, 0x02, 0x01, 0x09, 0x06}), 2);
    EXPECT_EQ(received().jnl, 0);
    ASSERT_EQ(Decode({0x80, 0x80, 0x80, 0x01, 0x06}), 2);
    EXPECT_EQ(received().jnl, 6);
    EXPECT_EQ(received().sbnCount, 0);
}

TEST_F(AttributesReceived, EmptyBodyLeavesEveryFieldAndCountZero) {
    ASSERT_EQ(Decode(kEveryField), 2);
    ASSERT_EQ(zeltest::DecodeEmptyBody(codec, kAttributes), 2);
    const ZelAttributes& a = received();
    EXPECT_EQ(0, std::memcmp(a.attMenu, "\0\0\0", 3));
    EXPECT_EQ(a.dataType | a.org | a.rfm | a.rat[0] | a.rat[1] | a.bks | a.fsz | a.bsz | a.sdc | a.jnl, 0);
    EXPECT_EQ(a.bls | a.mrs | a.deq | a.lrl | a.ffb, 0);
    EXPECT_EQ(a.alqCount | a.mrnCount | a.runsysCount | a.hbkCount | a.ebkCount | a.sbnCount, 0);
    EXPECT_EQ(0, std::memcmp(a.fop, "\0\0\0\0", 4));
    EXPECT_EQ(0, std::memcmp(a.dev, "\0\0\0\0", 4));
}

TEST_F(AttributesReceived, OneMenuByteReadsOnlyItsOwnFields) {
    ASSERT_EQ(Decode(kEveryField), 2);
    // 0x20 announces MRS alone; the bytes behind it are not BKS or FSZ.
    const Bytes body = {0x20, 0x34, 0x12, 0x05, 0x02};
    const zeltest::ExactDecode decoded =
        zeltest::DecodeExactly(ZelDecodeAttributes, codec.context(), body, body.size());
    EXPECT_EQ(decoded.result, 1);
    EXPECT_EQ(decoded.consumed, 3u);
    const ZelAttributes& a = received();
    EXPECT_EQ(a.attMenu[0], 0x20);
    EXPECT_EQ(a.mrs, 0x1234);
    EXPECT_EQ(a.dataType | a.org | a.rfm | a.bks | a.fsz | a.bsz, 0);
    EXPECT_EQ(a.alqCount, 0);
}

TEST_F(AttributesReceived, EndOfFileBlockLowersWhenFirstFreeByteIs0) {
    struct Case {
        Bytes body;
        uint32_t ebk;
    };
    // Menu: byte 0 and 1 empty, byte 2 EBK (0x10) and FFB (0x20).
    const Case cases[] = {
        {{0x80, 0x80, 0x30, 0x03, 0x10, 0x00, 0x00, 0x00, 0x00}, 15},  // EBK 16, FFB 0
        {{0x80, 0x80, 0x30, 0x03, 0x10, 0x00, 0x00, 0x05, 0x00}, 16},  // FFB 5: EBK as sent
        {{0x80, 0x80, 0x30, 0x01, 0x00, 0x00, 0x00}, 0},               // EBK 0 stays 0
        {{0x80, 0x80, 0x30, 0x00, 0x00, 0x00}, 0},                     // EBK count 0
        {{0x80, 0x80, 0x10, 0x01, 0x10}, 16},                          // no FFB
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Decode(c.body), 2);
        EXPECT_EQ(received().ebk, c.ebk) << ::testing::PrintToString(c.body);
    }
    // FFB 0 in a message without EBK does not touch the number of an earlier one.
    ASSERT_EQ(Decode({0x80, 0x80, 0x20, 0x00, 0x00}), 2);
    EXPECT_EQ(received().ebkCount, 0);
    EXPECT_EQ(received().ebk, 16u);
}

TEST_F(AttributesReceived, ImageCountsAboveTheirLimitsAreRefused) {
    ExpectRefused({0x40, 0x06, 1, 2, 3, 4, 5, 6});                      // ALQ count 6
    ExpectRefused({0x80, 0x04, 0x06, 1, 2, 3, 4, 5, 6});                // MRN count 6
    ExpectRefused({0x80, 0x08, 41, 'x'});                               // RUNSYS count 41
    ExpectRefused({0x80, 0x80, 0x08, 0x06, 1, 2, 3, 4, 5, 6});          // HBK count 6
    ExpectRefused({0x80, 0x80, 0x10, 0x06, 1, 2, 3, 4, 5, 6});          // EBK count 6
    ExpectRefused({0x80, 0x80, 0x40, 0x06, 1, 2, 3, 4, 5, 6});          // SBN count 6
    // A count within its limit whose bytes run past the body.
    ExpectRefused({0x40, 0x04, 0x01, 0x02});
    ExpectRefused({0x80, 0x08, 0x05, 'R', 'S'});
}

TEST_F(AttributesReceived, ImageFieldsKeepTheirCountAndFirstBytes) {
    ASSERT_EQ(Decode({0x40, 0x04, 0x78, 0x56, 0x34, 0x12}), 2);
    EXPECT_EQ(received().alq, 0x12345678u);
    // Count 0: count 0 and value 0, not the number of the message before.
    ASSERT_EQ(Decode({0x40, 0x00}), 2);
    EXPECT_EQ(received().alqCount, 0);
    EXPECT_EQ(received().alq, 0u);
    // RUNSYS of 40 bytes is kept whole.
    Bytes body = {0x80, 0x08, 40};
    for (int i = 0; i < 40; ++i) body.push_back(static_cast<uint8_t>('A' + i % 26));
    ASSERT_EQ(Decode(body), 2);
    EXPECT_EQ(received().runsysCount, 40);
    EXPECT_EQ(0, std::memcmp(received().runsys, body.data() + 3, 40));
}

TEST_F(AttributesReceived, SeventhMenuByteWithBit7IsRefused) {
    ExpectRefused({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00});
    // Seven menu bytes ending on the seventh are accepted.
    EXPECT_EQ(Decode({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}), 2);
    // A menu that runs to the end of the body is refused.
    ExpectRefused({0xA0});
}

TEST_F(AttributesReceived, OverlongExtensibleFieldsAreRefused) {
    ExpectRefused({0x01, 0x80, 0x80, 0x80, 0x01});                                  // DATATYPE: 4 bytes
    ExpectRefused({0x08, 0x80, 0x80, 0x80, 0x80, 0x01});                            // RAT: 5 bytes
    ExpectRefused({0x80, 0x20, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01});    // FOP: 8 bytes
    ExpectRefused({0x80, 0x80, 0x01, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01});  // DEV: 8 bytes
    ExpectRefused({0x80, 0x80, 0x80, 0x01, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01});    // JNL: 6 bytes
    ExpectRefused({0x01, 0x81});                                                    // DATATYPE cut short
}

TEST_F(AttributesReceived, ExtraFieldBytesAreDroppedWithoutShiftingLaterFields) {
    // DATATYPE of three bytes, ORG; RAT of four bytes, BLS; ALQ of five data bytes, BKS.
    ASSERT_EQ(Decode({0xDB, 0x01,                    // menu: DATATYPE, ORG, RAT, BLS, ALQ; BKS
                      0x81, 0x82, 0x03, 0x07,        // DATATYPE, ORG 7
                      0x84, 0x85, 0x86, 0x07,        // RAT
                      0x22, 0x11,                    // BLS
                      0x05, 1, 2, 3, 4, 5,           // ALQ
                      0x09}),                        // BKS
              2);
    const ZelAttributes& a = received();
    EXPECT_EQ(a.dataType, 0x81);
    EXPECT_EQ(a.org, 7);
    EXPECT_EQ(a.rat[0], 0x84);
    EXPECT_EQ(a.rat[1], 0x85);
    EXPECT_EQ(a.bls, 0x1122);
    EXPECT_EQ(a.alqCount, 5);
    EXPECT_EQ(a.alq, 0x04030201u);
    EXPECT_EQ(a.bks, 9);

    // FOP and DEV of seven bytes, SDC of three, JNL of five.
    ASSERT_EQ(Decode({0x80, 0xE0, 0x87, 0x01,                          // menu: FOP, BSZ; DEV, SDC, LRL; JNL
                      0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x07,        // FOP
                      0x08,                                            // BSZ
                      0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x17,        // DEV
                      0xA1, 0xA2, 0x23,                                // SDC
                      0x50, 0x00,                                      // LRL
                      0xB1, 0xB2, 0xB3, 0xB4, 0x35}),                  // JNL
              2);
    EXPECT_EQ(0, std::memcmp(a.fop, "\x81\x82\x83\x84", 4));
    EXPECT_EQ(a.bsz, 8);
    EXPECT_EQ(0, std::memcmp(a.dev, "\x91\x92\x93\x94", 4));
    EXPECT_EQ(a.sdc, 0xA1);
    EXPECT_EQ(a.lrl, 80);
    EXPECT_EQ(a.jnl, 0xB1);

    // The same long fields with their neighbours not announced: the extra
    // bytes land nowhere.
    ASSERT_EQ(Decode({0x89, 0xA0, 0x83, 0x01,                          // menu: DATATYPE, RAT; FOP; DEV, SDC; JNL
                      0x81, 0x82, 0x03,                                // DATATYPE
                      0x84, 0x85, 0x86, 0x07,                          // RAT
                      0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x07,        // FOP
                      0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x17,        // DEV
                      0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0x27,        // SDC
                      0xB1, 0xB2, 0xB3, 0xB4, 0x35}),                  // JNL
              2);
    EXPECT_EQ(a.org, 0);
    EXPECT_EQ(a.rfm, 0);
    EXPECT_EQ(a.bls, 0);
    EXPECT_EQ(a.bsz, 0);
    EXPECT_EQ(a.sdc, 0xA1);
    EXPECT_EQ(a.lrl, 0);
    EXPECT_EQ(a.hbkCount, 0);
    EXPECT_EQ(a.jnl, 0xB1);
}

TEST_F(AttributesReceived, BodyEndingBeforeAnAnnouncedFieldKeepsWhatCame) {
    // DATATYPE to MRS announced; BLS has one byte of two.
    ASSERT_EQ(Decode({0x3F, 0x02, 0x01, 0x04, 0x00, 0x10}), 2);
    EXPECT_EQ(received().dataType, 0x02);
    EXPECT_EQ(received().rfm, 0x04);
    EXPECT_EQ(received().bls, 0);
    EXPECT_EQ(received().mrs, 0);
    // Menu bytes announcing fields that never come.
    ASSERT_EQ(Decode({0xFF, 0xFF, 0x7F}), 2);
    EXPECT_EQ(received().dataType, 0);
    EXPECT_EQ(received().attMenu[2], 0x7F);
    // BLS with one byte of two, BKS announced behind it: nothing more is read.
    ASSERT_EQ(Decode({0x90, 0x01, 0x07}), 2);
    EXPECT_EQ(received().bls, 0);
    EXPECT_EQ(received().bks, 0);
}

TEST_F(AttributesReceived, EveryPrefixOfABodyDecodesCleanly) {
    zeltest::ExpectEveryPrefixDecodesCleanly(ZelDecodeAttributes, codec.context(), kEveryField);
    EXPECT_EQ(zeltest::DecodeExactly(ZelDecodeAttributes, codec.context(), kEveryField, kEveryField.size()).result, 1);
}

}  // namespace
