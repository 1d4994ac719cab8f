// An upload that never completes: its client process killed in the middle,
// or the server stopped under it. The old target (or no target) stays, the
// temporary file goes, and the server goes on serving other clients.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <tuple>

#include "e2e_fixture.h"

namespace e2etest {
namespace {

using Clock = std::chrono::steady_clock;
// How long the test waits for something it is sure to see before it fails.
constexpr auto kPatience = std::chrono::seconds(60);
constexpr char kOldContent[] = "the old content of the target\n";

// The sizes of the server's temporary upload files in `directory`.
std::vector<off_t> StagingSizes(const std::string& directory) {
    std::vector<off_t> sizes;
    for (const std::string& name : DirectoryNames(directory)) {
        struct stat info {};
        if (name.rfind(".zeld-", 0) == 0 && ::stat((directory + "/" + name).c_str(), &info) == 0) {
            sizes.push_back(info.st_size);
        }
    }
    return sizes;
}

// Waits until `done` holds; false when it did not within kPatience.
template <typename Condition>
bool WaitFor(Condition done) {
    const auto deadline = Clock::now() + kPatience;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A child process that opens a link and uploads from a named pipe, so that
// the upload goes on exactly as long as the test feeds the pipe. Its exit
// code is the copy's result (100: the link did not open).
class UploadingChild {
public:
    UploadingChild(const std::string& node, const std::string& pipe, const std::string& remote) : pipe_(pipe) {
        if (::mkfifo(pipe.c_str(), 0600) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            Link link(node);
            const int32_t result =
                link.openResult() != RFA_OK ? 100 : link.Upload(pipe, remote, RFA_MODE_IMAGE);
            ::_exit(static_cast<int>(result));
        }
    }
    ~UploadingChild() {
        if (writer_ >= 0) ::close(writer_);
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
    }
    bool started() const { return pid_ > 0; }

    // Writes `bytes` into the pipe as the child reads them.
    bool Feed(const std::string& bytes) {
        const auto deadline = Clock::now() + kPatience;
        // The pipe opens for writing once the child has opened it for reading.
        while (writer_ < 0) {
            writer_ = ::open(pipe_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer_ >= 0) break;
            if (errno != ENXIO || Clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        size_t done = 0;
        while (done < bytes.size()) {
            pollfd ready = {writer_, POLLOUT, 0};
            if (::poll(&ready, 1, 100) < 0 && errno != EINTR) return false;
            if ((ready.revents & (POLLERR | POLLHUP)) != 0 || Clock::now() > deadline) return false;
            const ssize_t written = ::write(writer_, bytes.data() + done, bytes.size() - done);
            if (written > 0) done += static_cast<size_t>(written);
        }
        return true;
    }
    // Ends the pipe: the child reads the end of its file.
    void EndFeed() {
        if (writer_ >= 0) ::close(writer_);
        writer_ = -1;
    }
    void Kill() { ::kill(pid_, SIGKILL); }
    // The child's exit code, 128 + the signal that ended it.
    int Wait() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }

private:
    std::string pipe_;
    pid_t pid_ = -1;
    int writer_ = -1;
    bool reaped_ = false;
};

// personality, whether the target exists before the upload
using DropCase = std::tuple<std::string, bool>;

class DroppedUploads : public EndToEnd, public ::testing::WithParamInterface<DropCase> {
protected:
    DroppedUploads() : EndToEnd(ZeldOptions{std::get<0>(GetParam()), "", {"--shutdown-grace", "1"}}) {}

    void SetUp() override {
        EndToEnd::SetUp();
        if (std::get<1>(GetParam())) WriteFile(server.Path("target.dat"), kOldContent);
        WriteFile(server.Path("other.dat"), "served to others\n");
        // The pipe's writes are the test's; a child gone early must not kill the test.
        previousPipeHandler_ = ::signal(SIGPIPE, SIG_IGN);
    }
    void TearDown() override {
        ::signal(SIGPIPE, previousPipeHandler_);
        EndToEnd::TearDown();
    }

    // Starts the upload and feeds it until the server has written a good
    // part of it to its temporary file.
    void StartUpload(UploadingChild* child) {
        ASSERT_TRUE(child->started());
        ASSERT_TRUE(child->Feed(BinaryContent(size_t{2} << 20, 3)));
        ASSERT_TRUE(WaitFor([&] {
            const std::vector<off_t> sizes = StagingSizes(server.root());
            return sizes.size() == 1 && sizes[0] >= (off_t{1} << 20);
        })) << "no temporary file grew";
    }

    // The target as it was before the upload, and nothing beside it.
    void ExpectTheOldTargetAlone() {
        const bool existed = std::get<1>(GetParam());
        std::vector<std::string> expected = {"other.dat"};
        if (existed) expected.insert(expected.end(), "target.dat");
        EXPECT_EQ(DirectoryNames(server.root()), expected);
        if (existed) {
            EXPECT_EQ(ReadFile(server.Path("target.dat")), kOldContent);
        }
    }

    void ExpectServed(const Link& link, const std::string& localName) {
        ASSERT_EQ(link.Download("other.dat", Local(localName), RFA_MODE_IMAGE), RFA_OK);
        EXPECT_EQ(ReadFile(Local(localName)), "served to others\n");
    }

private:
    sighandler_t previousPipeHandler_ = SIG_DFL;
};

TEST_P(DroppedUploads, AKilledClientLeavesTheOldTargetAndNoTemporaryFile) {
    std::unique_ptr<Link> bystander = Connect();  // a client connected all along
    UploadingChild child(server.node(), Local("pipe"), "target.dat");
    StartUpload(&child);
    child.Kill();
    EXPECT_EQ(child.Wait(), 128 + SIGKILL);
    EXPECT_TRUE(WaitFor([&] { return StagingSizes(server.root()).empty(); })) << "the temporary file stayed";
    ExpectTheOldTargetAlone();
    ExpectServed(*bystander, "bystander.dat");
    std::unique_ptr<Link> newcomer = Connect();
    ExpectServed(*newcomer, "newcomer.dat");
    newcomer->Close();
    bystander->Close();
    EXPECT_EQ(server.Stop(), 0);
    const std::string log = server.log();
    const size_t upload = log.find("op=upload file=\"target.dat\" outcome=");
    ASSERT_NE(upload, std::string::npos) << log;
    EXPECT_NE(log.compare(upload, 40, "op=upload file=\"target.dat\" outcome=ok "), 0) << log;
}

TEST_P(DroppedUploads, StoppingTheServerInTheMiddleKeepsTheOldTargetAndExitsCleanly) {
    UploadingChild child(server.node(), Local("pipe"), "target.dat");
    StartUpload(&child);
    // The upload cannot finish within the grace period: the server shuts its connection down.
    EXPECT_EQ(server.Stop(), 0);
    ExpectTheOldTargetAlone();
    // The client learns it when it sends the rest.
    child.EndFeed();
    EXPECT_EQ(child.Wait(), RFA_ERR_NET_RESET);
}

std::string DropCaseName(const ::testing::TestParamInfo<DropCase>& info) {
    return std::get<0>(info.param) + (std::get<1>(info.param) ? "_TargetExists" : "_NoTarget");
}

INSTANTIATE_TEST_SUITE_P(BothPersonalities, DroppedUploads,
                         ::testing::Combine(::testing::Values("stream", "records"), ::testing::Bool()), DropCaseName);

}  // namespace
}  // namespace e2etest
