// The host layer's gathered write (a download writes a record and its
// carriage control in one call) and a local file's last-write time in UTC.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "support/test_paths.h"
#include "zel32/host/file_times.h"
#include "zel32/host/local_files.h"

namespace zeltest {
namespace {

TEST(HostFiles, PiecesAreWrittenInOrderAndEmptyOnesSkipped) {
    ScratchDir scratch;
    const std::string path = scratch / "OUT";
    const intptr_t file = host::OpenFile(path.c_str(), host::kOpenCreate);
    ASSERT_GT(file, 0);
    const host::WritePiece pieces[] = {{"\n\n", 2}, {"", 0}, {"RECORD", 6}, {"\r\n", 2}};
    size_t written = 99;
    EXPECT_EQ(host::WriteFilePieces(file, pieces, 4, &written), 10);
    EXPECT_EQ(written, 10u);
    ASSERT_TRUE(host::CloseFile(file));
    EXPECT_EQ(ReadFile(path), "\n\nRECORD\r\n");
}

TEST(HostFiles, AWriteThatStopsHalfwayReportsTheBytesThatGotWritten) {
    ScratchDir scratch;
    const std::string path = scratch / "OUT";
    // In a child whose files may not grow past 7 bytes: the pieces 4 + 4 + 4
    // get written up to the middle of the second one, and then no further.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {7, 7};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const intptr_t file = host::OpenFile(path.c_str(), host::kOpenCreate);
        const host::WritePiece pieces[] = {{"AAAA", 4}, {"BBBB", 4}, {"CCCC", 4}};
        size_t written = 99;
        const int64_t result = host::WriteFilePieces(file, pieces, 3, &written);
        ::_exit(result == -1 && written == 7 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(path), "AAAABBB");
}

void Interrupted(int) {}

TEST(HostFiles, AWriteInterruptedPartWayGoesOnFromWhereItStopped) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const int capacity = ::fcntl(ends[1], F_GETPIPE_SZ);
    ASSERT_GT(capacity, 0);
    // Three pieces, together larger than the pipe holds; the pipe fills up
    // in the middle of the second.
    const size_t sizes[] = {static_cast<size_t>(capacity) / 2, static_cast<size_t>(capacity),
                            static_cast<size_t>(capacity)};
    std::string expected;
    std::vector<std::string> contents;
    for (size_t i = 0; i < 3; ++i) {
        std::string content(sizes[i], '\0');
        for (size_t at = 0; at < content.size(); ++at) content[at] = static_cast<char>('a' + i + at % 23);
        expected += content;
        contents.push_back(std::move(content));
    }
    struct sigaction interrupt = {}, previous = {};
    interrupt.sa_handler = Interrupted;  // no SA_RESTART: the blocked write returns what it wrote
    ASSERT_EQ(::sigaction(SIGUSR1, &interrupt, &previous), 0);

