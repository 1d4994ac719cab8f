// The records personality: text files as variable-length records with
// implied carriage control (one line a record, no line end), Fortran and
// print carriage control from files so marked, image access as fixed
// records of 512, text uploads stored a line per record, and names mapped
// back without regard to case.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "wire/message_types.h"
#include "zeld_harness.h"

namespace zeldtest {
namespace {

using zeltest::ReadFile;
using zeltest::WriteFile;

std::vector<Bytes> Records(const std::vector<Message>& messages) {
    std::vector<Bytes> records;
    for (const Message& message : messages) {
        if (message.type == wire::kData) records.emplace_back(message.body.begin() + 1, message.body.end());
    }
    return records;
}

class SessionRecords : public ::testing::Test {
protected:
    void SetUp() override { harness.Configure(); }
    // A download's Attributes and records.
    std::vector<Message> Download(const std::string& spec, bool image, Bytes* attributes) {
        const auto described = harness.Send(client::Attributes(image) + client::Access(1, spec, 2, client::Display91()));
        if (described.empty() || described[0].type != wire::kAttributes) return described;
        *attributes = described[0].body;
        harness.Send(client::ControlConnect());
        auto records = harness.Send(client::ControlCopy(1));
        harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00}));
        return records;
    }
    SessionHarness harness{zeld::Personality::kRecords};
};

TEST_F(SessionRecords, TextDownloadIsOneRecordPerLineWithoutLineEnds) {
    WriteFile(harness.Path("notes.txt"), "first\r\nsecond\n\nlast without end");
    Bytes attributes;
    const auto reply = Download("NOTES.TXT;1", false, &attributes);
    // Text, RFM 2 (variable), RAT 0x02 (implied carriage control).
    EXPECT_EQ(Hex(Bytes(attributes.begin() + 3, attributes.begin() + 7)), "01 00 02 02");
    EXPECT_EQ(Records(reply), (std::vector<Bytes>{Text("first"), Text("second"), Text(""), Text("last without end")}));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0x5027}));
}

TEST_F(SessionRecords, ImageDownloadIsFixedRecordsOf512ByteForByte) {
    std::string content(1300, 'x');
    content[600] = '\n';
    WriteFile(harness.Path("data.bin"), content);
    Bytes attributes;
    const auto reply = Download("data.bin", true, &attributes);
    // Image, RFM 1 (fixed), no carriage control, MRS 512.
    EXPECT_EQ(Hex(Bytes(attributes.begin() + 3, attributes.begin() + 9)), "02 00 01 00 00 02");
    const auto records = Records(reply);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].size(), 512u);
    EXPECT_EQ(records[2].size(), 276u);
    EXPECT_EQ(DataText(reply), content);
}

TEST_F(SessionRecords, FortranAndPrintFilesCarryTheirCarriageControl) {
    WriteFile(harness.Path("report.ftn"), "1TITLE\n0X\n");
    WriteFile(harness.Path("listing.prn"), "line one\nline two\n");
    Bytes attributes;
    auto reply = Download("REPORT.FTN", false, &attributes);
    EXPECT_EQ(attributes[6], 0x01);  // RAT: Fortran
    EXPECT_EQ(Records(reply), (std::vector<Bytes>{Text("1TITLE"), Text("0X")}));

    reply = Download("listing.prn", false, &attributes);
    // RFM 3 with a fixed control area of 2 (FSZ, menu byte 1 bit 0x02), RAT print.
    EXPECT_EQ(attributes[1], 0x82);
    EXPECT_EQ(attributes[5], 3);
    EXPECT_EQ(attributes[6], 0x04);
    EXPECT_EQ(attributes[9], 2);
    // Each record: a line feed before, a carriage return after, then the line.
    EXPECT_EQ(Records(reply), (std::vector<Bytes>{Bytes{0x01, 0x8D} + Text("line one"),
                                                  Bytes{0x01, 0x8D} + Text("line two")}));
}

TEST_F(SessionRecords, RecordReadKeepsLinesWholeWhateverTheReadersBuffer) {
    WriteFile(harness.Path("t.txt"), "abcdefgh\n");
    harness.Send(client::Attributes() + client::Access(1, "T.TXT", 3, client::Display31()));
    harness.Send(client::ControlConnect());
    // The client adds CR LF at the end of each record: a cut line would
    // read as two lines, so the client hands the record out in pieces.
    const auto reply = harness.Send(client::ControlRead(8));
    EXPECT_EQ(Records(reply), (std::vector<Bytes>{Text("abcdefgh")}));
}

TEST_F(SessionRecords, WrittenRecordsAreAppendedAsLines) {
    WriteFile(harness.Path("log.txt"), "one\n");
    harness.Send(client::Attributes() + client::Access(1, "LOG.TXT", 3, client::Display31()));
    harness.Send(client::ControlConnect());
    EXPECT_TRUE(harness.Send(client::ControlWrite(80)).empty());
    EXPECT_TRUE(harness.Send(client::Data(Text("two")) + client::Data(Text("three"))).empty());
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{wire::kAccessComplete}));
    EXPECT_EQ(ReadFile(harness.Path("log.txt")), "one\ntwo\nthree\n");
}

TEST_F(SessionRecords, TextUploadStoresEachRecordAsALineAndImageUploadTheBytes) {
    ASSERT_EQ(::mkdir(harness.Path("docs").c_str(), 0755), 0);
    harness.Send(client::Attributes() + client::Access(2, "[DOCS]NEW.TXT;1", 1, client::Display91()));
    harness.Send(client::ControlConnect());
    harness.Send(client::ControlCopy(4));
    harness.Send(client::Data(Text("alpha")) + client::Data(Text("")) + client::Data(Text("omega")));
    harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00}));
    // The name as the client wrote it, without its version.
    EXPECT_EQ(ReadFile(harness.Path("docs/NEW.TXT")), "alpha\n\nomega\n");

    harness.Send(client::Attributes(true) + client::Access(2, "[docs]new.txt", 1, client::Display91()));
    harness.Send(client::ControlConnect());
    harness.Send(client::ControlCopy(4));
    harness.Send(client::Data(Text("ab")) + client::Data(Text("c\n")));
    harness.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00}));
    // The existing file, found without regard to case, replaced.
    EXPECT_EQ(ReadFile(harness.Path("docs/NEW.TXT")), "abc\n");
}

TEST_F(SessionRecords, DirectoryFilesNameDirectoriesForMdRdAndListing) {
    EXPECT_EQ(harness.Send(client::Attributes() + client::Access(2, "[000000]TOOLS.DIR;1", 2, client::Display31()))
                  .back()
                  .type,
              wire::kAccessComplete);
    struct stat info;
    EXPECT_EQ(::stat(harness.Path("TOOLS").c_str(), &info), 0);
    EXPECT_EQ(harness.Send(client::Access(4, "TOOLS.DIR;1", 2, client::Display31())).back().type,
              wire::kAccessComplete);
    EXPECT_NE(::stat(harness.Path("TOOLS").c_str(), &info), 0);
}

}  // namespace
}  // namespace zeldtest
