// Exit codes by error code and remote status, and the one line that reports
// a failure.
#include <gtest/gtest.h>

#include "zelft/failure.h"
#include "zelft/status_texts.h"

namespace zelft {
namespace {

RfaLinkStatus Status(uint16_t code, int32_t value, int32_t detail = 0) {
    RfaLinkStatus status{};
    status.errorCode = code;
    status.errorValue = value;
    status.errorDetail = detail;
    return status;
}

TEST(ExitCodes, EachClassOfFailureHasItsOwnCode) {
    EXPECT_EQ(static_cast<int>(ExitCode::kOk), 0);
    EXPECT_EQ(static_cast<int>(ExitCode::kRemoteFile), 1);
    EXPECT_EQ(static_cast<int>(ExitCode::kUsage), 2);
    EXPECT_EQ(static_cast<int>(ExitCode::kConnection), 3);
    EXPECT_EQ(static_cast<int>(ExitCode::kLocalFile), 4);
    EXPECT_EQ(static_cast<int>(ExitCode::kOther), 5);
}

TEST(ExitCodes, RemoteStatusesMakeRemoteFileErrors) {
    EXPECT_EQ(ExitCodeFor(RFA_ERR_FILE_NOT_FOUND, 0x00040032), ExitCode::kRemoteFile);
    EXPECT_EQ(ExitCodeFor(RFA_ERR_PRIVILEGE, 0x00040055), ExitCode::kRemoteFile);
    EXPECT_EQ(ExitCodeFor(RFA_ERR_FILE_LOCKED, 0x00040030), ExitCode::kRemoteFile);
    EXPECT_EQ(ExitCodeFor(RFA_ERR_DIR_NOT_FOUND, 0x00040020), ExitCode::kRemoteFile);
    // An unmapped status (a file that already exists) and a transfer error.
    EXPECT_EQ(ExitCodeFor(RFA_ERR_PROTOCOL, 0x0004002D), ExitCode::kRemoteFile);
    EXPECT_EQ(ExitCodeFor(RFA_ERR_NO_RESOURCES, 0x00050067), ExitCode::kRemoteFile);
}

TEST(ExitCodes, CodesWithoutAStatusGoByTheirOwnClass) {
    EXPECT_EQ(ExitCodeFor(RFA_OK, 0), ExitCode::kOk);
    EXPECT_EQ(ExitCodeFor(RFA_ERR_FILE_NOT_FOUND, 0), ExitCode::kLocalFile);
    // The end-of-file status that came after a local target failed.
    EXPECT_EQ(ExitCodeFor(RFA_ERR_FILE_NOT_FOUND, 0x5027), ExitCode::kLocalFile);
    // A status of MACCODE 0 is error 20 with the MICCODE alone as its value.
    EXPECT_EQ(ExitCodeFor(RFA_ERR_PROTOCOL, 0x0123), ExitCode::kRemoteFile);
    EXPECT_EQ(ExitCodeFor(RFA_ERR_LOCAL_IO, 0), ExitCode::kLocalFile);
    EXPECT_EQ(ExitCodeFor(RFA_ERR_LOCAL_IO, 512), ExitCode::kLocalFile);  // a byte count, not a status
    EXPECT_EQ(ExitCodeFor(RFA_ERR_PROTOCOL, 0), ExitCode::kOther);
    EXPECT_EQ(ExitCodeFor(RFA_ERR_UNSUPPORTED, 0), ExitCode::kOther);
    EXPECT_EQ(ExitCodeFor(RFA_ERR_NO_RESOURCES, 0), ExitCode::kOther);
    EXPECT_EQ(ExitCodeFor(RFA_ERR_BAD_ARGUMENT, 0), ExitCode::kUsage);
    EXPECT_EQ(ExitCodeFor(RFA_ERR_RECORD_SIZE, 0), ExitCode::kUsage);
    EXPECT_EQ(ExitCodeFor(99, 0), ExitCode::kOther);
}

TEST(ExitCodes, ConnectionFailuresAreConnectionErrorsWhateverTheValue) {
    for (int32_t code : {RFA_ERR_NET_RESET, RFA_ERR_ACCESS_DENIED, RFA_ERR_NET_PROTOCOL, RFA_ERR_NET_NOT_CONNECTED,
                         RFA_ERR_NODE_UNKNOWN, RFA_ERR_CONNECT_FAILED, RFA_ERR_UNREACHABLE}) {
        EXPECT_EQ(ExitCodeFor(code, 0), ExitCode::kConnection) << code;
        EXPECT_EQ(ExitCodeFor(code, 0x00040032), ExitCode::kConnection) << code;
    }
    EXPECT_EQ(ExitCodeFor(-1, 0), ExitCode::kConnection);
}

TEST(FailureLine, NamesOperationFileCodeAndRemoteStatus) {
    const Failure failure = LinkFailure(OperationName{"delete", "host::a.txt"}, RFA_ERR_FILE_NOT_FOUND,
                                        Status(RFA_ERR_FILE_NOT_FOUND, 0x00040032));
    EXPECT_EQ(failure.exit, ExitCode::kRemoteFile);
    EXPECT_EQ(failure.message,
              "delete host::a.txt: file not found (error 7; remote status MACCODE 4 (File Open), MICCODE 0x32: "
              "file not found)");
}

TEST(FailureLine, TheLocalSideOfACopyGetsItsOwnWords) {
    // The download's end-of-file status, which came after the local error,
    // is not its cause.
    for (const int32_t value : {0, 0x5027}) {
        const Failure failure = LinkFailure(OperationName{"get", "host::a -> /x/a", true}, RFA_ERR_FILE_NOT_FOUND,
                                            Status(RFA_ERR_FILE_NOT_FOUND, value));
        EXPECT_EQ(failure.exit, ExitCode::kLocalFile) << value;
        EXPECT_EQ(failure.message, "get host::a -> /x/a: local file cannot be opened or created (error 7)") << value;
    }
}

TEST(FailureLine, ConnectFailuresShowTheTransportError) {
    const Failure failure = LinkFailure(OperationName{"connect", "127.0.0.1:1"}, RFA_ERR_CONNECT_FAILED,
                                        Status(RFA_ERR_CONNECT_FAILED, 0, 61));
    EXPECT_EQ(failure.exit, ExitCode::kConnection);
    EXPECT_EQ(failure.message, "connect 127.0.0.1:1: connection failed (error 22; transport error 61: connection refused)");
}

TEST(FailureLine, ARejectedArgumentIsTakenFromTheResultNotTheStatusBlock) {
    // 4 is returned, not stored: the block still shows the previous operation.
    const Failure failure = LinkFailure(OperationName{"get", "h::a"}, RFA_ERR_BAD_ARGUMENT,
                                        Status(RFA_ERR_FILE_NOT_FOUND, 0x00040032));
    EXPECT_EQ(failure.exit, ExitCode::kUsage);
    EXPECT_EQ(failure.message, "get h::a: argument rejected by the library (error 4)");
}

TEST(FailureLine, ALinkThatIsNotOpenIsAConnectionFailure) {
    const Failure failure = LinkFailure(OperationName{"dir", "h::"}, -1, Status(0, 0));
    EXPECT_EQ(failure.exit, ExitCode::kConnection);
    EXPECT_EQ(failure.message, "dir h::: the link is not open (error -1)");
}

TEST(RemoteStatusText, MessageErrorsNameTheMessageAndField) {
    std::string text;
    ASSERT_TRUE(DescribeRemoteStatus(0x000800D0, &text));  // Format, Access message field 16
    EXPECT_EQ(text, "MACCODE 8 (Format), MICCODE 0xD0: Access message, field 16");
}

TEST(RemoteStatusText, RawStatusValuesAreReadToo) {
    std::string text;
    ASSERT_TRUE(DescribeRemoteStatus(0x5027, &text));
    EXPECT_EQ(text, "MACCODE 5 (Transfer Error), MICCODE 0x27: end of file");
    ASSERT_TRUE(DescribeRemoteStatus(0x00030123, &text));  // no name, no text
    EXPECT_EQ(text, "MACCODE 3, MICCODE 0x123");
    EXPECT_FALSE(DescribeRemoteStatus(0, &text));
    EXPECT_FALSE(DescribeRemoteStatus(0x00101000, &text));  // MICCODE beyond 12 bits
}

TEST(Outcome, KeepsTheFirstFailureAndNotesALostLink) {
    Outcome outcome;
    outcome.Add(Failure{});
    EXPECT_EQ(outcome.exit(), ExitCode::kOk);
    ::testing::internal::CaptureStderr();
    outcome.Add(Failure{ExitCode::kRemoteFile, "delete h::a: file not found (error 7)"});
    outcome.Add(Failure{ExitCode::kConnection, "delete h::b: connection reset or closed by the server (error 2)"});
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(outcome.exit(), ExitCode::kRemoteFile);
    EXPECT_TRUE(outcome.linkLost());
    EXPECT_EQ(printed,
              "zelft: delete h::a: file not found (error 7)\n"
              "zelft: delete h::b: connection reset or closed by the server (error 2)\n");
}

}  // namespace
}  // namespace zelft
