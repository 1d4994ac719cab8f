// A failure as zelft reports it: one line naming the operation, the file,
// the library's error code in words and the remote status when one came,
// and the exit code that goes with it.
#pragma once

#include <zel32.h>

#include <string>

#include "zelft/exit_codes.h"

namespace zelft {

struct Failure {
    ExitCode exit = ExitCode::kOk;
    std::string message;  // without the "zelft: " prefix and the line end

    bool failed() const { return exit != ExitCode::kOk; }
};

// What the failed operation was about: "get" and "node::file", and whether
// the operation has a local file (a copy, the trace), whose errors share
// some codes with remote ones.
struct OperationName {
    const char* verb;
    std::string file;
    bool hasLocalFile = false;
};

// The failure of a library call: `result` is what the entry point returned,
// `status` what RfaLook showed afterwards.
Failure LinkFailure(const OperationName& operation, int32_t result, const RfaLinkStatus& status);

// Failures zelft finds itself.
Failure UsageFailure(const std::string& message);
Failure LocalFailure(const std::string& message);
Failure OtherFailure(const std::string& message);
// Standard output did not take what was written to it (a full disk, say):
// a local file error, with errno's words.
Failure OutputFailure();

// Writes "zelft: MESSAGE" to standard error.
void Report(const Failure& failure);
// Reports the failure and gives its exit code.
ExitCode Reported(const Failure& failure);

// Gathers the outcome of several operations: reports each failure and keeps
// the exit code of the first.
class Outcome {
public:
    void Add(const Failure& failure);
    ExitCode exit() const { return exit_; }
    // The link can no longer be used: the last failure was a connection failure.
    bool linkLost() const { return linkLost_; }

private:
    ExitCode exit_ = ExitCode::kOk;
    bool linkLost_ = false;
};

}  // namespace zelft
