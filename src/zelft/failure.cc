#include "zelft/failure.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "zelft/status_texts.h"
#include "zelft/terminal_text.h"

namespace zelft {

Failure LinkFailure(const OperationName& operation, int32_t result, const RfaLinkStatus& status) {
    // A rejected argument is returned, not stored; -1 means the link is gone.
    const int32_t code = result == RFA_ERR_BAD_ARGUMENT || result == -1 ? result : status.errorCode;
    const int32_t value = result == RFA_ERR_BAD_ARGUMENT || result == -1 ? 0 : status.errorValue;
    const bool localSide = operation.hasLocalFile && IsLocalFileError(code, value);

    Failure failure;
    failure.exit = ExitCodeFor(code, value);
    failure.message = std::string(operation.verb) + " " + operation.file + ": " + ErrorCodeWords(code, localSide) +
                      " (error " + std::to_string(code);
    std::string remote;
    if (MayCarryRemoteStatus(code) && CausedByRemoteStatus(value) && DescribeRemoteStatus(value, &remote))
        failure.message += "; remote status " + remote;
    if (code != -1 && status.errorDetail != 0) {
        failure.message += "; transport error " + std::to_string(status.errorDetail);
        const char* words = TransportErrorWords(status.errorDetail);
        if (*words != '\0') failure.message += std::string(": ") + words;
    }
    failure.message += ")";
    return failure;
}

Failure UsageFailure(const std::string& message) { return Failure{ExitCode::kUsage, message}; }
Failure LocalFailure(const std::string& message) { return Failure{ExitCode::kLocalFile, message}; }
Failure OtherFailure(const std::string& message) { return Failure{ExitCode::kOther, message}; }
Failure OutputFailure() { return LocalFailure(std::string("standard output: ") + std::strerror(errno)); }

void Report(const Failure& failure) { Say(failure.message); }

ExitCode Reported(const Failure& failure) {
    Report(failure);
    return failure.exit;
}

void Outcome::Add(const Failure& failure) {
    if (!failure.failed()) return;
    Report(failure);
    exit_ = FirstFailure(exit_, failure.exit);
    linkLost_ = failure.exit == ExitCode::kConnection;
}

}  // namespace zelft
