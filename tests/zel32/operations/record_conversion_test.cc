// Record conversion through whole copies against the scripted peer: how
// downloaded records become the local file's bytes (line ends, Fortran and
// print carriage control, peers that keep their own line ends), how an
// uploaded file is cut into records (text, image and stream mode), and
// 10 MB copies in each mode.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "peer_link.h"
#include "support/test_paths.h"
#include "trace_text.h"
#include "transfer_script.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/configuration.h"

namespace zeltest {
namespace {

constexpr uint8_t kFortran = 0x01;
constexpr uint8_t kImpliedLineEnd = 0x02;
constexpr uint8_t kPrintFormat = 0x04;

std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class RecordConversion : public ::testing::Test {
protected:
    void SetUp() override {
        ZelResetConfigTemplate();
        ClearNotifications();
    }
    ScratchDir scratch;
};

// ---- Downloads -------------------------------------------------------------

struct DownloadSetup {
    PeerConfig peer{};
    uint16_t mode = RFA_MODE_TEXT;
    Bytes sentAttributes = SentAttributes();
    Bytes access = DownloadAccess("REMOTE.TXT");
    Bytes dataControl = DataPhaseControl(1);
};

struct DownloadOutcome {
    int32_t code;
    std::string file;
    RfaLinkStatus status;
};

// Downloads REMOTE.TXT, whose Attributes reply is `remoteAttributes` and
// whose records come in `records` (reply steps ending with the end-of-file
// Status), and checks the frames the library sent.
Script DownloadScript(const Bytes& remoteAttributes, const Script& records, const DownloadSetup& setup = {}) {
    return Joined({{expect(setup.sentAttributes + setup.access), reply(remoteAttributes + Acknowledge()),
                    expect(CopyConnectControl()), reply(Acknowledge()), expect(setup.dataControl)},
                   records,
                   {expect(CopyAccessComplete()), reply(AccessComplete())}});
}

DownloadOutcome Download(const ScratchDir& scratch, const Bytes& remoteAttributes, const Script& records,
                         const DownloadSetup& setup = {}) {
    PeerLink link(DownloadScript(remoteAttributes, records, setup), setup.peer);
    const std::string target = scratch / "OUT";
    DownloadOutcome outcome{};
    outcome.code = RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, setup.mode, nullptr);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    outcome.file = ReadFile(target);
    outcome.status = link.Look();
    return outcome;
}

Script Records(std::initializer_list<Bytes> messages) {
    Bytes block;
    for (const Bytes& message : messages) block = block + message;
    return {reply(block + Status(0x5027))};
}

struct DownloadCase {
    const char* name;
    uint8_t rfm;
    uint8_t rat;
    std::vector<std::string> records;
    std::string file;
};

TEST_F(RecordConversion, DownloadedRecordsGetTheLineEndsTheirFormatCallsFor) {
    const DownloadCase cases[] = {
        {"RFM 2 with an implied line end", 2, kImpliedLineEnd, {"REC1", "", "REC3"}, "REC1\r\n\r\nREC3\r\n"},
        {"RFM 6 ends in its own carriage return", 6, kImpliedLineEnd, {"A", "B"}, "A\nB\n"},
        {"RFM 5 loses its own line feed", 5, kImpliedLineEnd, {"LINE\n", "NONE"}, "LINE\r\nNONE\r\n"},
        {"no implied line end", 2, 0x00, {"A", "B"}, "AB"},
        {"Fortran, RFM 2", 2, kFortran, {"1TITLE", "0X", "+Y", "$PROMPT", " SPACE", ""},
         "\fTITLE\r\n\nX\rY\r\nPROMPT\nSPACE\r\n\r"},
        {"Fortran, RFM 5", 5, kFortran, {"1TITLE\n", "$PROMPT\n", "+\n"}, "\fTITLE\r\nPROMPT\r"},
        {"Fortran, RFM 6", 6, kFortran, {"0X\r", "$Q\r"}, "\n\nX\r\nQ"},
        // Bytes that are no record's terminator stay.
        {"RFM 5 with no line end added keeps its line feeds", 5, 0x00, {"A\n", "B"}, "A\nB"},
        {"Fortran, RFM 5, records without their line feed", 5, kFortran, {"1TITLE", "$PROMPT", "+Z\n"},
         "\fTITLE\r\nPROMPTZ\r"},
        {"Fortran, RFM 6, a record without its carriage return", 6, kFortran, {"$Q"}, "\nQ"},
    };
    for (const DownloadCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ScratchDir dir;
        Bytes block;
        for (const std::string& record : testCase.records) block = block + Data(Text(record));
        const DownloadOutcome outcome =
            Download(dir, RemoteAttributes(testCase.rfm, testCase.rat), {reply(block + Status(0x5027))});
        EXPECT_EQ(outcome.code, 0);
        EXPECT_EQ(outcome.file, testCase.file);
        EXPECT_EQ(outcome.status.bytesTransferred, testCase.file.size());
        EXPECT_EQ(outcome.status.localFileSize, testCase.file.size());
    }
}

TEST_F(RecordConversion, PrintFormatRecordsGetTheirPrefixAndPostfixControls) {
    const DownloadOutcome outcome =
        Download(scratch, RemoteAttributes(2, kPrintFormat),
                 Records({PrintData(1, 0x8D, Text("DATA")), PrintData(0xA0, 0x02, Text("X")),
                          PrintData(0x8C, 0xE0, Text("Y")), PrintData(0, 0, Text("Z"))}));
    EXPECT_EQ(outcome.code, 0);
    // 1: one line feed; 0x8D: 0x8D AND 0x1F. 0xA0: the carriage return it
    // stands for; 0x02: two line feeds. 0x8C: a form feed; 0xE0: a line feed.
    EXPECT_EQ(outcome.file, "\nDATA\r\rX\n\n\fY\nZ");
    EXPECT_EQ(outcome.status.bytesTransferred, outcome.file.size());
}

TEST_F(RecordConversion, AStreamRecordsLineFeedGivesWayToItsPrintControls) {
    const DownloadOutcome outcome = Download(scratch, RemoteAttributes(5, kPrintFormat),
                                             Records({PrintData(1, 0x8D, Text("DATA\n"))}));
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(outcome.file, "\nDATA\r");
}

TEST_F(RecordConversion, ARecordWhoseControlsMakeItLargerThanABlockIsWrittenWholeAndInOrder) {
    const Bytes large(32248, 'L');  // with 127 line feeds and CR LF: 32377 bytes
    const DownloadOutcome outcome =
        Download(scratch, RemoteAttributes(2, kImpliedLineEnd | kPrintFormat),
                 {reply(PrintData(0, 0, Text("FIRST"))), reply(Message(8, 0x06, Bytes{0x00, 127, 0x00} + large)),
                  reply(PrintData(0, 0, Text("LAST")) + Status(0x5027))});
    EXPECT_EQ(outcome.code, 0);
    const std::string expected = "FIRST\r\n" + std::string(127, '\n') + AsText(large) + "\r\nLAST\r\n";
    EXPECT_TRUE(outcome.file == expected);
    EXPECT_EQ(outcome.status.bytesTransferred, expected.size());
}

TEST_F(RecordConversion, PeersThatKeepTheirOwnLineEndsGetNoneAdded) {
    {
        SCOPED_TRACE("file system 17: block transfer, FAC 0x22, RAC 5, BSZ sent");
        DownloadSetup setup;
        setup.peer.filesys = 17;
        setup.sentAttributes = Message(2, 0x02, {0xAF, 0x40, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x08});
        setup.access = SentAccess(1, "REMOTE.TXT", 0x22, {0x91, 0x02});
        setup.dataControl = DataPhaseControl(1, 5);
        ScratchDir dir;
        const DownloadOutcome outcome =
            Download(dir, RemoteAttributes(5, kImpliedLineEnd), Records({Data(Text("ONE\n")), Data(Text("TWO\n"))}), setup);
        EXPECT_EQ(outcome.code, 0);
        EXPECT_EQ(outcome.file, "ONE\nTWO\n");  // block transfer keeps the records' own line feeds
    }
    {
        SCOPED_TRACE("a stream peer");
        DownloadSetup setup;
        setup.peer = StreamPeer();
        ScratchDir dir;
        const DownloadOutcome outcome =
            Download(dir, RemoteAttributes(2, kImpliedLineEnd), Records({Data(Text("ONE\r\n")), Data(Text("TWO"))}), setup);
        EXPECT_EQ(outcome.code, 0);
        EXPECT_EQ(outcome.file, "ONE\r\nTWO");
        // Its line feeds stay where no line end comes back for them.
        ScratchDir lineFeeds;
        const DownloadOutcome ended = Download(lineFeeds, RemoteAttributes(5, kImpliedLineEnd),
                                               Records({Data(Text("ONE\n")), Data(Text("TWO\n"))}), setup);
        EXPECT_EQ(ended.code, 0);
        EXPECT_EQ(ended.file, "ONE\nTWO\n");
    }
    {
        SCOPED_TRACE("an image copy");
        DownloadSetup setup;
        setup.mode = RFA_MODE_IMAGE;
        setup.sentAttributes = SentAttributes(true);
        ScratchDir dir;
        const DownloadOutcome outcome =
            Download(dir, RemoteAttributes(5, kImpliedLineEnd), Records({Data(Text("ONE\n")), Data(Bytes{0, 1, 2})}), setup);
        EXPECT_EQ(outcome.code, 0);
        EXPECT_EQ(outcome.file, std::string("ONE\n\0\1\2", 7));
        EXPECT_EQ(outcome.status.bytesTransferred, 7u);
    }
}

// The Data messages behind the first of a block are converted where they
// lie; whatever the ordinary path must see (a message of another form, a
// trace) goes through it, and the counts come out the same either way.
TEST_F(RecordConversion, EveryDataMessageOfABlockIsConvertedWhateverItsFormAndCounted) {
    const Bytes block = Data(Text("A")) + Message(8, 0x02, {}) + Data(Text("B")) +
                        Message(8, 0x06, Bytes{0x00} + Text("C")) + Data(Text("D")) + Status(0x5027);
    const std::string expected = "A\r\n\r\nB\r\nC\r\nD\r\n";
    const std::string statistics = "CMP: = 1   /1      DAT: = 0   /5      STA: = 0   /1   ";
    for (const bool traced : {false, true}) {
        SCOPED_TRACE(traced ? "traced" : "not traced");
        ScratchDir dir;
        const std::string trace = dir / "trace.txt";
        const std::string target = dir / "OUT";
        PeerLink link(DownloadScript(RemoteAttributes(2, kImpliedLineEnd), {reply(block)}));
        if (traced) {
            ASSERT_EQ(StartTrace(link.handle(), trace, false), 0);
        }
        EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr), 0);
        EXPECT_EQ(ReadFile(target), expected);
        // The record last received is the block's last: decoded when traced,
        // written from where it lay (its bytes not kept) when not.
        ASSERT_NE(link.context(), nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(link.context()->recordData)), traced ? "D" : "");
        EXPECT_EQ(link.context()->recordLength, traced ? 1 : 0);
        // A trace started now still closes with the counts of the whole link.
        if (!traced) {
            ASSERT_EQ(StartTrace(link.handle(), trace, false), 0);
        }
        EXPECT_EQ(link.Close(), 0);
        ASSERT_TRUE(link.Finish()) << link.peer().report();
        const std::string text = ReadFile(trace);
        EXPECT_NE(text.find(statistics), std::string::npos) << text;
        size_t tracedData = 0;
        for (size_t at = text.find("RECEIVED Data"); at != std::string::npos; at = text.find("RECEIVED Data", at + 1))
            ++tracedData;
        EXPECT_EQ(tracedData, traced ? 5u : 0u);
    }
}

