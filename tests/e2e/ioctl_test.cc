// RfaIoctl against a real zeld: the message trace of a link and the choice
// of revision dates in a full listing, in both personalities.
#include "e2e_fixture.h"

namespace e2etest {
namespace {

class Ioctls : public EndToEnd, public ::testing::WithParamInterface<std::string> {
protected:
    Ioctls() : EndToEnd(ZeldOptions{GetParam(), "", {}}) {}
};

TEST_P(Ioctls, ATraceHoldsEveryMessageOfTheLinkAndItsStatistics) {
    WriteFile(server.Path("a.txt"), "traced\n");
    std::unique_ptr<Link> link = Connect();
    const std::string traceName = Local("trace.txt");
    uintptr_t start[3] = {1, reinterpret_cast<uintptr_t>(traceName.c_str()), 0};
    ASSERT_EQ(RfaIoctl(link->handle(), RFA_IOCTL_TRACE, start), RFA_OK);
    ASSERT_EQ(link->Download("a.txt", Local("a.txt"), RFA_MODE_TEXT), RFA_OK);
    ASSERT_EQ(link->Close(), RFA_OK);
    const std::string trace = ReadFile(traceName);
    for (const char* seen : {"Attributes", "Access", "Control", "Data", "Status", "Access Complete",
                             "MACCODE = 0x5 (Transfer Error)", "Statistics of Session"}) {
        EXPECT_NE(trace.find(seen), std::string::npos) << seen << " in\n" << trace;
    }
    // One access: Attributes and Access sent, one Data and the end-of-file Status received.
    EXPECT_NE(trace.find("ATT: = 1   /1      ACC: = 1   /0"), std::string::npos) << trace;
    EXPECT_NE(trace.find("CMP: = 1   /1      DAT: = 0   /1      STA: = 0   /1"), std::string::npos) << trace;
}

TEST_P(Ioctls, AFullListingCanShowRevisionDates) {
    WriteFile(server.Path("dated.txt"), "x");
    SetFileTime(server.Path("dated.txt"), 1730692646);  // 2024-11-04 03:57:26 UTC
    std::unique_ptr<Link> link = Connect();
    uintptr_t revision[1] = {0};
    ASSERT_EQ(RfaIoctl(link->handle(), RFA_IOCTL_DATE_CHOICE, revision), RFA_OK);
    ASSERT_EQ(RfaDir(link->handle(), 1, "dated.txt"), RFA_OK);
    // The server's revision date is the file's modification time.
    EXPECT_NE(link->Listing().find("  04-NOV-24 03:57:26\r\n"), std::string::npos) << link->Listing();
}

INSTANTIATE_TEST_SUITE_P(BothPersonalities, Ioctls, ::testing::Values("stream", "records"), PersonalityName);

}  // namespace
}  // namespace e2etest
