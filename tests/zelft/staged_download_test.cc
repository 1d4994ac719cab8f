// Whether a download may go to a local target, decided before connecting.
// A user who may not write a directory may still write a device, a FIFO or
// a link in it, which a download writes in place; only what it would create
// beside the target needs the directory.
#include "zelft/staged_download.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/test_paths.h"

namespace zelft {
namespace {

constexpr uid_t kNobody = 65534;

struct TargetCase {
    std::string target;
    bool allowed;
};

// Decides every case in a child process that is not the superuser, for
// whom access() would allow everything: run as root, it drops to uid and
// gid 65534 first. 0 when each was decided as expected, else the index + 1
// of the first that was not (100 when the child could not drop).
int DecideAsOrdinaryUser(const std::vector<TargetCase>& cases) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
                                 ::setresuid(kNobody, kNobody, kNobody) != 0)) {
            ::_exit(100);
        }
        for (size_t i = 0; i < cases.size(); ++i) {
            if (CheckDownloadTarget(cases[i].target).failed() == cases[i].allowed) ::_exit(static_cast<int>(i + 1));
        }
        ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(DownloadTarget, InADirectoryTheUserMayNotWriteOnlyWhatIsWrittenInPlaceIsAllowed) {
    zeltest::ScratchDir scratch;
    const std::string fifo = scratch / "fifo";
    const std::string readOnlyFifo = scratch / "read-only-fifo";
    const std::string plain = scratch / "plain";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::chmod(fifo.c_str(), 0666), 0);
    ASSERT_EQ(::mkfifo(readOnlyFifo.c_str(), 0444), 0);
    zeltest::WriteFile(plain, "kept\n");
    ASSERT_EQ(::chmod(plain.c_str(), 0666), 0);
    ASSERT_EQ(::symlink("/dev/null", (scratch / "to-null").c_str()), 0);
    ASSERT_EQ(::symlink(fifo.c_str(), (scratch / "to-fifo").c_str()), 0);
    ASSERT_EQ(::symlink((scratch / "nothing").c_str(), (scratch / "to-nothing").c_str()), 0);
    // Others may look into the directory, but nobody but root may write it.
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0555), 0);

    const std::vector<TargetCase> cases = {
        {"/dev/null", true},
        {fifo, true},
        {scratch / "to-null", true},
        {scratch / "to-fifo", true},
        {scratch / "to-nothing", true},  // the copy itself creates the file it names
        {readOnlyFifo, false},
        {plain, false},  // replaced through a new file beside it
        {scratch / "new", false},
    };
    const int decided = DecideAsOrdinaryUser(cases);
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0700), 0);
    ASSERT_NE(decided, 100) << "could not drop to uid 65534";
    ASSERT_GE(decided, 0);
    EXPECT_EQ(decided, 0) << cases[static_cast<size_t>(decided) - 1].target << " decided the other way";
}

}  // namespace
}  // namespace zelft