// A record out of the in-place path's reach in the middle of a block (its
// RECNUM out of range) fails the copy as it would at the block's start,
// after the records before it reached the file.
TEST_F(RecordConversion, ARefusedDataMessageInTheMiddleOfABlockFailsTheCopy) {
    for (const bool first : {true, false}) {
        SCOPED_TRACE(first ? "the block's first message" : "behind two records");
        const Bytes refused = Message(8, 0x02, Bytes{0x09} + Text("X"));
        const Bytes block = (first ? Bytes{} : Data(Text("A")) + Data(Text("B"))) + refused + Status(0x5027);
        ScratchDir dir;
        const std::string target = dir / "OUT";
        PeerLink link(Joined({{expect(SentAttributes() + DownloadAccess("REMOTE.TXT")),
                               reply(RemoteAttributes(2, kImpliedLineEnd) + Acknowledge()), expect(CopyConnectControl()),
                               reply(Acknowledge()), expect(DataPhaseControl(1)), reply(block)}}));
        EXPECT_EQ(RfaCopy(link.handle(), "REMOTE.TXT", target.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_TEXT, nullptr),
                  RFA_ERR_PROTOCOL);
        link.Finish();
        const RfaLinkStatus status = link.Look();
        EXPECT_EQ(status.errorCode, RFA_ERR_PROTOCOL);
        EXPECT_EQ(status.bytesTransferred, first ? 0u : 6u);
    }
}

