// The message statistics that close a traced link's trace file: the counts
// of messages sent and received by type, seven lines of three entries.
#include <gtest/gtest.h>

#include <string>

#include "peer_link.h"
#include "request_messages.h"
#include "support/test_paths.h"
#include "trace_text.h"

namespace zeltest {
namespace {

const std::string kHeading = "\r\n\r\nStatistics of Session 0:\r\n\r\n Number Messages Sent/Received:\r\n";

// The part of the trace from the statistics on, or "(none)".
std::string StatisticsOf(const std::string& trace) {
    const size_t at = trace.find(kHeading);
    return at == std::string::npos ? "(none)" : trace.substr(at);
}

class Statistics : public ::testing::Test {
protected:
    ScratchDir scratch_;
    std::string path_ = scratch_ / "trace.txt";
};

TEST_F(Statistics, ALinkThatOnlyExchangedConfigurationsCountsOneEachWay) {
    PeerLink link({});
    ASSERT_EQ(StartTrace(link.handle(), path_, false), 0);
    EXPECT_EQ(link.Close(), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(ReadFile(path_), Banner(link.handle()) + kHeading +
                                   "\r\n   CNF: = 1   /1      ATT: = 0   /0      ACC: = 0   /0   "
                                   "\r\n   CTL: = 0   /0      CTR: = 0   /0      ACK: = 0   /0   "
                                   "\r\n   CMP: = 0   /0      DAT: = 0   /0      STA: = 0   /0   "
                                   "\r\n   KEY: = 0   /0      ALC: = 0   /0      SUM: = 0   /0   "
                                   "\r\n   DTM: = 0   /0      PRO: = 0   /0      NAM: = 0   /0   "
                                   "\r\n   ACL: = 0   /0      CTB: = 0   /0      CDA: = 0   /0   "
                                   "\r\n   TRA: = 0   /0   ");
}

TEST_F(Statistics, ReceivedCountsWrapAt256) {
    Bytes data;
    for (int i = 0; i < 300; ++i) data = data + Data({});
    PeerLink link({expect(AccessComplete(1)), reply(data), reply(AccessComplete())});
    ASSERT_EQ(StartTrace(link.handle(), path_, false), 0);
    EXPECT_EQ(RfaAbort(link.handle()), 0);  // the Abort drains the 300 Data messages
    EXPECT_EQ(link.Close(), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(StatisticsOf(ReadFile(path_)), kHeading +
                                                 "\r\n   CNF: = 1   /1      ATT: = 0   /0      ACC: = 0   /0   "
                                                 "\r\n   CTL: = 0   /0      CTR: = 0   /0      ACK: = 0   /0   "
                                                 "\r\n   CMP: = 1   /1      DAT: = 0   /44     STA: = 0   /0   "
                                                 "\r\n   KEY: = 0   /0      ALC: = 0   /0      SUM: = 0   /0   "
                                                 "\r\n   DTM: = 0   /0      PRO: = 0   /0      NAM: = 0   /0   "
                                                 "\r\n   ACL: = 0   /0      CTB: = 0   /0      CDA: = 0   /0   "
                                                 "\r\n   TRA: = 0   /0   ");
}

TEST_F(Statistics, ALinkWhoseTraceWasStoppedWritesNoStatisticsAtClose) {
    PeerLink link({expect(Access(4, "A", 0x02, kDisplayMain)), reply(AccessComplete())});
    ASSERT_EQ(StartTrace(link.handle(), path_, false), 0);
    ASSERT_EQ(StopTrace(link.handle()), 0);
    EXPECT_EQ(RfaDelete(link.handle(), "A"), 0);
    EXPECT_EQ(link.Close(), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(ReadFile(path_), Banner(link.handle()));
}

}  // namespace
}  // namespace zeltest
