// What a session answers to what it cannot do: file specs leaving the
// root, malformed messages (Format with the message type and field
// number), messages out of order (Sync Error), unsupported requests; and
// that no block of bytes, however bad, stops it from serving.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "wire/message_types.h"
#include "zeld_harness.h"

namespace zeldtest {
namespace {

using zeltest::WriteFile;

class SessionErrors : public ::testing::Test {
protected:
    void SetUp() override {
        harness.Configure();
        WriteFile(harness.Path("a.txt"), "a");
    }
    std::vector<uint16_t> Open(const std::string& spec) {
        return Statuses(harness.Send(client::Attributes() + client::Access(1, spec, 2, client::Display91())));
    }
    SessionHarness harness;
};

TEST_F(SessionErrors, FileSpecsLeavingTheRootArePrivilegeViolations) {
    const std::vector<uint16_t> privilege{0x4055};
    EXPECT_EQ(Open("../x"), privilege);
    EXPECT_EQ(Open("/etc/passwd"), privilege);
    EXPECT_EQ(Open("[-]X"), privilege);
    EXPECT_EQ(Open("[A.-]X"), privilege);
    EXPECT_EQ(Open("sub/../../x"), privilege);
    ASSERT_EQ(::symlink("/etc", harness.Path("etc").c_str()), 0);
    EXPECT_EQ(Open("etc/passwd"), privilege);
    ASSERT_EQ(::symlink("../../../../../../../../etc/passwd", harness.Path("up").c_str()), 0);
    EXPECT_EQ(Open("up"), privilege);
}

TEST_F(SessionErrors, MalformedMessagesGetFormatWithTypeAndField) {
    // Access whose FILESPEC count runs past the body: Access (3), field 18.
    EXPECT_EQ(Statuses(harness.Send({0x03, 0x00, 0x01, 0x00, 0x09, 'a'})), (std::vector<uint16_t>{0x80D2}));
    // A refused FLAGS bit (BITCNT): FLAGS is field 8.
    EXPECT_EQ(Statuses(harness.Send({0x03, 0x08, 0x01})), (std::vector<uint16_t>{0x80C8}));
    // A LENGTH past the block: field 10 of Attributes (2).
    EXPECT_EQ(Statuses(harness.Send({0x02, 0x02, 0x10, 0x01})), (std::vector<uint16_t>{0x808A}));
    // TYPE above 19: field 8 (TYPE) of no particular message.
    EXPECT_EQ(Statuses(harness.Send({0x14, 0x00})), (std::vector<uint16_t>{0x8008}));
    // A Configuration too short to hold its fixed part: ends in VERNUM (19).
    EXPECT_EQ(Statuses(harness.Send({0x01, 0x00, 0x00, 0x7E, 0x11, 0x0C})), (std::vector<uint16_t>{0x8053}));
    // A Configuration whose BUFSIZ is below 256: Invalid, BUFSIZ (16).
    EXPECT_EQ(Statuses(harness.Send({0x01, 0x00, 0xFF, 0x00, 0x11, 0x0C, 0x07, 0x02, 0x00, 0x04, 0x00, 0x20})),
              (std::vector<uint16_t>{0x9050}));
}

TEST_F(SessionErrors, UnsupportedRequestsAreMacCode2) {
    // ACCFUNC 5: Access (3), field 16.
    EXPECT_EQ(Statuses(harness.Send(client::Access(5, "a.txt", 2, client::Display31()))),
              (std::vector<uint16_t>{0x20D0}));
    // A Key message (10), on a fresh link (after an error, the session
    // passes over what the client may still send).
    harness.Configure();
    EXPECT_EQ(Statuses(harness.Send({0x0A, 0x00, 0x01})), (std::vector<uint16_t>{0x2280}));
    // CTLFUNC 3 on an open file: Control (4), CTLFUNC (16).
    harness.Send(client::Attributes() + client::Access(1, "a.txt", 3, client::Display31()));
    harness.Send(client::ControlConnect());
    EXPECT_EQ(Statuses(harness.Send(client::ControlCopy(3))), (std::vector<uint16_t>{0x2110}));
}

TEST_F(SessionErrors, MessageOutOfOrderIsASyncErrorAndTheRestOfItsBlockIsDropped) {
    auto reply = harness.Send(client::ControlConnect() + client::Access(4, "a.txt", 2, client::Display31()));
    EXPECT_EQ(Statuses(reply), (std::vector<uint16_t>{0xA100}));  // Sync Error, Control (4)
    EXPECT_EQ(reply.size(), 1u);
    EXPECT_EQ(::access(harness.Path("a.txt").c_str(), F_OK), 0);  // the delete behind it was not done
    EXPECT_EQ(Statuses(harness.Send(client::Data(Text("x")))), std::vector<uint16_t>{});  // winding down
    // The client exchanges Configuration messages and repeats the operation.
    EXPECT_EQ(Types(harness.Send(client::Configuration())), (std::vector<uint8_t>{wire::kConfiguration}));
    EXPECT_EQ(Statuses(harness.Send(client::Data(Text("x")))), (std::vector<uint16_t>{0xA200}));
    harness.Configure();
    EXPECT_EQ(Types(harness.Send(client::Access(4, "a.txt", 2, client::Display31()))),
              (std::vector<uint8_t>{wire::kAccessComplete}));
}

TEST_F(SessionErrors, AMalformedDescriptionIsTheOneAnswerToItsRequest) {
    // Attributes with an ALQ longer than its five bytes, then the Access of the
    // upload they describe: one Format status, no file created.
    const Bytes badAttributes = zeltest::Attributes({0x40, 0x06, 1, 2, 3, 4, 5, 6});  // ALQ of 6 bytes
    auto reply = harness.Send(badAttributes + client::Access(2, "new.txt", 1, client::Display31()));
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{wire::kStatus}));
    EXPECT_NE(::access(harness.Path("new.txt").c_str(), F_OK), 0);
    // The same when the Access comes in a block of its own.
    EXPECT_EQ(Types(harness.Send(badAttributes)), (std::vector<uint8_t>{wire::kStatus}));
    EXPECT_EQ(Types(harness.Send(client::Access(4, "a.txt", 2, client::Display31()))), std::vector<uint8_t>{});
    EXPECT_EQ(::access(harness.Path("a.txt").c_str(), F_OK), 0);
    // A malformed DateAndTime before a rename: its Name is passed over too.
    const Bytes badDates =  // a menu of eight bytes
        zeltest::Message(wire::kDateAndTime, 0x02, {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01});
    reply = harness.Send(client::Attributes() + badDates + client::RenameAccess("a.txt") + client::Name("b.txt"));
    EXPECT_EQ(Types(reply), (std::vector<uint8_t>{wire::kStatus}));
    EXPECT_EQ(::access(harness.Path("a.txt").c_str(), F_OK), 0);
    // The next request is served, whether or not it begins with Attributes.
    EXPECT_EQ(Types(harness.Send(client::Access(4, "a.txt", 2, client::Display31()))),
              (std::vector<uint8_t>{wire::kAccessComplete}));
    WriteFile(harness.Path("a.txt"), "a");
    EXPECT_EQ(harness.Send(badAttributes).size(), 1u);
    EXPECT_EQ(harness.Send(client::Attributes() + client::Access(1, "a.txt", 2, client::Display91())).back().type,
              wire::kAcknowledge);
}