// ---- Uploads ---------------------------------------------------------------

struct UploadSetup {
    PeerConfig peer{};
    uint16_t mode = RFA_MODE_TEXT;
    const RfaCopyAttributes* description = nullptr;
    Bytes copyAttributes = SentAttributes();
    uint8_t fac = 0x01;
    uint8_t rac = 3;
};

// An image upload with a description that makes MRS 512 (sent as given, or
// the default of an odd transfer mode), toward a peer with two-byte lengths.
UploadSetup ImageUpload(const RfaCopyAttributes* description) {
    UploadSetup setup;
    setup.peer = Len256Peer();
    setup.mode = RFA_MODE_IMAGE;
    setup.description = description;
    setup.copyAttributes = Message(2, 0x02, {0x2F, 0x02, 0x00, 0x04, 0x00, 0x00, 0x02});
    return setup;
}

struct UploadOutcome {
    int32_t code;
    std::vector<Bytes> records;
    std::vector<ReceivedFrame> frames;  // the data phase's, from the first Data block on
    RfaLinkStatus status;
};

// Uploads a local file holding `content` to NEW.DAT, a target that does not
// exist yet, checking every frame up to the data phase; the data phase is
// read up to the block that ends with the Access Complete.
UploadOutcome Upload(const ScratchDir& scratch, const std::string& content, const UploadSetup& setup = {}) {
    const std::string source = scratch / "SOURCE";
    WriteFile(source, content);
    EXPECT_TRUE(StampFile(source));
    const bool image = setup.mode == RFA_MODE_IMAGE;
    PeerLink link({expect(SentAttributes(image) + OpenAccess("NEW.DAT")), reply(Status(0x4032)),
                   expect(setup.copyAttributes + SentDates(kStampText) +
                          SentAccess(2, "NEW.DAT", setup.fac, {0x91, 0x02})),
                   reply(Acknowledge()), expect(CopyConnectControl()), reply(Acknowledge()),
                   expect(DataPhaseControl(4, setup.rac)),
                   expectUntil([](const Bytes& block) { return EndsWithMessage(block, 7); }, "the Access Complete"),
                   reply(AccessComplete())},
                  setup.peer);
    UploadOutcome outcome{};
    outcome.code = RfaCopy(link.handle(), source.c_str(), "NEW.DAT", RFA_COPY_UPLOAD, setup.mode, setup.description);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
    std::vector<ReceivedFrame> frames = link.peer().received();
    constexpr size_t kFramesBeforeData = 5;  // Configuration, probe, copy's Access, connect, data-phase Control
    frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(std::min(frames.size(), kFramesBeforeData)));
    outcome.frames = frames;
    outcome.records = SentRecords(frames);
    outcome.status = link.Look();
    return outcome;
}

