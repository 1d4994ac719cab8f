// Progress of a copy: the library's RFA_IOCTL_PROGRESS callback during a
// large copy, and zelft's bar on a terminal.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <zel32.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "zelft_harness.h"

namespace zelfttest {
namespace {

struct ProgressCall {
    uint64_t bytes;
    uint64_t size;
};

void RecordProgress(void* context, uint64_t bytesTransferred, uint64_t localFileSize) {
    static_cast<std::vector<ProgressCall>*>(context)->push_back({bytesTransferred, localFileSize});
}

int32_t IgnoreNotification(uint32_t, uint32_t, intptr_t, const char*) { return 0; }

// A pseudo-terminal: `terminal` is given to the child as its standard error,
// the test reads what was drawn from `master`.
class PseudoTerminal {
public:
    ~PseudoTerminal() {
        if (master_ >= 0) ::close(master_);
        CloseTerminal();
    }
    bool Open(unsigned short columns) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return false;
        struct winsize size {};
        size.ws_col = columns;
        size.ws_row = 24;
        if (::ioctl(master_, TIOCSWINSZ, &size) != 0) return false;
        terminal_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        return terminal_ >= 0;
    }
    int terminal() const { return terminal_; }
    // Call once the child holds the terminal: what was drawn until the
    // child, its last holder, has gone.
    std::string ReadUntilClosed() {
        CloseTerminal();
        std::string drawn;
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(master_, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            drawn.append(buffer, static_cast<size_t>(got));
        }
        return drawn;
    }

private:
    void CloseTerminal() {
        if (terminal_ >= 0) ::close(terminal_);
        terminal_ = -1;
    }
    int master_ = -1;
    int terminal_ = -1;
};

class Progress : public ZelftEndToEnd {
protected:
    // A link through the library's C interface, with RecordProgress registered.
    RfaHandle OpenLinkWithProgress() {
        static char listBuffer[4096];
        ZelInit(listBuffer, sizeof listBuffer);
        RfaOpenLinkParams params{};
        std::strcpy(params.nodeName, server.node().c_str());
        params.notify = IgnoreNotification;
        EXPECT_EQ(RfaOpenLink(&params), RFA_OK);
        uintptr_t block[2] = {reinterpret_cast<uintptr_t>(&RecordProgress), reinterpret_cast<uintptr_t>(&calls)};
        EXPECT_EQ(RfaIoctl(params.handle, RFA_IOCTL_PROGRESS, block), RFA_OK);
        return params.handle;
    }

    // Calls with byte counts that never go down and end at `size`, the size
    // known by the last call.
    void ExpectCountsUpTo(uint64_t size) {
        ASSERT_FALSE(calls.empty()) << "no progress reported";
        for (size_t i = 1; i < calls.size(); ++i) {
            EXPECT_GE(calls[i].bytes, calls[i - 1].bytes) << "call " << i;
            EXPECT_LE(calls[i].bytes, size) << "call " << i;
        }
        EXPECT_EQ(calls.back().bytes, size);
        EXPECT_EQ(calls.back().size, size);
    }

