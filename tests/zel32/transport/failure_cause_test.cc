// The cause an operation that fails without an error code of its own
// reports: the latest reply the library refused, but once the connection
// has failed, that failure, not the sends that still go wrong on the broken
// connection after it (a wind-down's Access Complete, say).
#include <gtest/gtest.h>

#include "codec_context.h"
#include "zel32/transport/transport.h"

namespace zeltest {
namespace {

TEST(FailureCause, AFailedConnectionStaysTheCauseOfWhatFailsAfterIt) {
    CodecContext context;
    ZelNoteFailure(context.context(), 22, 0, 60);  // a send that the peer did not take in time
    ZelNoteFailure(context.context(), 2, 0, 54);   // the next send, on the connection that closed
    ZelRecordFailure(context.context());
    EXPECT_EQ(context.errorCode(), 22);
    EXPECT_EQ(context.link().status.errorDetail, 60);
}

TEST(FailureCause, ARefusedReplyGivesWayToALaterCause) {
    CodecContext context;
    ZelNoteFailure(context.context(), 20, 0, 0);
    EXPECT_FALSE(ZelConnectionFailed(context.context()));
    ZelNoteFailure(context.context(), 2, 0, 54);
    EXPECT_TRUE(ZelConnectionFailed(context.context()));
    ZelRecordFailure(context.context());
    EXPECT_EQ(context.errorCode(), 2);
    EXPECT_EQ(context.link().status.errorDetail, 54);
}

// Every transport error number the mapping names, its neighbours that it
// does not, and the numbers no transport defines.
TEST(FailureCause, TransportErrorNumbersMapToTheirCodes) {
    struct Row {
        int number;
        uint16_t code;
    };
    for (const Row& row : {Row{52, 2}, Row{53, 2}, Row{54, 2}, Row{0, 3}, Row{13, 3}, Row{34, 3}, Row{36, 3},
                           Row{32, 10}, Row{33, 10}, Row{50, 13}, Row{2, 14}, Row{4, 14}, Row{5, 14},
                           Row{10, 14}, Row{49, 14}, Row{38, 24}, Row{39, 24}, Row{51, 24}, Row{64, 24},
                           Row{1, 22}, Row{3, 22}, Row{7, 22}, Row{35, 22}, Row{55, 22}, Row{60, 22},
                           Row{61, 22}, Row{63, 22}, Row{65, 22}, Row{-1, 22}, Row{-54, 22}, Row{32767, 22}}) {
        EXPECT_EQ(RfaMapTransportError(row.number), row.code) << "error number " << row.number;
    }
}

}  // namespace
}  // namespace zeltest