std::vector<Bytes> TextRecords(std::initializer_list<std::string> texts) {
    std::vector<Bytes> records;
    for (const std::string& text : texts) records.push_back(Text(text));
    return records;
}

TEST_F(RecordConversion, TextUploadEndsRecordsAtCarriageReturnsAndDropsLineFeeds) {
    {
        SCOPED_TRACE("CR LF line ends");
        ScratchDir dir;
        const UploadOutcome outcome = Upload(dir, "A\r\nB\r\n");
        EXPECT_EQ(outcome.code, 0);
        ASSERT_EQ(outcome.frames.size(), 1u);
        EXPECT_EQ(outcome.frames[0].payload, SentData(Text("A")) + SentData(Text("B")) + CopyAccessComplete());
        EXPECT_EQ(outcome.status.bytesTransferred, 6u);
    }
    {
        SCOPED_TRACE("line feeds alone end no record");
        ScratchDir dir;
        const UploadOutcome outcome = Upload(dir, "A\nB\n");
        ASSERT_EQ(outcome.frames.size(), 1u);
        EXPECT_EQ(outcome.frames[0].payload, SentData(Text("AB")) + CopyAccessComplete());
    }
    {
        SCOPED_TRACE("0x1A is dropped, an empty line is an empty record");
        ScratchDir dir;
        const UploadOutcome outcome = Upload(dir, "A\x1A" "B\r\r\nC");
        EXPECT_EQ(outcome.records, TextRecords({"AB", "", "C"}));
        EXPECT_EQ(outcome.status.bytesTransferred, 7u);
    }
}

