// Load with bounded time, against one real zeld:
//  - 64 links from one process (every link the library has), each on a
//    thread of its own, copying at once; afterwards nothing of them is left
//    (descriptors, the library's memory blocks). In the ThreadSanitizer
//    build this is where the library's threads meet.
//  - 256 clients at once (four processes of 64 links), each sending 1 MiB
//    and fetching it back, every byte right; after they have gone the
//    server holds no more descriptors or threads than before, and rounds
//    after the first do not grow its memory beyond the allocator's slack.
//  - 10,000 links opened and closed one after the other: no descriptor, no
//    library block and no memory is left behind, in this process or in the
//    server.
// The sanitizer builds (where every byte and thread costs many times more)
// use the lighter sizes kSanitizedBuild picks: 256 KiB per copy instead of
// 1 MiB, and 2,000 open and close cycles instead of 10,000; there the leak
// checker at the exit of zeld and of this program stands in for the memory
// figures (kMemoryFiguresTell).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <barrier>
#include <cstring>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "zeld_instance.h"
#include "zel32/transport/memory.h"

namespace hardening {
namespace {

constexpr auto kPatience = std::chrono::seconds(60);
constexpr size_t kCopySize = kSanitizedBuild ? (256u << 10) : (1u << 20);
constexpr int kCycles = kSanitizedBuild ? 2000 : 10000;
constexpr int kClientProcesses = 4;
constexpr int kLinksPerProcess = 64;

// Waits until zeld serves nobody (its listening socket is its only socket,
// the threads of the sessions have ended) and says what it holds then.
ProcessUsage IdleUsage(const ZeldInstance& server) {
    ProcessUsage now;
    WaitUntil(
        [&] {
            const ProcessUsage before = ReadUsage(server.pid());
            if (before.sockets != 1) return false;
            // Settled: the same twice in a row.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            now = ReadUsage(server.pid());
            return now.sockets == 1 && now.threads == before.threads;
        },
        kPatience);
    return now;
}

// The soft limit of open files in /proc/PID/limits.
std::string SoftFileLimit(pid_t pid) {
    const std::string limits = ReadFile("/proc/" + std::to_string(pid) + "/limits");
    const size_t line = limits.find("Max open files");
    if (line == std::string::npos) return "";
    const size_t start = limits.find_first_not_of(' ', line + std::strlen("Max open files"));
    return limits.substr(start, limits.find(' ', start) - start);
}

TEST(Load, TheServerTakesAllTheOpenFilesItsHardLimitAllows) {
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    if (files.rlim_max == RLIM_INFINITY || files.rlim_max <= 256) GTEST_SKIP() << "no finite hard limit above 256";
    const rlimit saved = files;
    files.rlim_cur = 256;  // zeld inherits it
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0);
    ZeldInstance server;
    std::string error;
    const bool started = server.Start(&error);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(started) << error;
    EXPECT_EQ(SoftFileLimit(server.pid()), std::to_string(saved.rlim_max));
}

TEST(Load, SixtyFourLinksOfOneProcessCopyAtOnceAndLeaveNothingBehind) {
    ZeldInstance server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    ScratchDir local;
    const ProcessUsage before = ReadUsage();
    const size_t blocksBefore = RfaLiveBlockCount();

    constexpr int kLinks = 64;
    std::vector<std::string> outcomes(kLinks);
    std::barrier start(kLinks);
    std::vector<std::thread> threads;
    for (int i = 0; i < kLinks; ++i) {
        threads.emplace_back([&, i] {
            const std::string content = zeltest::BinaryContent(kCopySize, static_cast<unsigned>(i));
            const std::string source = local / ("up-" + std::to_string(i));
            const std::string back = local / ("down-" + std::to_string(i));
            const std::string remote = "file-" + std::to_string(i) + ".bin";
            WriteFile(source, content);
            Link link(server.node());
            start.arrive_and_wait();  // every link open before any copy
            if (link.openResult() != 0) {
                outcomes[i] = "open: " + std::to_string(link.openResult());
                return;
            }
            int32_t result =
                RfaCopy(link.handle(), source.c_str(), remote.c_str(), RFA_COPY_UPLOAD, RFA_MODE_IMAGE, nullptr);
            if (result == 0) {
                result = RfaCopy(link.handle(), remote.c_str(), back.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE,
                                 nullptr);
            }
            if (result != 0) {
                outcomes[i] = "copy: " + std::to_string(result) + " detail " +
                              std::to_string(link.Look().errorDetail);
            } else if (ReadFile(back) != content || ReadFile(server.Path(remote)) != content) {
                outcomes[i] = "the bytes differ";
            } else {
                outcomes[i] = "ok";
            }
            if (link.Close() != 0 && outcomes[i] == "ok") outcomes[i] = "close failed";
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < kLinks; ++i) EXPECT_EQ(outcomes[i], "ok") << "link " << i;

    const ProcessUsage after = ReadUsage();
    EXPECT_EQ(after.descriptors, before.descriptors);
    EXPECT_EQ(RfaLiveBlockCount(), blocksBefore);
    EXPECT_EQ(server.Stop(), 0) << server.errors();
}

// One round of the many-clients test: the clients open their links, and
// once all of them are connected they copy at once. False with what failed.
bool RunClients(const ZeldInstance& server, const std::string& round, std::string* failures) {
    ScratchDir work;
    std::vector<std::unique_ptr<zeltest::ChildProcess>> clients;
    for (int p = 0; p < kClientProcesses; ++p) {
        const std::string name = round + "-" + std::to_string(p);
        auto client = std::make_unique<zeltest::ChildProcess>();
        if (!client->Start({zeltest::BuildDir() + "/tests/hardening_load_client", server.node(),
                            std::to_string(kLinksPerProcess), std::to_string(kCopySize), work.path(), name,
                            work / ("ready-" + name), work / "go"},
                           zeltest::RunOptions{})) {
            *failures = "cannot start the client " + name;
            return false;
        }
        clients.push_back(std::move(client));
    }
    bool allConnected = WaitUntil(
        [&] {
            for (int p = 0; p < kClientProcesses; ++p) {
                if (ReadFile(work / ("ready-" + round + "-" + std::to_string(p))).empty()) return false;
            }
            return true;
        },
        kPatience);
    // Every client is connected at the same time: the server holds a socket each.
    const size_t serverSockets = ReadUsage(server.pid()).sockets;
    WriteFile(work / "go", "go\n");
    *failures = "";
    for (auto& client : clients) {
        const zeltest::ProcessResult result = client->Finish();
        if (result.exitCode != 0) *failures += result.out + result.err;
    }
    if (!allConnected) *failures += "not every client connected in time\n";
    if (serverSockets < kClientProcesses * kLinksPerProcess) {
        *failures += "only " + std::to_string(serverSockets) + " connections at once\n";
    }
    return failures->empty();
}

TEST(Load, TwoHundredFiftySixClientsCopyThroughOneServerWhichKeepsNothingOfThem) {
    ZeldInstance server({"--max-clients", "300"});
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    const ProcessUsage idle = IdleUsage(server);

    // Three rounds: what a session kept after its end would pile up round
    // after round in what stays resident once the clients are gone. (The
    // peak is shown, not compared: it follows how many uploads happen to
    // overlap, each with its buffer.)
    std::vector<ProcessUsage> rounds;
    for (const char* round : {"first", "second", "third"}) {
        std::string failures;
        EXPECT_TRUE(RunClients(server, round, &failures)) << round << " round:\n" << failures;
        rounds.push_back(IdleUsage(server));
        EXPECT_EQ(rounds.back().descriptors, idle.descriptors) << round << " round";
        EXPECT_EQ(rounds.back().threads, idle.threads) << round << " round";
    }
    if (kMemoryFiguresTell) {
        constexpr size_t kSlackKiB = 16 * 1024;  // what the allocator's arenas vary by
        const std::string figures = "peak and resident KiB: idle " + std::to_string(idle.residentKiB) + ", rounds " +
                                    std::to_string(rounds[0].peakKiB) + "/" + std::to_string(rounds[0].residentKiB) +
                                    " " + std::to_string(rounds[1].peakKiB) + "/" +
                                    std::to_string(rounds[1].residentKiB) + " " + std::to_string(rounds[2].peakKiB) +
                                    "/" + std::to_string(rounds[2].residentKiB);
        EXPECT_LT(rounds[1].residentKiB, rounds[0].residentKiB + kSlackKiB) << figures;
        EXPECT_LT(rounds[2].residentKiB, rounds[0].residentKiB + kSlackKiB) << figures;
    }
    EXPECT_EQ(server.Stop(), 0) << server.errors();
}

TEST(Load, ManyLinksOpenedAndClosedOneAfterTheOtherLeaveNothingBehind) {
    ZeldInstance server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    auto cycle = [&] {
        Link link(server.node());
        return link.openResult() == 0 && link.Close() == 0;
    };
    // A first hundred settles what is made once (the allocator's pools, the
    // server's first threads).
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(cycle());
    const ProcessUsage serverBefore = IdleUsage(server);
    const ProcessUsage before = ReadUsage();
    const size_t blocksBefore = RfaLiveBlockCount();

    int failed = 0;
    for (int i = 0; i < kCycles; ++i) {
        if (!cycle()) ++failed;
    }
    EXPECT_EQ(failed, 0);

    const ProcessUsage after = ReadUsage();
    EXPECT_EQ(after.descriptors, before.descriptors);
    EXPECT_EQ(RfaLiveBlockCount(), blocksBefore);
    const ProcessUsage serverAfter = IdleUsage(server);
    EXPECT_EQ(serverAfter.descriptors, serverBefore.descriptors);
    EXPECT_EQ(serverAfter.threads, serverBefore.threads);
    if (kMemoryFiguresTell) {
        // A link's record and context are some 130 KiB, a session's buffers
        // more: one left behind per cycle would be more than a gigabyte.
        constexpr size_t kSlackKiB = 4 * 1024;
        EXPECT_LT(after.residentKiB, before.residentKiB + kSlackKiB)
            << "before " << before.residentKiB << " KiB, after " << after.residentKiB << " KiB";
        EXPECT_LT(serverAfter.residentKiB, serverBefore.residentKiB + kSlackKiB)
            << "server before " << serverBefore.residentKiB << " KiB, after " << serverAfter.residentKiB << " KiB";
    }
    EXPECT_EQ(server.Stop(), 0) << server.errors();
}

}  // namespace
}  // namespace hardening
