// type: a remote file read record by record (RfaOpenFile, RfaReadFile until
// the end of the file, RfaCloseFile), each record's text printed as the
// library gives it. A record longer than the buffer comes in pieces, which
// join up again on the output.
#include <cstdio>
#include <vector>

#include "zelft/commands.h"
#include "zelft/connection.h"

namespace zelft {
namespace {

// The length offered to each read; the buffer has room beyond it for the
// line end and the NUL the library may add.
constexpr uint16_t kReadLength = 8192;
constexpr size_t kBufferSize = kReadLength + 16;
constexpr int32_t kEndOfFileStatus = 0x5027;

}  // namespace

ExitCode RunType(const Invocation& invocation) {
    std::vector<RemoteSpec> specs;
    Failure failure;
    std::unique_ptr<RemoteLink> link = ConnectFor(invocation, invocation.operands, true, &specs, &failure);
    if (link == nullptr) return Reported(failure);
    const RemoteSpec& spec = specs[0];
    const OperationName operation{"type", RemoteName(spec)};
    failure = link->Check(operation, RfaOpenFile(link->handle(), spec.path.c_str()));
    if (failure.failed()) return Reported(failure);
    std::vector<char> buffer(kBufferSize);
    for (;;) {
        uint16_t length = 0;
        failure = link->Check(operation, RfaReadFile(link->handle(), kReadLength, buffer.data(), &length));
        if (failure.failed()) {
            // The server has already ended the access: only the link is left
            // to close. What was printed goes out before the message.
            (void)std::fflush(stdout);
            return Reported(failure);
        }
        // No text: the end of the file, or a record that has none (empty, or
        // a NUL first, where the library cuts a record's text).
        if (length == 0) {
            if (link->Look().errorValue == kEndOfFileStatus) break;
            continue;
        }
        // Output that cannot be written ends the command; closing the link
        // ends the access.
        if (std::fwrite(buffer.data(), 1, length, stdout) != length) return Reported(OutputFailure());
    }
    if (std::fflush(stdout) != 0) return Reported(OutputFailure());
    failure = link->Check(operation, RfaCloseFile(link->handle()));
    if (failure.failed()) Report(failure);
    return failure.exit;
}

}  // namespace zelft