    int64_t result = 0;
    size_t written = 0;
    std::thread writer([&] {
        const host::WritePiece pieces[] = {{contents[0].data(), sizes[0]}, {contents[1].data(), sizes[1]},
                                           {contents[2].data(), sizes[2]}};
        result = host::WriteFilePieces(ends[1] + 1, pieces, 3, &written);  // handles are descriptors plus one
    });
    // Once the pipe is full the writer is blocked inside its write: interrupt it.
    int queued = 0;
    while (::ioctl(ends[0], FIONREAD, &queued) == 0 && queued < capacity) std::this_thread::yield();
    ::pthread_kill(writer.native_handle(), SIGUSR1);
    std::string received;
    std::vector<char> buffer(65536);
    while (received.size() < expected.size()) {
        const ssize_t n = ::read(ends[0], buffer.data(), buffer.size());
        if (n <= 0) break;
        received.append(buffer.data(), static_cast<size_t>(n));
    }
    writer.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    ::close(ends[0]);
    ::close(ends[1]);
    EXPECT_EQ(result, static_cast<int64_t>(expected.size()));
    EXPECT_EQ(written, expected.size());
    EXPECT_TRUE(received == expected);
}

TEST(HostFiles, AWriteToAPipeWithoutAReaderFailsAndLeavesTheHostAlive) {
    // SIGPIPE's default action ends the process: the test would die.
    struct sigaction previous {};
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    ASSERT_EQ(::sigaction(SIGPIPE, &byDefault, &previous), 0);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const intptr_t handle = ends[1] + 1;
    size_t written = 99;
    const char text[] = "no reader";
    EXPECT_EQ(host::WriteFile(handle, text, sizeof text, &written), -1);
    EXPECT_EQ(errno, EPIPE);
    EXPECT_EQ(written, 0u);
    // Nothing is left pending, and the thread's mask is as it was.
    sigset_t pending;
    sigset_t mask;
    ASSERT_EQ(::sigpending(&pending), 0);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &mask), 0);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 0);
    ::close(ends[1]);
    ::sigaction(SIGPIPE, &previous, nullptr);
}

TEST(HostFiles, ASigpipeTheHostHadPendingBeforeTheWriteStaysPending) {
    // The host blocks SIGPIPE and has one pending: the write's own is taken
    // back, the host's is left for it.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t saved;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &pipeSignal, &saved), 0);
    ASSERT_EQ(::pthread_kill(::pthread_self(), SIGPIPE), 0);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    size_t written = 0;
    EXPECT_EQ(host::WriteFile(ends[1] + 1, "x", 1, &written), -1);
    EXPECT_EQ(errno, EPIPE);
    sigset_t pending;
    ASSERT_EQ(::sigpending(&pending), 0);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 1);
    const timespec now{};
    EXPECT_EQ(::sigtimedwait(&pipeSignal, nullptr, &now), SIGPIPE);
    sigset_t mask;
    ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &mask), 0);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 1);  // still blocked, as the host had it
    ::close(ends[1]);
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

TEST(HostFiles, TooManyPiecesAreRefusedBeforeAnythingIsWritten) {
    ScratchDir scratch;
    const std::string path = scratch / "OUT";
    const intptr_t file = host::OpenFile(path.c_str(), host::kOpenCreate);
    ASSERT_GT(file, 0);
    host::WritePiece pieces[host::kMaxWritePieces + 1];
    for (host::WritePiece& piece : pieces) piece = {"X", 1};
    size_t written = 99;
    EXPECT_EQ(host::WriteFilePieces(file, pieces, host::kMaxWritePieces + 1, &written), -1);
    EXPECT_EQ(written, 0u);
    ASSERT_TRUE(host::CloseFile(file));
    EXPECT_EQ(ReadFile(path), "");
}

TEST(HostFiles, LastWriteTimeIsTheModificationTimeInUtc) {
    ScratchDir scratch;
    const std::string path = scratch / "STAMPED";
    WriteFile(path, "x");
    // 4 November 2026 03:57:26 UTC.
    const timeval times[2] = {{1793764646, 0}, {1793764646, 0}};
    ASSERT_EQ(::utimes(path.c_str(), times), 0);
    const intptr_t file = host::OpenFile(path.c_str(), host::kOpenRead);
    ASSERT_GT(file, 0);
    std::tm utc{};
    ASSERT_TRUE(host::LastWriteTimeUtc(file, &utc));
    EXPECT_EQ(utc.tm_year, 126);
    EXPECT_EQ(utc.tm_mon, 10);
    EXPECT_EQ(utc.tm_mday, 4);
    EXPECT_EQ(utc.tm_hour, 3);
    EXPECT_EQ(utc.tm_min, 57);
    EXPECT_EQ(utc.tm_sec, 26);
    host::CloseFile(file);
    EXPECT_FALSE(host::LastWriteTimeUtc(0, &utc));
}

}  // namespace
}  // namespace zeltest
