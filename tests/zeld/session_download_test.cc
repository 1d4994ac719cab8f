// Sessions fed blocks as the client library sends them: the Configuration
// exchange, downloads, record reads and aborts, in the stream personality.
#include <gtest/gtest.h>

#include "wire/message_types.h"
#include "zeld_harness.h"

namespace zeldtest {
namespace {

using zeltest::WriteFile;

TEST(SessionConfiguration, ReplyCarriesBufferSizeFileSystemAndExactlyTheImplementedCapabilities) {
    SessionHarness harness;
    const auto reply = harness.Send(client::Configuration());
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(reply[0].type, wire::kConfiguration);
    // BUFSIZ 32256, OSTYPE 18, FILESYS 10, VERNUM 7, ECONUM 2, USRNUM 0,
    // VORVER 1, USRVER 0; SYSCAP 5 18 20 25 27 37 40 44 54 55.
    EXPECT_EQ(Hex(reply[0].body), "00 7e 12 0a 07 02 00 01 00 a0 80 d0 d0 80 a4 84 60");
    // The Configuration goes alone, without a length field.
    ASSERT_EQ(harness.sink.blocks.size(), 1u);
    EXPECT_EQ(harness.sink.blocks[0][1], 0x00);
}

TEST(SessionConfiguration, RecordsPersonalityAndSpoolersChangeFileSystemAndCapabilities) {
    SessionHarness harness(zeld::Personality::kRecords);
    zeld::Spooler printer;
    zeld::Spooler submitter;
    harness.SetSpoolers(&printer, &submitter);
    const auto reply = harness.Send(client::Configuration());
    ASSERT_EQ(reply.size(), 1u);
    // OSTYPE 7, FILESYS 3; print 29 and submit 30 added, the stream bits gone.
    EXPECT_EQ(Hex(reply[0].body), "00 7e 07 03 07 02 00 01 00 a0 80 d0 d0 86 a4 04");
}

TEST(SessionConfiguration, AnythingBeforeTheConfigurationIsASyncError) {
    SessionHarness harness;
    WriteFile(harness.Path("a.txt"), "x");
    const auto reply =
        harness.Send(client::Attributes() + client::Access(1, "a.txt", 2, client::Display91()));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0xA080}));  // Sync Error, Attributes (type 2)
    // The Configuration the client then sends is answered, and work goes on.
    EXPECT_EQ(Types(harness.Send(client::Configuration())), (std::vector<uint8_t>{wire::kConfiguration}));
    EXPECT_EQ(Types(harness.Send(client::Attributes() + client::Access(1, "a.txt", 2, client::Display91())))
                  .back(),
              wire::kAcknowledge);
}

TEST(SessionDownload, CopyOfASmallFileFollowsTheClientsSequence) {
    SessionHarness harness;
    harness.Configure();
    WriteFile(harness.Path("a.txt"), "hello\nworld\n");

    auto reply = harness.Send(client::Attributes() + client::Access(1, "a.txt", 2, client::Display91()));
    ASSERT_EQ(Types(reply), (std::vector<uint8_t>{wire::kAttributes, wire::kDateAndTime, wire::kName,
                                                  wire::kAcknowledge}));
    // Text echoed, sequential, stream records, no carriage control, 12 bytes:
    // EBK 1 (the block holding the end), FFB 12.
    EXPECT_EQ(Hex(reply[0].body), "af 80 30 01 00 04 00 00 00 04 01 00 00 00 0c 00");
    EXPECT_EQ(reply[2].body, Bytes{0x01} + Bytes{5} + Text("a.txt"));
    // Everything in one block.
    EXPECT_EQ(harness.sink.blocks.size(), 1u);

    EXPECT_EQ(Types(harness.Send(client::ControlConnect())), (std::vector<uint8_t>{wire::kAcknowledge}));
    reply = harness.Send(client::ControlCopy(1));
    EXPECT_EQ(DataText(reply), "hello\nworld\n");
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x5027}));
    EXPECT_EQ(reply.back().type, wire::kStatus);

    reply = harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00}));
    ASSERT_EQ(Types(reply), (std::vector<uint8_t>{wire::kAccessComplete}));
    EXPECT_EQ(Hex(reply[0].body), "02");
    EXPECT_NE(harness.log().find("op=download file=\"a.txt\" outcome=ok bytes=12"), std::string::npos)
        << harness.log();
}

TEST(SessionDownload, LargeFileGoesAsFullBlocksOfLargeRecordsByteForByte) {
    SessionHarness harness;
    harness.Configure();
    std::string content;
    for (int i = 0; i < 200000; ++i) content += static_cast<char>((i * 7919) % 251);
    WriteFile(harness.Path("big.bin"), content);
    harness.Send(client::Attributes(true) + client::Access(1, "big.bin", 2, client::Display91()));
    harness.Send(client::ControlConnect());
    const auto reply = harness.Send(client::ControlCopy(1));
    EXPECT_EQ(DataText(reply), content);
    for (const Bytes& block : harness.sink.blocks) EXPECT_LE(block.size(), 32256u);
    // 200000 bytes in records of 32251 (a 32256-byte block less header and RECNUM).
    EXPECT_EQ(harness.sink.blocks.size(), 7u);
}

