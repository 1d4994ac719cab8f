// protection: a remote file's protection shown as S:RWED,O:RWED,G:RE,W:
// (with its owner when the server names one), or set with --set.
#include <cstdio>
#include <cstring>

#include "zelft/commands.h"
#include "zelft/connection.h"
#include "zelft/protection_text.h"
#include "zelft/terminal_text.h"

namespace zelft {

ExitCode RunProtection(const Invocation& invocation) {
    std::vector<RemoteSpec> specs;
    Failure failure;
    std::unique_ptr<RemoteLink> link = ConnectFor(invocation, invocation.operands, true, &specs, &failure);
    if (link == nullptr) return Reported(failure);
    const RemoteSpec& spec = specs[0];
    const OperationName operation{"protection", RemoteName(spec)};
    RfaProtectionRecord record{};
    if (invocation.setProtection) record = invocation.protection;
    failure = link->Check(operation, RfaProtection(link->handle(), spec.path.c_str(), &record,
                                                   invocation.setProtection ? 1 : 0));
    if (failure.failed()) return Reported(failure);
    if (invocation.setProtection) {
        if (invocation.verbose) {
            Say("set " + RemoteName(spec) + " to " + FormatProtection(record));
        }
        return ExitCode::kOk;
    }
    std::string line = FormatProtection(record);
    if ((record.present & RFA_PROT_OWNER) != 0) {
        line += "  owner " + Printable(std::string_view(record.owner, ::strnlen(record.owner, sizeof record.owner)));
    }
    std::printf("%s\n", line.c_str());
    return ExitCode::kOk;
}

}  // namespace zelft
