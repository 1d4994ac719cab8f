// RfaAbort against a real zeld: a download given up in the middle of its
// records, while the server still streams them, leaves the link ready for
// the next operation.
#include "e2e_fixture.h"

namespace e2etest {
namespace {

// Many blocks of records: far more than the connection holds in transit.
std::string ManyLines() {
    std::string text;
    for (int i = 0; text.size() < (size_t{4} << 20); ++i) text += "record number " + std::to_string(i) + "\n";
    return text;
}

class Aborts : public EndToEnd, public ::testing::WithParamInterface<std::string> {
protected:
    Aborts() : EndToEnd(ZeldOptions{GetParam(), "", {}}) {}
};

TEST_P(Aborts, AnAbortInTheMiddleOfADownloadLeavesTheLinkReady) {
    WriteFile(server.Path("many.txt"), ManyLines());
    WriteFile(server.Path("next.txt"), "the next file\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "many.txt"), RFA_OK);
    char buffer[100];
    uint16_t result = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(RfaReadFile(link->handle(), sizeof buffer, buffer, &result), RFA_OK);
        EXPECT_EQ(std::string(buffer, result).rfind("record number " + std::to_string(i), 0), 0u);
    }
    const size_t notified = link->notifications().size();
    EXPECT_EQ(RfaAbort(link->handle()), RFA_OK);
    EXPECT_EQ(link->notifications().size(), notified);  // an abort is not notified
    // The aborted file: a read fails at once, the close ends it without a word.
    EXPECT_EQ(RfaReadFile(link->handle(), sizeof buffer, buffer, &result), RFA_ERR_PROTOCOL);
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_OK);

    // The same link: a copy and a listing.
    ASSERT_EQ(link->Download("next.txt", Local("next.txt"), RFA_MODE_IMAGE), RFA_OK);
    EXPECT_EQ(ReadFile(Local("next.txt")), "the next file\n");
    EXPECT_EQ(RfaDir(link->handle(), 0, "next.txt"), RFA_OK);
    const std::string listed = GetParam() == "stream" ? "'next.txt'" : "'NEXT.TXT;1'";
    EXPECT_NE(link->Listing().find(listed), std::string::npos) << link->Listing();
    link->Close();
    server.Stop();
    EXPECT_NE(server.log().find("op=read file=\"many.txt\" outcome=aborted"), std::string::npos) << server.log();
}

TEST_P(Aborts, AnAbortWithNothingOpenIsAnsweredAndChangesNothing) {
    WriteFile(server.Path("a.txt"), "a\n");
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaAbort(link->handle()), RFA_OK);
    EXPECT_EQ(RfaAbort(link->handle()), RFA_OK);
    ASSERT_EQ(link->Download("a.txt", Local("a.txt"), RFA_MODE_IMAGE), RFA_OK);
    EXPECT_EQ(ReadFile(Local("a.txt")), "a\n");
}

INSTANTIATE_TEST_SUITE_P(BothPersonalities, Aborts, ::testing::Values("stream", "records"), PersonalityName);

}  // namespace
}  // namespace e2etest
