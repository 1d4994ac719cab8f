// How zeld's settings show to the library: the client limit, the idle
// timeout, print and submit commands, and a stop while links are open.
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "e2e_fixture.h"

namespace e2etest {
namespace {

using Clock = std::chrono::steady_clock;
// How long a test waits for the server to notice a closed link before it fails.
constexpr auto kPatience = std::chrono::seconds(60);

class ClientLimit : public EndToEnd {
protected:
    ClientLimit() : EndToEnd(ZeldOptions{"stream", "", {"--max-clients", "2"}}) {}
};

TEST_F(ClientLimit, ALinkBeyondTheLimitIsRefusedUntilOneCloses) {
    WriteFile(server.Path("a.txt"), "a\n");
    std::unique_ptr<Link> first = Connect();
    std::unique_ptr<Link> second = Connect();
    Link refused(server.node());
    EXPECT_EQ(refused.openResult(), RFA_ERR_CONNECT_FAILED);
    refused.Close();
    // The links within the limit are served meanwhile.
    ASSERT_EQ(second->Download("a.txt", Local("a.txt"), RFA_MODE_IMAGE), RFA_OK);
    first->Close();
    // Once the server has seen the first link go, a new one is taken.
    const auto deadline = Clock::now() + kPatience;
    int32_t result = -1;
    while (Clock::now() < deadline) {
        Link again(server.node());
        result = again.openResult();
        if (result == RFA_OK) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(result, RFA_OK);
    server.Stop();
    EXPECT_NE(server.log().find("op=connect file=\"\" outcome=too-many-clients"), std::string::npos) << server.log();
}

class IdleTimeout : public EndToEnd {
protected:
    IdleTimeout() : EndToEnd(ZeldOptions{"stream", "", {"--idle-timeout", "1"}}) {}
};

TEST_F(IdleTimeout, ALinkSilentTooLongIsClosedByTheServer) {
    WriteFile(server.Path("a.txt"), "a\n");
    std::unique_ptr<Link> link = Connect();
    // Wait until the server's log says it closed the link.
    const auto deadline = Clock::now() + kPatience;
    while (server.log().find("outcome=idle-timeout") == std::string::npos && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(server.log().find("op=disconnect file=\"\" outcome=idle-timeout"), std::string::npos) << server.log();
    EXPECT_EQ(link->Download("a.txt", Local("a.txt"), RFA_MODE_IMAGE), RFA_ERR_NET_RESET);
    std::unique_ptr<Link> fresh = Connect();
    EXPECT_EQ(fresh->Download("a.txt", Local("a.txt"), RFA_MODE_IMAGE), RFA_OK);
}

// A print command that appends the printed file to a log, and a submit
// command that always fails. The file's name reaches the command as one
// argument, never through a shell's reading of it.
struct CommandDirectory {
    ScratchDir commands;
};

class PrintCommands : protected CommandDirectory, public EndToEnd {
protected:
    PrintCommands()
        : EndToEnd(ZeldOptions{"stream",
                               "",
                               {"--print-command", "/bin/sh -c 'cat \"$0\" >> " + (commands / "printed") + "'",
                                "--submit-command", "/bin/false"}}) {}
};

TEST_F(PrintCommands, PrintRunsTheCommandWithTheFileAsItsLastArgument) {
    const std::string name = "x;touch hacked;'$(touch hacked)'.txt";
    WriteFile(server.Path(name), "printed by the command\n");
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaPrint(link->handle(), name.c_str()), RFA_OK);
    EXPECT_EQ(ReadFile(commands / "printed"), "printed by the command\n");
    EXPECT_EQ(DirectoryNames(commands.path()), std::vector<std::string>{"printed"});
    EXPECT_EQ(DirectoryNames(server.root()), std::vector<std::string>{name});
}

TEST_F(PrintCommands, ASubmitCommandThatFailsIsASpoolFailure) {
    WriteFile(server.Path("job.com"), "$ run\n");
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaSubmit(link->handle(), "job.com"), RFA_ERR_PROTOCOL);
    EXPECT_EQ(link->Look().errorValue, 0x000400C6);
    // The link goes on.
    EXPECT_EQ(RfaPrint(link->handle(), "job.com"), RFA_OK);
}

class Stopping : public EndToEnd {};

TEST_F(Stopping, SigtermWithIdleLinksStopsTheServerCleanly) {
    std::unique_ptr<Link> first = Connect();
    std::unique_ptr<Link> second = Connect();
    EXPECT_EQ(server.Stop(), 0);
    EXPECT_EQ(RfaDelete(first->handle(), "a.txt"), RFA_ERR_NET_RESET);
    const std::string log = server.log();
    EXPECT_NE(log.find("stopping"), std::string::npos) << log;
    EXPECT_NE(log.find("stopped"), std::string::npos) << log;
}

TEST_F(Stopping, ARecordReadUnderWayWhenTheServerIsToldToStopIsServedToItsEnd) {
    // More records than the connection holds in transit (about 20 MiB).
    std::string lines;
    const std::string filler(190, '.');
    for (int i = 0; i < 100000; ++i) lines += std::to_string(i) + filler + "\n";
    WriteFile(server.Path("lines.txt"), lines);
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "lines.txt"), RFA_OK);
    char buffer[256];
    uint16_t result = 0;
    ASSERT_EQ(RfaReadFile(link->handle(), sizeof buffer, buffer, &result), RFA_OK);
    std::string read(buffer, result);
    int exitCode = -1;
    std::thread stopper([&] { exitCode = server.Stop(); });
    const auto deadline = Clock::now() + kPatience;
    while (server.log().find("stopping") == std::string::npos && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_NE(server.log().find("stopping"), std::string::npos);
    // No new link is taken now: it is refused at once, not kept waiting.
    {
        Link refused(server.node());
        EXPECT_EQ(refused.openResult(), RFA_ERR_CONNECT_FAILED);
        EXPECT_EQ(refused.Look().errorDetail, 61);  // connection refused
    }
    // The access under way goes on to the end of the file.
    for (int calls = 0; calls < 200000; ++calls) {
        ASSERT_EQ(RfaReadFile(link->handle(), sizeof buffer, buffer, &result), RFA_OK) << read.size();
        if (result == 0) break;
        read.append(buffer, result);
    }
    EXPECT_TRUE(SameBytes(lines, read));
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_OK);
    stopper.join();
    EXPECT_EQ(exitCode, 0);
}

