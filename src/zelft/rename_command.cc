// rename: a remote file given a new name on the same node.
#include <cstdio>

#include "zelft/commands.h"
#include "zelft/connection.h"
#include "zelft/terminal_text.h"

namespace zelft {

ExitCode RunRename(const Invocation& invocation) {
    // NEW may repeat the node (NODE::NEW) or be the bare new name.
    std::vector<std::string> remote = {invocation.operands[0]};
    const bool newIsRemote = IsRemoteArgument(invocation.operands[1]);
    if (newIsRemote) {
        remote.push_back(invocation.operands[1]);
    } else if (invocation.operands[1].empty() || invocation.operands[1].size() > 255) {
        return Reported(UsageFailure("rename: the new name must have 1 to 255 characters"));
    }
    std::vector<RemoteSpec> specs;
    Failure failure;
    std::unique_ptr<RemoteLink> link = ConnectFor(invocation, remote, true, &specs, &failure);
    if (link == nullptr) return Reported(failure);
    const std::string newName = newIsRemote ? specs[1].path : invocation.operands[1];
    const std::string described = RemoteName(specs[0]) + " -> " + newName;
    failure = link->Check(OperationName{"rename", described},
                          RfaRename(link->handle(), specs[0].path.c_str(), newName.c_str()));
    if (failure.failed()) {
        Report(failure);
    } else if (invocation.verbose) {
        Say("renamed " + described);
    }
    return failure.exit;
}

}  // namespace zelft