TEST_F(RecordConversion, TextUploadWithAPrintControlAreaBeginsEachLineWithTheFixedControlBytes) {
    // recordAttributes 0x04: RAT 4, RFM 3 and FSZ 2.
    const RfaCopyAttributes description = {2, 0, 0x04, 0, 0};
    UploadSetup setup;
    setup.description = &description;
    setup.copyAttributes = Message(2, 0x02, {0xAF, 0x02, 0x01, 0x00, 0x03, 0x04, 0x00, 0x00, 0x02});
    const UploadOutcome outcome = Upload(scratch, "A\r\nB\r\n", setup);
    EXPECT_EQ(outcome.code, 0);
    ASSERT_EQ(outcome.frames.size(), 1u);
    // The last record comes from the final line feed.
    EXPECT_EQ(outcome.frames[0].payload, SentData({0x01, 0x8D, 'A'}) + SentData({0x01, 0x8D, 'B'}) +
                                             SentData({0x01, 0x8D}) + CopyAccessComplete());
}

TEST_F(RecordConversion, LongTextLinesAreCutAtHalfTheBufferSizeAndAtTheMrsOfFixedRecords) {
    {
        SCOPED_TRACE("half of a 512-byte buffer; the rest gets no fixed-control bytes");
        const RfaCopyAttributes description = {2, 0, 0x04, 0, 0};
        UploadSetup setup;
        setup.peer.bufsiz = 512;
        setup.description = &description;
        setup.copyAttributes = Message(2, 0x02, {0xAF, 0x02, 0x01, 0x00, 0x03, 0x04, 0x00, 0x00, 0x02});
        const std::string line(300, 'L');
        ScratchDir dir;
        const UploadOutcome outcome = Upload(dir, line + "\r", setup);
        EXPECT_EQ(outcome.code, 0);
        ASSERT_EQ(outcome.records.size(), 2u);
        EXPECT_EQ(outcome.records[0], (Bytes{0x01, 0x8D} + Bytes(254, 'L')));
        EXPECT_EQ(outcome.records[1], Bytes(46, 'L'));
    }
    {
        SCOPED_TRACE("half of a 512-byte buffer, no control area: a line of 256 is one record, of 257 two");
        UploadSetup setup;
        setup.peer.bufsiz = 512;
        ScratchDir dir;
        const UploadOutcome outcome =
            Upload(dir, std::string(256, 'A') + "\r\n" + std::string(257, 'B') + "\r\nC\r\n", setup);
        EXPECT_EQ(outcome.code, 0);
        EXPECT_EQ(outcome.records, TextRecords({std::string(256, 'A'), std::string(256, 'B'), "B", "C"}));
    }
    {
        SCOPED_TRACE("fixed-length records of MRS 10");
        const RfaCopyAttributes description = {2, 3, 0, 10, 0};  // recordFormat 3: RFM 1
        UploadSetup setup;
        setup.description = &description;
        setup.copyAttributes = Message(2, 0x02, {0x2F, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x00});
        ScratchDir dir;
        const UploadOutcome outcome = Upload(dir, "ABCDEFGHIJKLMNO\r", setup);
        EXPECT_EQ(outcome.records, TextRecords({"ABCDEFGHIJ", "KLMNO"}));
    }
}

