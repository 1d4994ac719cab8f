// The commands of zelft. Each runs the invocation, reports every failure on
// standard error as one line and returns the exit code of the first.
#pragma once

#include "zelft/command_line.h"
#include "zelft/exit_codes.h"

namespace zelft {

ExitCode RunGet(const Invocation& invocation);
ExitCode RunPut(const Invocation& invocation);
ExitCode RunDir(const Invocation& invocation);
ExitCode RunType(const Invocation& invocation);
ExitCode RunRename(const Invocation& invocation);
ExitCode RunProtection(const Invocation& invocation);
// delete, mkdir, rmdir, print and submit: one call per argument.
ExitCode RunFileCommand(const Invocation& invocation);

}  // namespace zelft
