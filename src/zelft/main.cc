// zelft: the file-transfer utility of the ZEL remote file access system.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "zelft/command_line.h"
#include "zelft/commands.h"
#include "zelft/failure.h"

namespace {

using zelft::Command;
using zelft::ExitCode;

ExitCode Run(const zelft::Invocation& invocation) {
    switch (invocation.command) {
        case Command::kGet: return zelft::RunGet(invocation);
        case Command::kPut: return zelft::RunPut(invocation);
        case Command::kDir: return zelft::RunDir(invocation);
        case Command::kType: return zelft::RunType(invocation);
        case Command::kRename: return zelft::RunRename(invocation);
        case Command::kProtection: return zelft::RunProtection(invocation);
        case Command::kDelete:
        case Command::kMkdir:
        case Command::kRmdir:
        case Command::kPrint:
        case Command::kSubmit: return zelft::RunFileCommand(invocation);
        case Command::kNone:
        case Command::kHelp: break;
    }
    return ExitCode::kUsage;
}

// Started with standard input, output or error closed, zelft would give the
// first descriptor it opens (a link's socket) that number, and print into
// the connection. Each closed one is opened on /dev/null first.
void OpenClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        // The lowest free number is the one that was closed; should another
        // come, it is not a standard descriptor and goes again.
        if (opened > 2) ::close(opened);
    }
}

// What was printed must have reached standard output: a write that failed
// unseen (a full disk) makes a command that succeeded a local file error.
int FinishOutput(ExitCode exit) {
    const bool flushed = std::fflush(stdout) == 0;
    if (exit == ExitCode::kOk && (!flushed || std::ferror(stdout) != 0)) {
        if (flushed) errno = EIO;  // the failed write's own error is gone
        exit = zelft::Reported(zelft::OutputFailure());
    }
    return static_cast<int>(exit);
}

}  // namespace

int main(int argc, char** argv) {
    OpenClosedStandardDescriptors();
    zelft::Invocation invocation;
    std::string error;
    if (!zelft::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &invocation, &error)) {
        std::fprintf(stderr, "zelft: %s\n", error.c_str());
        return static_cast<int>(ExitCode::kUsage);
    }
    if (invocation.version) {
        std::printf("zelft %s\n", ZELFT_VERSION);
        return FinishOutput(ExitCode::kOk);
    }
    if (invocation.help) {
        if (std::fputs(zelft::HelpText(invocation.command).c_str(), stdout) == EOF) {
            return static_cast<int>(zelft::Reported(zelft::OutputFailure()));
        }
        return FinishOutput(ExitCode::kOk);
    }
    return FinishOutput(Run(invocation));
}
