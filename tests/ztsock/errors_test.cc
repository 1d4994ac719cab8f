// The BSD numbers the library's connect mapping expects, from this
// system's errno values.
#include "ztsock/errors.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace ztsock {
namespace {

TEST(ErrorNumbers, SocketFailuresBecomeTheirBsdNumbers) {
    EXPECT_EQ(BsdErrorNumber(ECONNREFUSED), 61);
    EXPECT_EQ(BsdErrorNumber(ETIMEDOUT), 60);
    EXPECT_EQ(BsdErrorNumber(ENETUNREACH), 51);
    EXPECT_EQ(BsdErrorNumber(EHOSTUNREACH), 64);
    EXPECT_EQ(BsdErrorNumber(EHOSTDOWN), 64);
    EXPECT_EQ(BsdErrorNumber(ECONNRESET), 54);
    EXPECT_EQ(BsdErrorNumber(EPIPE), 54);
    EXPECT_EQ(BsdErrorNumber(ENOBUFS), 55);
    EXPECT_EQ(BsdErrorNumber(EADDRNOTAVAIL), 49);
    EXPECT_EQ(BsdErrorNumber(ENETDOWN), 50);
    EXPECT_EQ(BsdErrorNumber(EACCES), 13);
}

TEST(ErrorNumbers, UnknownErrnoIsMinusOne) {
    EXPECT_EQ(BsdErrorNumber(0), kErrOther);
    EXPECT_EQ(BsdErrorNumber(ENOTRECOVERABLE), kErrOther);
    EXPECT_EQ(BsdErrorNumber(100000), kErrOther);
}

}  // namespace
}  // namespace ztsock
