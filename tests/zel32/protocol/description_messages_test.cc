// Date and Time, Protection, Name and CDA Semantics: the bodies the library
// sends on an upload, a protection change and a rename, the upload's time
// stamp, and the reading of received bodies, whole, truncated and malformed.
#include "zel32/protocol/description_messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "codec_context.h"
#include "codec_checks.h"
#include "wire/message_types.h"
#include "zel32/protocol/templates.h"

namespace {

using zeltest::Bytes;
using zeltest::CodecContext;
using zeltest::TextBytes;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class DescriptionMessages : public ::testing::Test {
protected:
    void ExpectRefused(uint8_t type, const Bytes& body) { zeltest::ExpectDecodingRefused(codec, type, body); }
    void ExpectEncodingRefused(uint8_t type, uint16_t code) { zeltest::ExpectEncodingRefused(codec, type, code); }

    CodecContext codec;
};

// ---- Date and Time -------------------------------------------------------------

class DateAndTime : public DescriptionMessages {
protected:
    int Decode(const Bytes& body) { return codec.Decode(wire::kDateAndTime, body); }
    const ZelDates& received() { return codec->dates; }

    // The stamp of a file last written at `seconds` after the epoch, as the
    // copy makes it from the file's time converted to UTC.
    static void StampFileTime(std::time_t seconds) {
        std::tm utc{};
        ASSERT_NE(gmtime_r(&seconds, &utc), nullptr);
        ZelStampUploadTime(utc);
    }
};

const std::string kCdt = "04-NOV-26 03:57:26";
const std::string kRdt = "09-MAR-05 14:05:09";

TEST_F(DateAndTime, UploadStampIsTheFileTimeInUtcAsDayMonthYearAndTime) {
    struct Case {
        std::time_t seconds;
        const char* text;
    };
    const Case cases[] = {
        {1793764646, "04-NOV-26 03:57:26"},
        {1110377109, "09-MAR-05 14:05:09"},
        {889106829, "05-MAR-98 14:07:09"},
        {946684799, "31-DEC-99 23:59:59"},
        {946684800, "01-JAN-00 00:00:00"},
    };
    for (const Case& c : cases) {
        StampFileTime(c.seconds);
        EXPECT_STREQ(ZelSentDates().cdt, c.text);
        EXPECT_STREQ(ZelSentDates().rdt, c.text);
    }
}

TEST_F(DateAndTime, UploadStampNamesEveryMonthInCapitals) {
    const char* months[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (int month = 0; month < 12; ++month) {
        std::tm utc{};
        utc.tm_mday = 15;
        utc.tm_mon = month;
        utc.tm_year = 2010 - 1900;
        utc.tm_hour = 8;
        utc.tm_min = 9;
        utc.tm_sec = 1;
        ZelStampUploadTime(utc);
        EXPECT_EQ(std::string(ZelSentDates().cdt), std::string("15-") + months[month] + "-10 08:09:01");
    }
}

TEST_F(DateAndTime, UploadSendsMenu3AndBothStampsIn37Bytes) {
    StampFileTime(1793764646);
    const Bytes message = codec.Encode(wire::kDateAndTime);
    // TYPE 13, FLAGS 0x02, LENGTH 37.
    EXPECT_EQ(message, Concat({{0x0D, 0x02, 37, 0x03}, TextBytes(kCdt), TextBytes(kCdt)}));
    // The creation date goes first, the revision date second.
    std::strcpy(ZelSentDates().rdt, kRdt.c_str());
    EXPECT_EQ(codec.EncodeBody(wire::kDateAndTime), Concat({{0x03}, TextBytes(kCdt), TextBytes(kRdt)}));
}

TEST_F(DateAndTime, EmptyBodyLeavesEveryDateEmptyAndRevision0) {
    ASSERT_EQ(Decode(Concat({{0x7F}, TextBytes(kCdt), TextBytes(kCdt), TextBytes(kCdt), {0x05, 0x00},
                             TextBytes(kCdt), TextBytes(kCdt), TextBytes(kCdt)})),
              2);
    ASSERT_EQ(zeltest::DecodeEmptyBody(codec, wire::kDateAndTime), 2);
    const ZelDates& d = received();
    EXPECT_EQ(d.datMenu[0], 0);
    EXPECT_STREQ(d.cdt, "");
    EXPECT_STREQ(d.rdt, "");
    EXPECT_STREQ(d.edt, "");
    EXPECT_STREQ(d.bdt, "");
    EXPECT_STREQ(d.pdt, "");
    EXPECT_STREQ(d.adt, "");
    EXPECT_EQ(d.rvn, 0);
}

TEST_F(DateAndTime, EveryDateLandsInItsPlace) {
    const std::string edt = "01-JAN-99 00:00:00", bdt = "02-FEB-02 02:02:02", pdt = "03-MAR-03 03:03:03",
                      adt = "04-APR-04 04:04:04";
    ASSERT_EQ(Decode(Concat({{0x7F}, TextBytes(kCdt), TextBytes(kRdt), TextBytes(edt), {0x34, 0x12},
                             TextBytes(bdt), TextBytes(pdt), TextBytes(adt)})),
              2);
    const ZelDates& d = received();
    EXPECT_EQ(d.cdt, kCdt);
    EXPECT_EQ(d.rdt, kRdt);
    EXPECT_EQ(d.edt, edt);
    EXPECT_EQ(d.rvn, 0x1234);
    EXPECT_EQ(d.bdt, bdt);
    EXPECT_EQ(d.pdt, pdt);
    EXPECT_EQ(d.adt, adt);
}

TEST_F(DateAndTime, MenuOf9GivesCreationDateAndRevisionOnly) {
    ASSERT_EQ(Decode(Concat({{0x03}, TextBytes(kCdt), TextBytes(kRdt)})), 2);
    ASSERT_EQ(Decode(Concat({{0x09}, TextBytes(kCdt), {0x02, 0x00}})), 2);
    EXPECT_EQ(received().cdt, kCdt);
    EXPECT_EQ(received().rvn, 2);
    EXPECT_STREQ(received().rdt, "");
}

TEST_F(DateAndTime, CreationDateIsAText18CharactersLong) {
    std::memset(&codec->dates, 'X', sizeof codec->dates);
    ASSERT_EQ(Decode(Concat({{0x03}, TextBytes(kCdt), TextBytes(kRdt)})), 2);
    EXPECT_EQ(std::strlen(received().cdt), 18u);
    EXPECT_EQ(received().cdt, kCdt);
    EXPECT_EQ(received().rdt, kRdt);
    ASSERT_EQ(Decode(Concat({{0x01}, TextBytes(kRdt)})), 2);
    EXPECT_EQ(std::strlen(received().cdt), 18u);
    EXPECT_EQ(received().cdt, kRdt);
}

TEST_F(DateAndTime, LaterMenuBytesAnnounceNothingAndShiftNothing) {
    ASSERT_EQ(Decode(Concat({{0x81, 0xFF, 0x7F}, TextBytes(kCdt), TextBytes(kRdt)})), 2);
    EXPECT_EQ(received().datMenu[0], 0x81);
    EXPECT_EQ(received().datMenu[1], 0xFF);
    EXPECT_EQ(received().cdt, kCdt);
    EXPECT_STREQ(received().rdt, "");
    ExpectRefused(wire::kDateAndTime, {0x81, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00});
    ExpectRefused(wire::kDateAndTime, {0x81});
}

TEST_F(DateAndTime, BodyEndingInsideAFieldKeepsWhatCame) {
    const Bytes partialRdt = TextBytes(kRdt.substr(0, 10));
    ASSERT_EQ(Decode(Concat({{0x03}, TextBytes(kCdt), partialRdt})), 2);
    EXPECT_EQ(received().cdt, kCdt);
    EXPECT_STREQ(received().rdt, "");
    ASSERT_EQ(Decode({0x08, 0x07}), 2);
    EXPECT_EQ(received().rvn, 0);
}

TEST_F(DateAndTime, EveryPrefixOfABodyDecodesCleanly) {
    const Bytes body = Concat({{0x81, 0x00}, TextBytes(kCdt), TextBytes(kRdt), TextBytes(kCdt), {0x05, 0x00},
                               TextBytes(kCdt), TextBytes(kCdt), TextBytes(kCdt)});
    Bytes withAll = body;
    withAll[0] = 0xFF;
    zeltest::ExpectEveryPrefixDecodesCleanly(ZelDecodeDates, codec.context(), withAll);
    EXPECT_EQ(zeltest::DecodeExactly(ZelDecodeDates, codec.context(), withAll, withAll.size()).consumed,
              withAll.size());
}

// ---- Protection ----------------------------------------------------------------

class Protection : public DescriptionMessages {
protected:
    Protection() { codec.link().protection = &record; }
    Bytes Body() { return codec.EncodeBody(wire::kProtection); }
    int Decode(const Bytes& body) { return codec.Decode(wire::kProtection, body); }
    const ZelProtection& received() { return codec->protection; }

    RfaProtectionRecord record{};
};

TEST_F(Protection, OwnerAndSystemAccessGoInMenuOrder) {
    record.present = RFA_PROT_OWNER | RFA_PROT_SYSTEM;
    std::strcpy(record.owner, "SMITH");
    record.system = 0x1F;
    // TYPE 14, FLAGS 0x02, LENGTH 8.
    EXPECT_EQ(codec.Encode(wire::kProtection), (Bytes{0x0E, 0x02, 0x08, 0x03, 0x05, 'S', 'M', 'I', 'T', 'H', 0x0F}));
}

TEST_F(Protection, WorldAccessAlone) {
    record.present = RFA_PROT_WORLD;
    record.world = 0x05;
    record.system = 0x03;
    std::strcpy(record.owner, "SMITH");
    EXPECT_EQ(Body(), (Bytes{0x10, 0x05}));
}

TEST_F(Protection, EveryAccessCodeKeepsOnlyItsFourAccessBits) {
    record.present = 0xFFFFFFFF;
    std::strcpy(record.owner, "JONES");
    record.system = 0xF1;
    record.ownerAccess = 0x102;
    record.group = 0x84;
    record.world = 0x7FFFFFF8;
    EXPECT_EQ(Body(), (Bytes{0x1F, 0x05, 'J', 'O', 'N', 'E', 'S', 0x01, 0x02, 0x04, 0x08}));
}

TEST_F(Protection, EmptyOwnerClearsItsMenuBit) {
    record.present = RFA_PROT_OWNER | RFA_PROT_GROUP;
    record.group = 0x02;
    EXPECT_EQ(Body(), (Bytes{0x08, 0x02}));
    record.present = RFA_PROT_OWNER;
    EXPECT_EQ(Body(), (Bytes{0x00}));
}

TEST_F(Protection, OwnerOf40CharactersGoesWholeOneMoreIsRefused) {
    const std::string owner40(40, 'W');
    record.present = RFA_PROT_OWNER;
    std::strcpy(record.owner, owner40.c_str());
    EXPECT_EQ(Body(), Concat({{0x01, 40}, TextBytes(owner40)}));
    std::strcpy(record.owner, (owner40 + "X").c_str());
    ExpectEncodingRefused(wire::kProtection, RFA_ERR_BAD_ARGUMENT);
    // Not announced, the long owner is not looked at.
    record.present = RFA_PROT_WORLD;
    EXPECT_EQ(Body(), (Bytes{0x10, 0x00}));
}

TEST_F(Protection, MissingRecordIsRefused) {
    codec.link().protection = nullptr;
    ExpectEncodingRefused(wire::kProtection, RFA_ERR_BAD_ARGUMENT);
}

TEST_F(Protection, ReceivedFieldsLandInTheirPlaces) {
    ASSERT_EQ(Decode({0x1F, 0x05, 'S', 'M', 'I', 'T', 'H', 0x01, 0x02, 0x04, 0x08}), 2);
    const ZelProtection& p = received();
    EXPECT_EQ(p.protMenu, 0x1F);
    EXPECT_EQ(p.ownerCount, 5);
    EXPECT_STREQ(p.owner, "SMITH");
    EXPECT_EQ(p.protSys[0], 0x01);
    EXPECT_EQ(p.protOwn[0], 0x02);
    EXPECT_EQ(p.protGrp[0], 0x04);
    EXPECT_EQ(p.protWld[0], 0x08);
}

TEST_F(Protection, ReceivedOwnerOf40IsStoredWholeOf41Refused) {
    const std::string owner40(40, 'O');
    ASSERT_EQ(Decode(Concat({{0x01, 40}, TextBytes(owner40)})), 2);
    EXPECT_EQ(received().ownerCount, 40);
    EXPECT_EQ(std::string(received().owner), owner40);
    ExpectRefused(wire::kProtection, Concat({{0x01, 41}, TextBytes(owner40 + "X")}));
    // A shorter owner is a text of its own length, whatever the buffer held.
    ASSERT_EQ(Decode({0x01, 0x02, 'A', 'B'}), 2);
    EXPECT_STREQ(received().owner, "AB");
    // A count past the body.
    ExpectRefused(wire::kProtection, {0x01, 0x03, 'A', 'B'});
}

TEST_F(Protection, LongAccessCodesKeepTwoBytesAndShiftNothing) {
    // PROTSYS of two bytes, PROTOWN of three, then PROTGRP.
    ASSERT_EQ(Decode({0x0E, 0x81, 0x02, 0x83, 0x84, 0x05, 0x06}), 2);
    const ZelProtection& p = received();
    EXPECT_EQ(p.protSys[0], 0x81);
    EXPECT_EQ(p.protSys[1], 0x02);
    EXPECT_EQ(p.protOwn[0], 0x83);
    EXPECT_EQ(p.protOwn[1], 0x84);
    EXPECT_EQ(p.protGrp[0], 0x06);
    EXPECT_EQ(p.protGrp[1], 0x00);
    // Four continued bytes are more than an access code holds.
    ExpectRefused(wire::kProtection, {0x02, 0x81, 0x82, 0x83, 0x84, 0x05});
}

TEST_F(Protection, SecondMenuByteIsDroppedWithoutShiftingFields) {
    ASSERT_EQ(Decode({0x90, 0x01, 0x05}), 2);
    EXPECT_EQ(received().protMenu, 0x90);
    EXPECT_EQ(received().protWld[0], 0x05);
    EXPECT_EQ(received().ownerCount, 0);
    ExpectRefused(wire::kProtection, {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00});
}

TEST_F(Protection, EmptyOrShortBodyResetsWhatDidNotCome) {
    ASSERT_EQ(Decode({0x1F, 0x01, 'A', 0x01, 0x02, 0x04, 0x08}), 2);
    ASSERT_EQ(zeltest::DecodeEmptyBody(codec, wire::kProtection), 2);
    EXPECT_EQ(received().protMenu, 0);
    EXPECT_EQ(received().ownerCount, 0);
    EXPECT_EQ(received().protSys[0] | received().protOwn[0] | received().protGrp[0] | received().protWld[0], 0);
    ASSERT_EQ(Decode({0x1E, 0x01, 0x02}), 2);
    EXPECT_EQ(received().protSys[0], 0x01);
    EXPECT_EQ(received().protOwn[0], 0x02);
    EXPECT_EQ(received().protGrp[0], 0);
    EXPECT_EQ(received().protWld[0], 0);
}

TEST_F(Protection, EveryPrefixOfABodyDecodesCleanly) {
    const Bytes body = {0x9F, 0x00, 0x05, 'S', 'M', 'I', 'T', 'H', 0x81, 0x01, 0x02, 0x84, 0x85, 0x06, 0x08};
    zeltest::ExpectEveryPrefixDecodesCleanly(ZelDecodeProtection, codec.context(), body);
    EXPECT_EQ(zeltest::DecodeExactly(ZelDecodeProtection, codec.context(), body, body.size()).consumed,
              body.size());
}

// ---- Name ----------------------------------------------------------------------

class Name : public DescriptionMessages {
protected:
    void Rename(const std::string& newName) {
        codec->operation = kOpRename;
        std::strcpy(codec.link().status.name2, newName.c_str());
    }
    int Decode(const Bytes& body) { return codec.Decode(wire::kName, body); }
    const ZelName& received() { return codec->name; }
};

TEST_F(Name, RenameSendsFileTypeAndTheNewName) {
    Rename("NEW.TXT");
    // TYPE 15 goes without a length field: FLAGS 0x00.
    EXPECT_EQ(codec.Encode(wire::kName), (Bytes{0x0F, 0x00, 0x02, 0x07, 'N', 'E', 'W', '.', 'T', 'X', 'T'}));
    const std::string longest(255, 'L');
    Rename(longest);
    EXPECT_EQ(codec.EncodeBody(wire::kName), Concat({{0x02, 0xFF}, TextBytes(longest)}));
}

TEST_F(Name, NameOutsideARenameFailsWithError1) {
    std::strcpy(codec.link().status.name2, "NEW.TXT");
    for (RfaOperation operation : {kOpCopy, kOpDelete, kOpDir, kOpProtection, kOpUnknown}) {
        codec->operation = operation;
        ExpectEncodingRefused(wire::kName, RFA_ERR_LOCAL_IO);
    }
}

TEST_F(Name, ReceivedNameIsAlwaysATerminatedText) {
    for (size_t length : {254u, 255u, 0u, 3u}) {
        const std::string text(length, static_cast<char>('a' + length % 26));
        ASSERT_EQ(Decode(Concat({{0x02, static_cast<uint8_t>(length)}, TextBytes(text)})), 2);
        EXPECT_EQ(received().nameType, 0x02);
        EXPECT_EQ(received().nameCount, length);
        // The text ends at its count, also after a longer name.
        EXPECT_EQ(std::string(received().name), text);
    }
}

TEST_F(Name, LongNameTypeIsDroppedOrRefused) {
    // Three continued bytes and the one that ends them: the name follows.
    ASSERT_EQ(Decode({0x84, 0x80, 0x80, 0x01, 0x02, 'A', 'B'}), 2);
    EXPECT_EQ(received().nameType, 0x84);
    EXPECT_STREQ(received().name, "AB");
    // A fourth byte still continued.
    ExpectRefused(wire::kName, {0x80, 0x80, 0x80, 0x80, 0x02, 0x02, 'A', 'B'});
}

TEST_F(Name, NameRunningPastTheBodyIsRefusedMissingNameIsEmpty) {
    ExpectRefused(wire::kName, {0x02, 0x05, 'A', 'B'});
    ASSERT_EQ(Decode({0x02, 0x02, 'A', 'B'}), 2);
    ASSERT_EQ(Decode({0x04}), 2);
    EXPECT_EQ(received().nameType, 0x04);
    EXPECT_EQ(received().nameCount, 0);
    EXPECT_STREQ(received().name, "");
    ASSERT_EQ(zeltest::DecodeEmptyBody(codec, wire::kName), 2);
    EXPECT_EQ(received().nameType, 0);
}

TEST_F(Name, EveryPrefixOfABodyDecodesCleanly) {
    const Bytes body = Concat({{0x88, 0x00, 0x08}, TextBytes("[USER]A.TXT;1")});
    Bytes counted = body;
    counted[2] = static_cast<uint8_t>(body.size() - 3);
    zeltest::ExpectEveryPrefixDecodesCleanly(ZelDecodeName, codec.context(), counted);
    EXPECT_EQ(zeltest::DecodeExactly(ZelDecodeName, codec.context(), counted, counted.size()).result, 1);
    EXPECT_STREQ(received().name, "[USER]A.TXT;1");
}

// ---- CDA Semantics -------------------------------------------------------------

class Semantics : public DescriptionMessages {
protected:
    int Decode(const Bytes& body) { return codec.Decode(wire::kCdaSemantics, body); }
    const ZelSemantics& received() { return codec->semantics; }
};

TEST_F(Semantics, SentWithAnEmptyBody) {
    // TYPE 18, FLAGS 0x02, LENGTH 0.
    EXPECT_EQ(codec.Encode(wire::kCdaSemantics), (Bytes{0x12, 0x02, 0x00}));
}

TEST_F(Semantics, BothTextsAreKeptWithTheirCounts) {
    ASSERT_EQ(Decode(Concat({{0x03, 5}, TextBytes("STORE"), {6}, TextBytes("ACCESS")})), 2);
    EXPECT_EQ(received().semMenu, 0x03);
    ASSERT_EQ(received().storedCount, 5);
    EXPECT_EQ(0, std::memcmp(received().stored, "STORE", 5));
    ASSERT_EQ(received().accessedCount, 6);
    EXPECT_EQ(0, std::memcmp(received().accessed, "ACCESS", 6));
    // Only the accessed text; a second menu byte dropped.
    ASSERT_EQ(Decode(Concat({{0x82, 0x7F, 3}, TextBytes("ABC")})), 2);
    EXPECT_EQ(received().storedCount, 0);
    ASSERT_EQ(received().accessedCount, 3);
    EXPECT_EQ(0, std::memcmp(received().accessed, "ABC", 3));
    // 255 bytes fill a text whole.
    const std::string longest(255, 'S');
    ASSERT_EQ(Decode(Concat({{0x01, 255}, TextBytes(longest)})), 2);
    EXPECT_EQ(received().storedCount, 255);
    EXPECT_EQ(0, std::memcmp(received().stored, longest.data(), 255));
}

TEST_F(Semantics, MalformedBodiesAreRefused) {
    ExpectRefused(wire::kCdaSemantics, {0x80, 0x80, 0x80, 0x00});     // third menu byte continued
    ExpectRefused(wire::kCdaSemantics, {0x01, 0x04, 'A', 'B'});       // text past the body
    ExpectRefused(wire::kCdaSemantics, {0x03, 0x00, 0x02, 'A'});
}

TEST_F(Semantics, EmptyOrShortBodyResetsTheCounts) {
    ASSERT_EQ(Decode({0x03, 0x01, 'A', 0x01, 'B'}), 2);
    ASSERT_EQ(zeltest::DecodeEmptyBody(codec, wire::kCdaSemantics), 2);
    EXPECT_EQ(received().semMenu, 0);
    EXPECT_EQ(received().storedCount, 0);
    EXPECT_EQ(received().accessedCount, 0);
    ASSERT_EQ(Decode({0x03, 0x01, 'A'}), 2);
    EXPECT_EQ(received().storedCount, 1);
    EXPECT_EQ(received().accessedCount, 0);
}

TEST_F(Semantics, EveryPrefixOfABodyDecodesCleanly) {
    const Bytes body = Concat({{0x83, 0x00, 4}, TextBytes("DATA"), {3}, TextBytes("REC")});
    zeltest::ExpectEveryPrefixDecodesCleanly(ZelDecodeSemantics, codec.context(), body);
    EXPECT_EQ(zeltest::DecodeExactly(ZelDecodeSemantics, codec.context(), body, body.size()).consumed,
              body.size());
}

}  // namespace