TEST_F(RecordConversion, ImageUploadPadsShortRecordsToMrsWithZeros) {
    const RfaCopyAttributes description = {2, 0, 0, 512, 0};
    const UploadSetup setup = ImageUpload(&description);
    std::string content(1000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + 1);
    const UploadOutcome outcome = Upload(scratch, content, setup);
    EXPECT_EQ(outcome.code, 0);
    const Bytes bytes = Text(content);
    const Bytes first(bytes.begin(), bytes.begin() + 512);
    const Bytes second = Bytes(bytes.begin() + 512, bytes.end()) + Bytes(24, 0);
    ASSERT_EQ(outcome.frames.size(), 1u);
    EXPECT_EQ(outcome.frames[0].payload, SentData(first) + SentData(second) + CopyAccessComplete());
    EXPECT_EQ(outcome.status.bytesTransferred, 1000u);  // the bytes read, not the padding
    EXPECT_EQ(outcome.status.localFileSize, 1000u);
}

TEST_F(RecordConversion, BlockTransferImageUploadSendsTheLastRecordUnpadded) {
    const RfaCopyAttributes description = {1, 0, 0, 0, 0};  // transferMode 1: RAC 5, MRS 512
    UploadSetup setup = ImageUpload(&description);
    setup.fac = 0x21;
    setup.rac = 5;
    const UploadOutcome outcome = Upload(scratch, std::string(1000, 'I'), setup);
    EXPECT_EQ(outcome.code, 0);
    ASSERT_EQ(outcome.records.size(), 2u);
    EXPECT_EQ(outcome.records[0], Bytes(512, 'I'));
    EXPECT_EQ(outcome.records[1], Bytes(488, 'I'));
}

TEST_F(RecordConversion, StreamUploadCutsAt512AndAtEveryBlockWithoutChangingAByte) {
    UploadSetup setup;
    setup.peer = StreamPeer(1000);  // the file is read 1000 bytes at a time
    std::string content;
    for (int i = 0; i < 1300; ++i) content += "AB\r\n\x1A"[i % 5];
    const UploadOutcome outcome = Upload(scratch, content, setup);
    EXPECT_EQ(outcome.code, 0);
    const Bytes bytes = Text(content);
    const Bytes first(bytes.begin(), bytes.begin() + 512);
    const Bytes second(bytes.begin() + 512, bytes.begin() + 1000);
    const Bytes third(bytes.begin() + 1000, bytes.end());
    // The first record fills its block (517 bytes of 1000); the others share one.
    ASSERT_EQ(outcome.frames.size(), 2u);
    EXPECT_EQ(outcome.frames[0].payload, SentData(first));
    EXPECT_EQ(outcome.frames[1].payload, SentData(second) + SentData(third) + CopyAccessComplete());
    EXPECT_EQ(outcome.status.bytesTransferred, 1300u);
}

// ---- 10 MB copies --------------------------------------------------------------

constexpr size_t kLargeSize = 10u << 20;

// Printable lines of 0 to 199 characters, in all at least `size` bytes.
std::vector<std::string> Lines(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::string> lines;
    size_t total = 0;
    while (total < size) {
        std::string line(random() % 200, ' ');
        for (char& character : line) character = static_cast<char>(' ' + random() % 95);
        total += line.size() + 2;
        lines.push_back(std::move(line));
    }
    return lines;
}

Bytes RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

std::vector<Bytes> Slices(const Bytes& bytes, size_t size) {
    std::vector<Bytes> slices;
    for (size_t at = 0; at < bytes.size(); at += size)
        slices.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                            bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + size)));
    return slices;
}

