// A host out of memory: under an address-space limit, in a child process,
// the library's memory blocks are taken until the memory service refuses
// one, and a transport connection is then asked for. It fails with 55, as
// the interface says, rather than throw into the host and end it.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "zel32/transport/memory.h"
#include "ztsock/server.h"
#include "ztsock/ztsock.h"

namespace hardening {
namespace {

// How far the child's address space may grow past what it uses at the start.
constexpr rlim_t kRoom = rlim_t{96} << 20;

// Runs `body` in a child whose address space is limited to kRoom more than
// it uses now; the child's exit status (its code, or 128 + a signal).
template <typename Body>
int InChildWithLittleMemory(Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        const rlim_t used = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
        const rlimit limit{used + kRoom, used + kRoom};
        if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(90);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Takes small blocks until the memory service refuses one.
int ExhaustMemory() {
    for (long taken = 0; taken < (long{1} << 26); ++taken) {
        if (RfaAllocBlock(nullptr, 16) == nullptr) return 0;
    }
    return 91;  // the limit never bit
}

class MemoryExhaustion : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(ZEL_SANITIZED_BUILD)
        GTEST_SKIP() << "the sanitizers reserve more address space than any limit leaves";
#endif
    }
};

TEST_F(MemoryExhaustion, AConnectWithNoMemoryLeftFailsWith55) {
    std::string error;
    auto listener = ztsock::Listener::Open("127.0.0.1:0", &error);
    ASSERT_NE(listener, nullptr) << error;
    const std::string node = "127.0.0.1:" + std::to_string(listener->port());
    // The listener's backlog takes the connection; nobody answers it, but
    // the connection's buffers are needed before an answer could be read.
    EXPECT_EQ(InChildWithLittleMemory([&] {
                  if (ExhaustMemory() != 0) return 92;
                  int16_t number = 0;
                  const int32_t connection = ztsock::Connect(node.c_str(), "#17", &number);
                  return connection == -1 && number == ztsock::kErrNoResources ? 0 : 93;
              }),
              0);
}

}  // namespace
}  // namespace hardening
