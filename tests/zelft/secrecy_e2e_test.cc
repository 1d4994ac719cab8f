// The password stays out of the trace file and out of what the process
// list shows while a transfer runs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "zelft_harness.h"

namespace zelfttest {
namespace {

constexpr char kPassword[] = "Tr0ub4dor&3-unique";

class Secrecy : public ZelftEndToEnd {
protected:
    Secrecy() : ZelftEndToEnd(ZeldOptions{"stream", "smith:" + HashPassword(kPassword) + "\n", {}}) {}
};

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST_F(Secrecy, ThePasswordIsNotInTheTraceFile) {
    WriteFile(server.Path("a.txt"), "traced content\n");
    WriteFile(Local("pw"), std::string(kPassword) + "\n");
    const std::string trace = Local("trace.txt");
    ProcessResult result = RunZelft({"get", "--user", "smith", "--password-file", Local("pw"), "--trace", trace,
                                     server.Remote("a.txt"), Local("a.txt")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::string text = ReadFile(trace);
    EXPECT_NE(text.find("TRANSMITTED"), std::string::npos);
    EXPECT_NE(text.find("RECEIVED"), std::string::npos);
    EXPECT_EQ(text.find(kPassword), std::string::npos);
    EXPECT_EQ(Count(text, "Trace - RFA Handle"), 1u);

    // --trace-append adds a second session behind the first.
    result = RunZelft({"dir", "--user", "smith", "--password-file", Local("pw"), "--trace", trace, "--trace-append",
                       server.Remote("")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string appended = ReadFile(trace);
    EXPECT_EQ(appended.substr(0, text.size()), text);
    EXPECT_EQ(Count(appended, "Trace - RFA Handle"), 2u);
    EXPECT_EQ(appended.find(kPassword), std::string::npos);
}

TEST_F(Secrecy, ThePasswordIsNotInTheProcessListDuringATransfer) {
    const std::string content = BinaryContent(4 << 20, 7);
    WriteFile(server.Path("big.bin"), content);
    // The download goes into a pipe that the test drains: until it does, zelft
    // is held in the middle of the transfer.
    const std::string pipe = Local("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);

    ChildProcess zelft;
    ASSERT_TRUE(zelft.Start({ZelftPath(), "get", "smith@" + server.Remote("big.bin"), pipe},
                            RunOptions{{std::string("ZELFT_PASSWORD=") + kPassword}, "", ""}));
    std::string received;
    char buffer[65536];
    while (received.empty() && !zelft.Exited()) {
        const ssize_t got = ::read(reader, buffer, sizeof buffer);
        if (got > 0) received.append(buffer, static_cast<size_t>(got));
        if (got <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(received.empty()) << zelft.Finish().err;

    // The rest of the file cannot fit in the pipe: zelft is still transferring.
    const std::string proc = "/proc/" + std::to_string(zelft.pid());
    const std::string commandLine = ReadFile(proc + "/cmdline");
    const std::string environment = ReadFile(proc + "/environ");
    EXPECT_NE(commandLine.find("big.bin"), std::string::npos) << "not the running zelft";
    EXPECT_EQ(commandLine.find(kPassword), std::string::npos);
    EXPECT_EQ(environment.find(kPassword), std::string::npos);

    ::fcntl(reader, F_SETFL, 0);
    for (;;) {
        const ssize_t got = ::read(reader, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        received.append(buffer, static_cast<size_t>(got));
    }
    ::close(reader);
    const ProcessResult result = zelft.Finish();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(received == content) << received.size() << " bytes";
}

}  // namespace
}  // namespace zelfttest