TEST_F(RecordConversion, TowardAPeerOfASmallBufferRecordsAreCutAtWhatItsBlocksHold) {
    // A 300-byte buffer: the file is read 300 bytes at a time, and a record
    // of 512 (or of 300) would not go in one Data message in one block.
    UploadSetup setup;
    setup.peer = StreamPeer(300);
    const Bytes bytes = RandomBytes(700, 5);
    const UploadOutcome outcome = Upload(scratch, std::string(bytes.begin(), bytes.end()), setup);
    EXPECT_EQ(outcome.code, 0);
    std::vector<size_t> lengths;
    Bytes joined;
    for (const Bytes& record : outcome.records) {
        lengths.push_back(record.size());
        joined.insert(joined.end(), record.begin(), record.end());
    }
    EXPECT_EQ(lengths, (std::vector<size_t>{295, 5, 295, 5, 100}));
    EXPECT_EQ(joined, bytes);
    for (const auto& frame : outcome.frames) EXPECT_LE(frame.payload.size(), 300u);
}

TEST_F(RecordConversion, TenMegabyteDownloadsInEachModeWriteTheRightBytes) {
    {
        SCOPED_TRACE("text records gain carriage return and line feed");
        std::vector<Bytes> records;
        std::string expected;
        for (const std::string& line : Lines(kLargeSize, 1)) {
            records.push_back(Text(line));
            expected += line + "\r\n";
        }
        ScratchDir dir;
        const DownloadOutcome outcome =
            Download(dir, RemoteAttributes(2, kImpliedLineEnd), ReplyRecords(records, Status(0x5027)));
        EXPECT_EQ(outcome.code, 0);
        EXPECT_TRUE(outcome.file == expected);
        EXPECT_EQ(outcome.status.bytesTransferred, expected.size());
        EXPECT_EQ(outcome.status.localFileSize, expected.size());
    }
    // Records that reach the file as they come, line-end bytes and all.
    const auto verbatim = [](const DownloadSetup& setup, size_t recordSize, uint32_t seed) {
        const Bytes content = RandomBytes(kLargeSize + 100, seed);
        ScratchDir dir;
        const DownloadOutcome outcome = Download(dir, RemoteAttributes(2, kImpliedLineEnd),
                                                 ReplyRecords(Slices(content, recordSize), Status(0x5027)), setup);
        EXPECT_EQ(outcome.code, 0);
        EXPECT_TRUE(outcome.file == AsText(content));
        EXPECT_EQ(outcome.status.bytesTransferred, content.size());
    };
    {
        SCOPED_TRACE("image records are written as they come");
        DownloadSetup setup;
        setup.mode = RFA_MODE_IMAGE;
        setup.sentAttributes = SentAttributes(true);
        verbatim(setup, 1000, 2);
    }
    {
        SCOPED_TRACE("a stream peer's records are written as they come");
        DownloadSetup setup;
        setup.peer = StreamPeer();
        verbatim(setup, 512, 3);
    }
    {
        SCOPED_TRACE("a stream peer's records as large as a block are written as they come");
        DownloadSetup setup;
        setup.peer = StreamPeer();
        verbatim(setup, 32251, 5);
    }
}

