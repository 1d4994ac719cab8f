// dir: the listing text of a remote directory or of the files a name matches, printed with
// Unix line ends.
#include <unistd.h>

#include <cstdio>

#include "zelft/commands.h"
#include "zelft/connection.h"
#include "zelft/listing_text.h"
#include "zelft/terminal_text.h"

namespace zelft {

ExitCode RunDir(const Invocation& invocation) {
    std::vector<RemoteSpec> specs;
    Failure failure;
    std::unique_ptr<RemoteLink> link = ConnectFor(invocation, invocation.operands, false, &specs, &failure);
    if (link == nullptr) return Reported(failure);
    const RemoteSpec& spec = specs[0];
    const OperationName operation{"dir", RemoteName(spec)};
    if (invocation.revisionDate) {
        uintptr_t block[1] = {0};  // 0: revision dates
        failure = link->Check(operation, RfaIoctl(link->handle(), RFA_IOCTL_DATE_CHOICE, block));
    }
    if (!failure.failed()) {
        failure = link->Dir(operation, invocation.full ? 1 : 0, spec.path);
    }
    std::string listing;
    if (!failure.failed()) failure = link->TakeListing(RemoteName(spec), &listing);
    if (failure.failed()) return Reported(failure);
    // On a terminal the names' control characters show as '?'; into a file
    // or a pipe the listing goes as the server sent it.
    const std::string text = ::isatty(STDOUT_FILENO) != 0 ? PrintableLines(listing) : WithUnixLineEnds(listing);
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        (!text.empty() && text.back() != '\n' && std::fputc('\n', stdout) == EOF)) {
        return Reported(OutputFailure());
    }
    return ExitCode::kOk;
}

}  // namespace zelft
