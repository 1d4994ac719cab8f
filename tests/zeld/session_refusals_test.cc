// What follows an Access the session refused with an error Status: no
// access was opened, so the client winds nothing down, and the session is
// back between accesses. A Control or Data the client sends next (a Read
// or Write of the file it failed to open) is answered with a Sync Error,
// never passed over; a client that winds down all the same is answered.
#include <gtest/gtest.h>

#include <vector>

#include "wire/message_types.h"
#include "zeld_harness.h"

namespace zeldtest {
namespace {

using zeltest::ReadFile;
using zeltest::WriteFile;

// Sync Errors of a Control (4) and a Data (8) message.
constexpr uint16_t kSyncControl = 0xA100, kSyncData = 0xA200;

struct Refusal {
    const char* what;
    std::vector<Bytes> request;  // the blocks of the request; the last is refused
    uint16_t status;
};

std::vector<Refusal> Refusals() {
    return {
        {"open of a missing file", {client::Attributes() + client::Access(1, "missing.txt", 2, client::Display91())},
         0x4032},
        {"open leaving the root", {client::Attributes() + client::Access(1, "../x", 2, client::Display91())}, 0x4055},
        {"unsupported access", {client::Access(5, "a.txt", 2, client::Display31())}, 0x20D0},
        {"upload into a missing directory",
         {client::Attributes() + client::Access(2, "no/such.txt", 1, client::Display91())},
         0x4020},
        {"md of an existing entry", {client::Attributes() + client::Access(2, "a.txt", 2, client::Display31())},
         0x402D},
        {"delete of a missing file", {client::Access(4, "missing.txt", 2, client::Display31())}, 0x4032},
        {"listing that matches nothing", {client::Access(6, "missing*", 2, {0x01})}, 0x4032},
        {"submit without a spooler", {client::Access(8, "a.txt", 2, client::Display31())}, 0x20D0},
        {"rename of a missing file", {client::RenameAccess("missing.txt"), client::Name("b.txt")}, 0x4032},
        {"rename onto a malformed name", {client::RenameAccess("a.txt"), {0x0F, 0x00, 0x01, 0x05, 'x'}}, 0x83D1},
    };
}

class SessionRefusals : public ::testing::Test {
protected:
    void SetUp() override {
        harness.Configure();
        WriteFile(harness.Path("a.txt"), "a\n");
    }
    // Sends the request and expects its refusal, and nothing else.
    void Refused(const Refusal& refusal) {
        std::vector<Message> reply;
        for (const Bytes& block : refusal.request) reply = harness.Send(block);
        EXPECT_EQ(Statuses(reply), std::vector<uint16_t>{refusal.status}) << refusal.what;
        EXPECT_EQ(reply.size(), 1u) << refusal.what;
    }
    SessionHarness harness;
};

TEST_F(SessionRefusals, WhatFollowsIsAnsweredAsBetweenAccesses) {
    for (const Refusal& refusal : Refusals()) {
        // A Read of the file that did not open: its Control.
        Refused(refusal);
        EXPECT_EQ(Statuses(harness.Send(client::ControlRead(512))), std::vector<uint16_t>{kSyncControl})
            << refusal.what;
        harness.Configure();  // the client's repair after a Sync Error
        // A Write: its Control and a record in one block; a record alone.
        Refused(refusal);
        EXPECT_EQ(Statuses(harness.Send(client::ControlWrite(512) + client::Data(Text("lost")))),
                  std::vector<uint16_t>{kSyncControl})
            << refusal.what;
        harness.Configure();
        Refused(refusal);
        EXPECT_EQ(Statuses(harness.Send(client::Data(Text("lost")))), std::vector<uint16_t>{kSyncData})
            << refusal.what;
        harness.Configure();
        // A client that winds down all the same (Continue Transfer, Access
        // Complete) is answered once, and nothing is left over.
        Refused(refusal);
        EXPECT_TRUE(harness.Send(client::ContinueTransfer(3)).empty()) << refusal.what;
        EXPECT_EQ(Types(harness.Send(client::AccessComplete({0x01}))), std::vector<uint8_t>{wire::kAccessComplete})
            << refusal.what;
        EXPECT_EQ(Statuses(harness.Send(client::ControlRead(512))), std::vector<uint16_t>{kSyncControl})
            << refusal.what;
        harness.Configure();
    }
    EXPECT_EQ(ReadFile(harness.Path("a.txt")), "a\n");
}

}  // namespace
}  // namespace zeldtest