// A command that outlasts every bound of the test: a shell waiting for a
// child of its own. It writes both process ids into `pidFile` first.
std::string LongCommand(const std::string& pidFile) {
    return "/bin/sh -c 'sleep 120 & echo $$ $! > " + pidFile + "; wait'";
}

// Whether the process has ended: gone, or a zombie nobody has reaped yet
// (an orphan's new parent may take its time).
bool Ended(pid_t pid) {
    if (::kill(pid, 0) != 0) return errno == ESRCH;
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

// Print and submit commands that outlast the test, and a grace period of a second.
class StoppingWhileACommandRuns : protected CommandDirectory, public EndToEnd {
protected:
    StoppingWhileACommandRuns()
        : EndToEnd(ZeldOptions{"stream",
                               "",
                               {"--print-command", LongCommand(commands / "print-pid"), "--submit-command",
                                LongCommand(commands / "submit-pid"), "--shutdown-grace", "1"}}) {}

    // Runs `request` (of operation `op`) on a link and stops the server
    // while its command runs: the server ends long before the command
    // would (120 s), or would be given up by itself (60 s); Stop waits 20 s,
    // then kills it, which is no exit code 0. The command is gone with it,
    // the child it started too, and the request failed with the server's
    // answer (not a reset).
    void StopWhileRunning(const std::string& op, int32_t (*request)(RfaHandle, const char*)) {
        WriteFile(server.Path("job.txt"), "to hand over\n");
        std::unique_ptr<Link> link = Connect();
        int32_t result = RFA_OK;
        std::thread requester([&] { result = request(link->handle(), "job.txt"); });
        const std::string pidFile = commands / (op + "-pid");
        const auto deadline = Clock::now() + kPatience;
        std::string pidText;
        while ((pidText = ReadFile(pidFile)).find('\n') == std::string::npos && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(server.Stop(), 0) << server.errors() << server.log();
        requester.join();
        // The answer goes out before the connection is shut down.
        EXPECT_EQ(result, RFA_ERR_PROTOCOL);
        EXPECT_EQ(link->Look().errorValue, 0x000400C6);
        ASSERT_NE(pidText.find('\n'), std::string::npos) << "the " << op << " command never started";
        pid_t command = 0;
        pid_t child = 0;
        std::istringstream(pidText) >> command >> child;
        ASSERT_GT(command, 0);
        ASSERT_GT(child, 0);
        const bool commandGone = Ended(command);
        // An orphan is killed at once; its new parent may still be reaping it.
        const auto reaped = Clock::now() + std::chrono::seconds(5);
        bool childGone = Ended(child);
        while (!childGone && Clock::now() < reaped) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            childGone = Ended(child);
        }
        if (!commandGone) ::kill(command, SIGKILL);
        if (!childGone) ::kill(child, SIGKILL);
        EXPECT_TRUE(commandGone) << "the " << op << " command outlived the server";
        EXPECT_TRUE(childGone) << "the child of the " << op << " command outlived the server";
        EXPECT_NE(server.log().find("op=" + op + " file=\"job.txt\" outcome=failed-40C6"), std::string::npos)
            << server.log();
    }
};

TEST_F(StoppingWhileACommandRuns, APrintCommandRunningPastTheGracePeriodIsKilledAndThePrintFails) {
    StopWhileRunning("print", RfaPrint);
}

TEST_F(StoppingWhileACommandRuns, ASubmitCommandRunningPastTheGracePeriodIsKilledAndTheSubmitFails) {
    StopWhileRunning("submit", RfaSubmit);
}

}  // namespace
}  // namespace e2etest
