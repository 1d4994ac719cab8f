// The server's message layer: bodies it sends, byte for byte, and what
// its decoders make of the client's messages, malformed ones included.
#include <gtest/gtest.h>

#include "support/bytes.h"
#include "wire/message_types.h"
#include "zeld/client_messages.h"
#include "zeld/dates.h"
#include "zeld/outbox.h"
#include "zeld/protection.h"
#include "zeld/server_messages.h"

namespace zeld {
namespace {

using zeltest::Bytes;
using zeltest::Hex;

template <typename Encode>
std::string Body(Encode encode) {
    uint8_t buffer[512];
    wire::Writer writer(buffer, sizeof buffer);
    encode(writer);
    return Hex(Bytes(buffer, buffer + writer.length()));
}

wire::Reader ReaderOf(const Bytes& bytes) { return wire::Reader(bytes.data(), bytes.size()); }

TEST(ServerMessages, AttributesOfPrintFileAndDirectory) {
    FileAttributes print;
    print.presentation = PresentFile(Personality::kRecords, "out.prn", false, Purpose::kDescribe);
    print.size = 1024;
    // FSZ 2 in menu byte 1; EBK 3 and FFB 0 (two full blocks).
    EXPECT_EQ(Body([&](wire::Writer& w) { EncodeAttributes(w, print); }),
              "af 82 30 01 00 03 04 00 00 02 04 03 00 00 00 00 00");
    FileAttributes directory;
    directory.isDirectory = true;
    directory.size = 4096;  // a directory's own size is not shown
    EXPECT_EQ(Body([&](wire::Writer& w) { EncodeAttributes(w, directory); }),
              "af a0 30 01 00 04 00 00 00 20 04 01 00 00 00 00 00");
}

TEST(ServerMessages, DatesAreDayMonthYearInUtc) {
    char text[kDateLength + 1];
    FormatDate(889106829, text);
    EXPECT_STREQ(text, "05-MAR-98 14:07:09");
    FormatDate(1110377109, text);
    EXPECT_STREQ(text, "09-MAR-05 14:05:09");
    time_t when = 0;
    ASSERT_TRUE(ParseDate("05-MAR-98 14:07:09", &when));
    EXPECT_EQ(when, 889106829);
    ASSERT_TRUE(ParseDate("09-MAR-05 14:05:09", &when));
    EXPECT_EQ(when, 1110377109);
    EXPECT_FALSE(ParseDate("05-Mar-98 14:07:09", &when));
    EXPECT_FALSE(ParseDate("32-MAR-98 14:07:09", &when));
    // Days the month does not have are no dates (not carried into the next month).
    EXPECT_FALSE(ParseDate("31-APR-26 10:00:00", &when));
    EXPECT_FALSE(ParseDate("29-FEB-25 10:00:00", &when));
    EXPECT_FALSE(ParseDate("30-FEB-24 10:00:00", &when));
    ASSERT_TRUE(ParseDate("29-FEB-24 10:00:00", &when));
    EXPECT_EQ(when, 1709200800);
    ASSERT_TRUE(ParseDate("29-FEB-00 00:00:00", &when));
    EXPECT_EQ(when, 951782400);
    ASSERT_TRUE(ParseDate("31-DEC-69 23:59:59", &when));
    EXPECT_EQ(when, 3155759999);
    EXPECT_FALSE(ParseDate("05-MAR-98 14:07", &when));
}

TEST(ServerMessages, ProtectionNameStatusAndAccessComplete) {
    EXPECT_EQ(Body([](wire::Writer& w) { EncodeProtection(w, "SMITH", CodesForMode(0754)); }),
              "1f 05 53 4d 49 54 48 00 00 0a 0e");
    EXPECT_EQ(Body([](wire::Writer& w) { EncodeName(w, kNameFile, "A.TXT;1"); }), "02 07 41 2e 54 58 54 3b 31");
    EXPECT_EQ(Body([](wire::Writer& w) { EncodeStatus(w, kStatusFileNotFound); }), "32 40");
    EXPECT_EQ(Body([](wire::Writer& w) { EncodeAccessComplete(w); }), "02");
}

TEST(ProtectionCodes, ClientsCodesSetTheClassesItNamesAndKeepTheRest) {
    // Owner: read and write; group and world untouched.
    EXPECT_EQ(ModeForCodes(0104755, 0x04, AccessCodes{0, kDenyExecute, 0, 0}), 04655u & 07777u);
    EXPECT_EQ(ModeForCodes(0644, 0x18, AccessCodes{0, 0, 0x0F, 0x00}), 0607u);
    // "no delete" alone changes nothing Unix can express.
    EXPECT_EQ(ModeForCodes(0644, 0x10, AccessCodes{0, 0, 0, kDenyDelete | kDenyExecute | kDenyWrite}), 0644u);
}

TEST(ClientMessages, AccessFieldsAndItsOptionalTail) {
    AccessMessage access;
    ASSERT_EQ(DecodeAccess(ReaderOf({0x06, 0x00, 0x03, 'A', '*', 'B', 0x02, 0x00, 0xB1, 0x10, 0x00}), &access), kOk);
    EXPECT_EQ(access.accfunc, 6);
    EXPECT_EQ(access.fileSpec, "A*B");
    EXPECT_TRUE(access.Displays(0));
    EXPECT_TRUE(access.Displays(11));
    EXPECT_FALSE(access.Displays(8));
    // A rename's Access ends after SHR.
    ASSERT_EQ(DecodeAccess(ReaderOf({0x03, 0x00, 0x01, 'X', 0x02, 0x00}), &access), kOk);
    EXPECT_FALSE(access.hasDisplay);
    // ACCOPT that never ends: field 17; PASSWORD count 41: field 22.
    EXPECT_EQ(DecodeAccess(ReaderOf({0x01, 0x80}), &access), 0x80D1);
    EXPECT_EQ(DecodeAccess(ReaderOf({0x01, 0x00, 0x00, 0x02, 0x00, 0x31, 41}), &access), 0x80D6);
}

TEST(ClientMessages, ControlMenuSaysWhichFieldsFollow) {
    ControlMessage control;
    ASSERT_EQ(DecodeControl(ReaderOf({0x01, 0x81, 0x01, 0x06, 0x00, 0x02}), &control), kOk);
    EXPECT_TRUE(control.hasUsz);
    EXPECT_EQ(control.usz, 512);
    EXPECT_FALSE(control.hasRop);
    ASSERT_EQ(DecodeControl(ReaderOf({0x04, 0x09, 0x03, 0x00}), &control), kOk);
    EXPECT_TRUE(control.hasRop);
    EXPECT_EQ(control.rac, 3);
    // USZ announced but one byte short: field 25 of Control.
    EXPECT_EQ(DecodeControl(ReaderOf({0x01, 0x81, 0x01, 0x06, 0x00}), &control), 0x8119);
}

TEST(ClientMessages, AttributesKeepWhatTheServerUsesAndRefuseOverlongFields) {
    AttributesMessage attributes;
    ASSERT_EQ(DecodeAttributes(ReaderOf({0xAF, 0x60, 0x02, 0x00, 0x04, 0x00, 0x80, 0x00, 0x80, 0x80, 0x40, 0x08}),
                               &attributes),
              kOk);
    EXPECT_TRUE(attributes.image());
    EXPECT_EQ(attributes.mrs, 128);
    EXPECT_EQ(attributes.fop[2], 0x40);
    // ALQ with a count of 6 (at most 5): field 23.
    EXPECT_EQ(DecodeAttributes(ReaderOf({0x40, 0x06, 1, 2, 3, 4, 5, 6}), &attributes), 0x8097);
    // A body that ends early leaves the rest absent.
    ASSERT_EQ(DecodeAttributes(ReaderOf({0x2F, 0x01}), &attributes), kOk);
    EXPECT_EQ(attributes.dataType, 1);
    EXPECT_EQ(attributes.mrs, 0);
}

TEST(ClientMessages, DataProtectionNameAndDates) {
    DataMessage data;
    ASSERT_EQ(DecodeData(ReaderOf({0x00, 'h', 'i'}), &data), kOk);
    EXPECT_EQ(data.length, 2u);
    EXPECT_EQ(DecodeData(ReaderOf({0x09, 'h'}), &data), 0x8210);
    ProtectionMessage protection;
    ASSERT_EQ(DecodeProtection(ReaderOf({0x1D, 0x02, 'M', 'E', 0x04, 0x0E, 0x0F}), &protection), kOk);
    EXPECT_EQ(protection.owner, "ME");
    EXPECT_EQ(protection.owner_access, 0x04);
    EXPECT_EQ(protection.world, 0x0F);
    NameMessage name;
    EXPECT_EQ(DecodeName(ReaderOf({0x02, 0x05, 'N'}), &name), 0x83D1);  // NAMESPEC runs past the body
    DateAndTimeMessage dates;
    Bytes body{0x09};
    for (char c : std::string("05-MAR-98 14:07:09")) body.push_back(static_cast<uint8_t>(c));
    body.insert(body.end(), {0x01, 0x00});
    ASSERT_EQ(DecodeDateAndTime(ReaderOf(body), &dates), kOk);
    EXPECT_STREQ(dates.cdt, "05-MAR-98 14:07:09");
    EXPECT_STREQ(dates.rdt, "");
}

class CollectingSink : public BlockSink {
public:
    bool SendBlock(const uint8_t* block, size_t length) override {
        blocks.emplace_back(block, block + length);
        return !failing;
    }
    bool SendBlocks(const uint8_t* const* many, const size_t* lengths, size_t count) override {
        sends.push_back(count);
        return BlockSink::SendBlocks(many, lengths, count);
    }
    std::vector<Bytes> blocks;
    std::vector<size_t> sends;  // how many blocks each call to the sink carried
    bool failing = false;
};

TEST(OutboxBlocking, MessagesShareBlocksUpToTheClientsSizeAndLengthsFollowItsCapabilities) {
    CollectingSink sink;
    Outbox outbox(&sink);
    outbox.Configure(300, true, true);
    for (int i = 0; i < 3; ++i) {
        outbox.Put(wire::kStatus, 2, [](wire::Writer& w) { w.PutU16(0x4032); });
    }
    // 15 bytes used: a record of 290 with its 5 bytes does not fit behind them.
    uint8_t* record = outbox.BeginData(nullptr, 0, 290, 290);
    ASSERT_NE(record, nullptr);
    std::fill(record, record + 290, 'x');
    outbox.EndData(290);
    outbox.Flush();
    ASSERT_EQ(sink.blocks.size(), 2u);
    EXPECT_EQ(Hex(sink.blocks[0]), "09 02 02 32 40 09 02 02 32 40 09 02 02 32 40");
    // A record past 255 bytes gets the two-byte length: 291 = 0x123.
    EXPECT_EQ(Hex(Bytes(sink.blocks[1].begin(), sink.blocks[1].begin() + 5)), "08 06 23 01 00");
    EXPECT_EQ(outbox.MaxRecord(0), 300u - 5u);

    // Without length fields every message ends its block.
    sink.blocks.clear();
    outbox.Configure(0, false, false);
    outbox.PutEmpty(wire::kAcknowledge);
    outbox.PutEmpty(wire::kAcknowledge);
    outbox.Flush();
    EXPECT_EQ(sink.blocks.size(), 2u);
    EXPECT_EQ(Hex(sink.blocks[0]), "06 00");
}

TEST(OutboxBlocking, FinishedBlocksGoOutTogetherAndAFlushSendsEveryOneInOrder) {
    CollectingSink sink;
    Outbox outbox(&sink);
    outbox.Configure(0, false, false);  // each message a block of its own
    // Blocks wait until four are finished, then go in one call.
    for (uint8_t i = 0; i < 3; ++i) outbox.Put(wire::kStatus, 2, [i](wire::Writer& w) { w.PutU16(i); });
    EXPECT_TRUE(sink.blocks.empty());
    EXPECT_EQ(outbox.blocksFinished(), 3u);
    outbox.Put(wire::kStatus, 2, [](wire::Writer& w) { w.PutU16(3); });
    EXPECT_EQ(sink.sends, std::vector<size_t>{4});
    // A flush sends what is finished and the block being filled, in order,
    // however few they are.
    outbox.Configure(0, true, false);
    outbox.Put(wire::kStatus, 2, [](wire::Writer& w) { w.PutU16(4); });
    outbox.PutConfiguration([](wire::Writer& w) { w.PutByte(5); });  // ends the block before it and its own
    EXPECT_EQ(sink.sends, (std::vector<size_t>{4, 2}));
    outbox.Put(wire::kStatus, 2, [](wire::Writer& w) { w.PutU16(6); });
    EXPECT_TRUE(outbox.Flush());
    EXPECT_TRUE(outbox.Flush());  // nothing left: no empty call
    EXPECT_EQ(sink.sends, (std::vector<size_t>{4, 2, 1}));
    ASSERT_EQ(sink.blocks.size(), 7u);
    EXPECT_EQ(Hex(sink.blocks[0]), "09 00 00 00");
    EXPECT_EQ(Hex(sink.blocks[3]), "09 00 03 00");
    EXPECT_EQ(Hex(sink.blocks[4]), "09 02 02 04 00");
    EXPECT_EQ(Hex(sink.blocks[5]), "01 00 05");
    EXPECT_EQ(Hex(sink.blocks[6]), "09 02 02 06 00");

    // A sink that fails fails the outbox: nothing more is taken.
    sink.failing = true;
    outbox.Put(wire::kStatus, 2, [](wire::Writer& w) { w.PutU16(7); });
    EXPECT_FALSE(outbox.Flush());
    EXPECT_TRUE(outbox.failed());
    EXPECT_FALSE(outbox.Put(wire::kStatus, 2, [](wire::Writer& w) { w.PutU16(8); }));
    EXPECT_EQ(outbox.BeginData(nullptr, 0, 10, 10), nullptr);
}

TEST(OutboxBlocking, ShortRecordsShareABlockAndKeepTheHeaderOfTheLargestRecord) {
    CollectingSink sink;
    Outbox outbox(&sink);
    outbox.Configure(300, true, true);
    // Records of 3 bytes that could have been as long as a record may be:
    // each takes 8 bytes (header 4, RECNUM, data), so 37 fit in 300.
    for (int i = 0; i < 40; ++i) {
        uint8_t* record = outbox.BeginData(nullptr, 0, outbox.MaxRecord(0), 3);
        ASSERT_NE(record, nullptr);
        std::fill(record, record + 3, 'a' + i % 26);
        outbox.EndData(3);
    }
    outbox.Flush();
    ASSERT_EQ(sink.blocks.size(), 2u);
    EXPECT_EQ(sink.blocks[0].size(), 37u * 8u);
    EXPECT_EQ(sink.blocks[1].size(), 3u * 8u);
    EXPECT_EQ(Hex(Bytes(sink.blocks[0].begin(), sink.blocks[0].begin() + 8)), "08 06 04 00 00 61 61 61");
}

}  // namespace
}  // namespace zeld
