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

}  // namespace
}  // namespace zeltest