// Small records wait in the local buffer; one of half the buffer or more
// goes out straight, together with those waiting: the file still holds
// every byte in order.
TEST_F(RecordConversion, SmallAndLargeRecordsMixedReachTheFileInOrder) {
    const Bytes content = RandomBytes(1u << 20, 6);
    const size_t sizes[] = {7, 20000, 300, 16127, 16128, 1, 32000, 5000, 5000, 5000, 31000};
    std::vector<Bytes> records;
    size_t at = 0;
    for (size_t i = 0; at < content.size(); ++i) {
        const size_t size = std::min(sizes[i % std::size(sizes)], content.size() - at);
        records.emplace_back(content.begin() + static_cast<std::ptrdiff_t>(at),
                             content.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
    }
    DownloadSetup setup;
    setup.peer = StreamPeer();
    const DownloadOutcome outcome =
        Download(scratch, RemoteAttributes(2, kImpliedLineEnd), ReplyRecords(records, Status(0x5027)), setup);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_TRUE(outcome.file == AsText(content));
    EXPECT_EQ(outcome.status.bytesTransferred, content.size());
    EXPECT_EQ(outcome.status.localFileSize, content.size());
}

TEST_F(RecordConversion, TenMegabyteUploadsInEachModeSendTheRightRecords) {
    {
        SCOPED_TRACE("text: one record per line");
        const std::vector<std::string> lines = Lines(kLargeSize, 4);
        std::string content;
        std::vector<Bytes> expected;
        for (const std::string& line : lines) {
            content += line + "\r\n";
            expected.push_back(Text(line));
        }
        UploadSetup setup;
        setup.peer = Len256Peer();
        ScratchDir dir;
        const UploadOutcome outcome = Upload(dir, content, setup);
        EXPECT_EQ(outcome.code, 0);
        EXPECT_EQ(outcome.records.size(), expected.size());
        EXPECT_TRUE(outcome.records == expected);
        EXPECT_EQ(outcome.status.bytesTransferred, content.size());
        EXPECT_EQ(outcome.status.localFileSize, content.size());
    }
    {
        SCOPED_TRACE("image: 512-byte records, the last one padded to MRS");
        const Bytes content = RandomBytes(kLargeSize + 100, 5);
        const RfaCopyAttributes description = {2, 0, 0, 512, 0};
        const UploadSetup setup = ImageUpload(&description);
        ScratchDir dir;
        const UploadOutcome outcome = Upload(dir, AsText(content), setup);
        EXPECT_EQ(outcome.code, 0);
        // 32256-byte blocks hold whole 512-byte records, so only the last is short.
        std::vector<Bytes> expected = Slices(content, 512);
        expected.back().resize(512, 0);
        EXPECT_EQ(outcome.records.size(), expected.size());
        EXPECT_TRUE(outcome.records == expected);
        EXPECT_EQ(outcome.status.bytesTransferred, content.size());
    }
    {
        SCOPED_TRACE("stream: records of 512 bytes and block ends, nothing changed");
        const Bytes content = RandomBytes(kLargeSize + 100, 6);
        UploadSetup setup;
        setup.peer = StreamPeer(30000);  // blocks of 30000 bytes: a short record at each block's end
        ScratchDir dir;
        const UploadOutcome outcome = Upload(dir, AsText(content), setup);
        EXPECT_EQ(outcome.code, 0);
        std::vector<Bytes> expected;
        for (const Bytes& block : Slices(content, 30000)) {
            for (const Bytes& record : Slices(block, 512)) expected.push_back(record);
        }
        EXPECT_EQ(outcome.records.size(), expected.size());
        EXPECT_TRUE(outcome.records == expected);
        EXPECT_EQ(outcome.status.bytesTransferred, content.size());
    }
}

TEST_F(RecordConversion, ImageUploadsPadOnlyTheFilesLastRecordWhateverTheBlockSize) {
    // Blocks that hold no whole number of records: a record runs on into
    // the next block read instead of being padded at the block's end. And an
    // MRS above 512 is the length of every record, not of 512 and zeros.
    struct Case {
        const char* name;
        uint16_t bufsiz;
        uint16_t mrs;
        size_t cut;
    };
    const Case cases[] = {
        {"a 600-byte buffer, MRS 512", 600, 512, 512},
        {"a 300-byte buffer: records cut at 295, MRS 128", 300, 128, 295},
        {"MRS 1024, above the usual cut", 0x7E00, 1024, 1024},
    };
    const Bytes content = RandomBytes(3000, 7);
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const RfaCopyAttributes description = {2, 0, 0, testCase.mrs, 0};
        UploadSetup setup = ImageUpload(&description);
        setup.peer.bufsiz = testCase.bufsiz;
        setup.copyAttributes = Message(2, 0x02, {0x2F, 0x02, 0x00, 0x04, 0x00, static_cast<uint8_t>(testCase.mrs & 0xFF),
                                                 static_cast<uint8_t>(testCase.mrs >> 8)});
        ScratchDir dir;
        const UploadOutcome outcome = Upload(dir, AsText(content), setup);
        EXPECT_EQ(outcome.code, 0);
        std::vector<Bytes> expected = Slices(content, testCase.cut);
        if (expected.back().size() < testCase.mrs) expected.back().resize(testCase.mrs, 0);
        EXPECT_TRUE(outcome.records == expected);
    }
}

}  // namespace
}  // namespace zeltest