TEST_F(SessionErrors, AccessCompleteWithNothingOpenIsAnsweredForTheClientsAbort) {
    EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), (std::vector<uint8_t>{wire::kAccessComplete}));
}

TEST_F(SessionErrors, NoBlockOfBytesStopsTheSessionFromServing) {
    std::mt19937 random(20240601);
    for (int round = 0; round < 3000; ++round) {
        Bytes block(1 + random() % 64);
        for (uint8_t& byte : block) byte = static_cast<uint8_t>(random());
        // Plausible messages more often than not: a known type and FLAGS.
        if (round % 2 == 0) {
            block[0] = static_cast<uint8_t>(1 + random() % 18);
            if (block.size() > 1) block[1] = static_cast<uint8_t>(random() % 2 == 0 ? 0x00 : 0x02);
        }
        harness.Send(block);
        for (const Bytes& sent : harness.sink.blocks) ASSERT_LE(sent.size(), 32256u);
    }
    // Whatever state the bytes left, a Configuration starts afresh.
    const auto reply = harness.Send(client::Configuration());
    ASSERT_EQ(Types(reply), (std::vector<uint8_t>{wire::kConfiguration}));
    EXPECT_EQ(harness.Send(client::Attributes() + client::Access(1, "a.txt", 2, client::Display91())).back().type,
              wire::kAcknowledge);
}

}  // namespace
}  // namespace zeldtest