TEST(SessionDownload, ClientBufferSizeBoundsTheBlocks) {
    SessionHarness harness;
    Bytes configuration = client::Configuration();
    configuration[2] = 0x00;  // BUFSIZ 4096
    configuration[3] = 0x10;
    harness.Send(configuration);
    WriteFile(harness.Path("big.bin"), std::string(10000, 'z'));
    harness.Send(client::Attributes(true) + client::Access(1, "big.bin", 2, client::Display91()));
    harness.Send(client::ControlConnect());
    const auto reply = harness.Send(client::ControlCopy(1));
    EXPECT_EQ(DataText(reply), std::string(10000, 'z'));
    for (const Bytes& block : harness.sink.blocks) EXPECT_LE(block.size(), 4096u);
}

TEST(SessionDownload, TheSmallestBufferSizeBoundsBlocksOfOneByteLengthsToo) {
    // BUFSIZ 256 and one-byte LENGTH fields only (SYSCAP 18 without 20): a
    // Data message of a 255-byte body would be 258 bytes, past the buffer.
    SessionHarness harness;
    Bytes configuration = client::Configuration();
    configuration[2] = 0x00;  // BUFSIZ 256
    configuration[3] = 0x01;
    configuration[13] = 0x90;  // SYSCAP 14 to 20: 18, not 20
    harness.Send(configuration);
    std::string content;
    for (int i = 0; i < 10000; ++i) content += static_cast<char>('a' + i % 26);
    WriteFile(harness.Path("big.bin"), content);
    harness.Send(client::Attributes(true) + client::Access(1, "big.bin", 2, client::Display91()));
    harness.Send(client::ControlConnect());
    const auto reply = harness.Send(client::ControlCopy(1));
    EXPECT_EQ(DataText(reply), content);
    for (const Bytes& block : harness.sink.blocks) EXPECT_LE(block.size(), 256u);
}

TEST(SessionRecordRead, StreamFilesAreReadALineARecordCutToTheCallersBuffer) {
    SessionHarness harness;
    harness.Configure();
    WriteFile(harness.Path("t.txt"), "hello\nworld\nlast");
    harness.Send(client::Attributes() + client::Access(1, "t.txt", 3, client::Display31()));
    harness.Send(client::ControlConnect());
    auto reply = harness.Send(client::ControlRead(80));
    std::vector<std::string> records;
    for (const Message& message : reply) {
        if (message.type == wire::kData) records.emplace_back(message.body.begin() + 1, message.body.end());
    }
    EXPECT_EQ(records, (std::vector<std::string>{"hello\n", "world\n", "last"}));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x5027}));

    // A buffer of 4 holds three characters and the NUL.
    harness.Send(client::AccessComplete({0x01}));
    harness.Send(client::Attributes() + client::Access(1, "t.txt", 3, client::Display31()));
    harness.Send(client::ControlConnect());
    reply = harness.Send(client::ControlRead(4));
    records.clear();
    for (const Message& message : reply) {
        if (message.type == wire::kData) records.emplace_back(message.body.begin() + 1, message.body.end());
    }
    EXPECT_EQ(records, (std::vector<std::string>{"hel", "lo\n", "wor", "ld\n", "las", "t"}));
}

TEST(SessionRecordRead, AccessCompleteInTheMiddleOfTheRecordsAbortsAndIsAnswered) {
    SessionHarness harness;
    harness.Configure();
    std::string content;
    for (int i = 0; i < 20000; ++i) content += "line " + std::to_string(i) + "\n";
    WriteFile(harness.Path("long.txt"), content);
    harness.Send(client::Attributes() + client::Access(1, "long.txt", 3, client::Display31()));
    harness.Send(client::ControlConnect());
    const Bytes control = client::ControlRead(512);
    harness.session().HandleBlock(control.data(), control.size());
    ASSERT_TRUE(harness.session().streaming());
    harness.session().Pump();
    ASSERT_TRUE(harness.session().streaming());

    const auto reply = harness.Send(client::AccessComplete({0x01}));
    EXPECT_FALSE(harness.session().streaming());
    EXPECT_EQ(reply.back().type, wire::kAccessComplete);
    EXPECT_TRUE(Statuses(reply).empty());  // no end-of-file: the file was not read to its end
    EXPECT_NE(harness.log().find("op=read file=\"long.txt\" outcome=aborted"), std::string::npos) << harness.log();
    // The link goes on: a listing works.
    EXPECT_EQ(harness.Send(client::Access(6, "long.txt", 2, {0x01})).back().type, wire::kAccessComplete);
}

TEST(SessionDownload, MissingFileIsFileNotFoundAndNothingMoreIsAwaited) {
    SessionHarness harness;
    harness.Configure();
    auto reply = harness.Send(client::Attributes() + client::Access(1, "nothing.txt", 2, client::Display91()));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4032}));
    reply = harness.Send(client::Attributes() + client::Access(1, "dir/nothing.txt", 2, client::Display91()));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4020}));
}

TEST(SessionDownload, DirectoryCannotBeDownloadedAndTheClientsWindDownIsAnswered) {
    SessionHarness harness;
    harness.Configure();
    ASSERT_EQ(::mkdir(harness.Path("sub").c_str(), 0755), 0);
    auto reply = harness.Send(client::Attributes() + client::Access(1, "sub", 2, client::Display91()));
    ASSERT_EQ(reply.back().type, wire::kAcknowledge);
    harness.Send(client::ControlConnect());
    reply = harness.Send(client::ControlCopy(1));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x4025}));
    // The client winds down: Continue Transfer (expedited), Access Complete.
    EXPECT_TRUE(harness.Send(client::ContinueTransfer(3)).empty());
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{wire::kAccessComplete}));
}

}  // namespace
}  // namespace zeldtest