    std::vector<ProgressCall> calls;
};

TEST_F(Progress, TheCallbackCountsUpToTheSizeOfADownload) {
    const std::string content = BinaryContent(6 << 20, 8);
    WriteFile(server.Path("large.bin"), content);
    const RfaHandle handle = OpenLinkWithProgress();
    ASSERT_EQ(RfaCopy(handle, "large.bin", Local("large.bin").c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE, nullptr),
              RFA_OK);
    ExpectCountsUpTo(content.size());
    // Without an argument block the procedure is removed: the next copy reports nothing.
    EXPECT_EQ(RfaIoctl(handle, RFA_IOCTL_PROGRESS, nullptr), RFA_OK);
    const size_t callsBefore = calls.size();
    ASSERT_EQ(RfaCopy(handle, "large.bin", Local("again.bin").c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE, nullptr),
              RFA_OK);
    RfaCloseLink(handle);
    EXPECT_EQ(calls.size(), callsBefore);
}

TEST_F(Progress, TheCallbackCountsUpToTheSizeOfAnUpload) {
    const std::string content = BinaryContent(6 << 20, 9);
    WriteFile(Local("large.bin"), content);
    const RfaHandle handle = OpenLinkWithProgress();
    ASSERT_EQ(RfaCopy(handle, Local("large.bin").c_str(), "large.bin", RFA_COPY_UPLOAD, RFA_MODE_IMAGE, nullptr),
              RFA_OK);
    RfaCloseLink(handle);
    ExpectCountsUpTo(content.size());
    // An upload knows the size of its source from the start.
    if (!calls.empty()) {
        EXPECT_EQ(calls.front().size, content.size());
    }
}

// A procedure that tries to call the library on the copying link (each call
// must be refused, changing nothing) and uses another link once.
struct Reentry {
    RfaHandle own = 0;
    RfaHandle other = 0;
    int calls = 0;
    std::vector<int32_t> ownResults;
    int32_t otherResult = -2;
    uint32_t lookedBytes = 0;
};

void CallBackIn(void* context, uint64_t, uint64_t) {
    auto* reentry = static_cast<Reentry*>(context);
    ++reentry->calls;
    const RfaHandle own = reentry->own;
    uint16_t length = 0;
    char byte = 0;
    reentry->ownResults.push_back(RfaCloseLink(own));
    reentry->ownResults.push_back(RfaAbort(own));
    reentry->ownResults.push_back(RfaDelete(own, "source.bin"));
    reentry->ownResults.push_back(RfaReadFile(own, 1, &byte, &length));
    reentry->ownResults.push_back(RfaIoctl(own, RFA_IOCTL_PROGRESS, nullptr));
    reentry->ownResults.push_back(RfaCopy(own, "a", "b", RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE, nullptr));
    RfaLinkStatus status{};
    if (RfaLook(own, &status, sizeof status) == RFA_OK) reentry->lookedBytes = status.bytesTransferred;
    if (reentry->otherResult == -2) reentry->otherResult = RfaDelete(reentry->other, "other.txt");
}

TEST_F(Progress, InsideTheCallbackOnlyOtherLinksAndLookMayBeUsed) {
    // Closing the link under its copy would free what the copy is using;
    // aborting it would end the access the copy still reads or writes.
    const std::string content = BinaryContent(3 << 20, 12);
    WriteFile(server.Path("source.bin"), content);
    WriteFile(Local("source.bin"), content);
    for (const uint32_t direction : {RFA_COPY_DOWNLOAD, RFA_COPY_UPLOAD}) {
        const bool download = direction == RFA_COPY_DOWNLOAD;
        SCOPED_TRACE(download ? "download" : "upload");
        WriteFile(server.Path("other.txt"), "delete me");
        Reentry reentry;
        reentry.own = OpenLinkWithProgress();
        reentry.other = OpenLinkWithProgress();
        uintptr_t block[2] = {reinterpret_cast<uintptr_t>(&CallBackIn), reinterpret_cast<uintptr_t>(&reentry)};
        ASSERT_EQ(RfaIoctl(reentry.own, RFA_IOCTL_PROGRESS, block), RFA_OK);
        const std::string target = download ? Local("copied.bin") : server.Path("copied.bin");
        ASSERT_EQ(RfaCopy(reentry.own, download ? "source.bin" : Local("source.bin").c_str(),
                          download ? target.c_str() : "copied.bin", direction, RFA_MODE_IMAGE, nullptr),
                  RFA_OK);
        EXPECT_EQ(ReadFile(target), content);
        ASSERT_GE(reentry.calls, 1);
        EXPECT_EQ(reentry.ownResults, std::vector<int32_t>(6u * static_cast<size_t>(reentry.calls), -1));
        EXPECT_EQ(reentry.lookedBytes, content.size());
        EXPECT_EQ(reentry.otherResult, RFA_OK);
        EXPECT_FALSE(std::filesystem::exists(server.Path("other.txt")));
        // The link is whole afterwards, and the refused removal of the
        // procedure left it in place.
        const int callsBefore = reentry.calls;
        ASSERT_EQ(RfaCopy(reentry.own, "source.bin", Local("again.bin").c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE,
                          nullptr),
                  RFA_OK);
        EXPECT_GT(reentry.calls, callsBefore);
        EXPECT_EQ(RfaCloseLink(reentry.own), RFA_OK);
        EXPECT_EQ(RfaCloseLink(reentry.other), RFA_OK);
    }
}

TEST_F(Progress, ZelftDrawsTheBarOnATerminal) {
    WriteFile(server.Path("large.bin"), BinaryContent(8 << 20, 10));
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.Open(100));
    ChildProcess zelft;
    ASSERT_TRUE(zelft.Start({ZelftPath(), "get", server.Remote("large.bin"), Local("large.bin")}, RunOptions{},
                            terminal.terminal()));
    const std::string drawn = terminal.ReadUntilClosed();
    const ProcessResult result = zelft.Finish();
    EXPECT_EQ(result.exitCode, 0) << drawn;

    // Each drawing starts with a carriage return; the terminal sends the final
    // line end back as CR LF.
    ASSERT_GE(drawn.size(), 2u);
    EXPECT_EQ(drawn.substr(drawn.size() - 2), "\r\n");
    const std::string lines = drawn.substr(0, drawn.size() - 2);
    const std::string finalLine = lines.substr(lines.rfind('\r') + 1);
    EXPECT_EQ(finalLine.rfind("large.bin  [", 0), 0u) << finalLine;
    EXPECT_NE(finalLine.find("100%  8.0 MiB"), std::string::npos) << finalLine;
    EXPECT_NE(finalLine.find(" in "), std::string::npos) << finalLine;
    // Drawn at the first report of the library and again at the end.
    size_t drawings = 0;
    for (size_t at = lines.find("\rlarge.bin"); at != std::string::npos; at = lines.find("\rlarge.bin", at + 1)) {
        ++drawings;
    }
    EXPECT_GE(drawings, 2u) << lines;
}

TEST_F(Progress, NoBarWithNoProgressOrQuiet) {
    WriteFile(server.Path("small.bin"), BinaryContent(100000, 11));
    for (const char* option : {"--no-progress", "--quiet"}) {
        PseudoTerminal terminal;
        ASSERT_TRUE(terminal.Open(100));
        ChildProcess zelft;
        ASSERT_TRUE(zelft.Start({ZelftPath(), "get", option, server.Remote("small.bin"), Local("small.bin")},
                                RunOptions{}, terminal.terminal()));
        const std::string drawn = terminal.ReadUntilClosed();
        EXPECT_EQ(zelft.Finish().exitCode, 0) << option;
        EXPECT_EQ(drawn, "") << option;
    }
}

}  // namespace
}  // namespace zelfttest
