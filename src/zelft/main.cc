// zelft: the file-transfer utility of the ZEL remote file access system.
#include <cstdio>
#include <string>
#include <vector>

#include "zelft/command_line.h"
#include "zelft/commands.h"

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

}  // namespace

int main(int argc, char** argv) {
    zelft::Invocation invocation;
    std::string error;
    if (!zelft::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &invocation, &error)) {
        std::fprintf(stderr, "zelft: %s\n", error.c_str());
        return static_cast<int>(ExitCode::kUsage);
    }
    if (invocation.version) {
        std::printf("zelft %s\n", ZELFT_VERSION);
        return 0;
    }
    if (invocation.help) {
        std::fputs(zelft::HelpText(invocation.command).c_str(), stdout);
        return 0;
    }
    return static_cast<int>(Run(invocation));
}
