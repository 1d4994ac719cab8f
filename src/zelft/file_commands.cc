// delete, mkdir, rmdir, print and submit: one library call per argument,
// each with its own outcome.
#include <cstdio>

#include "zelft/commands.h"
#include "zelft/connection.h"
#include "zelft/terminal_text.h"

namespace zelft {
namespace {

struct FileCommand {
    Command command;
    const char* verb;
    const char* done;  // for --verbose
    int32_t (*call)(RfaHandle handle, const char* name);
};

constexpr FileCommand kFileCommands[] = {
    {Command::kDelete, "delete", "deleted", RfaDelete},
    {Command::kMkdir, "mkdir", "created", RfaMd},
    {Command::kRmdir, "rmdir", "removed", RfaRd},
    {Command::kPrint, "print", "printed", RfaPrint},
    {Command::kSubmit, "submit", "submitted", RfaSubmit},
};

}  // namespace

ExitCode RunFileCommand(const Invocation& invocation) {
    const FileCommand* command = nullptr;
    for (const FileCommand& entry : kFileCommands) {
        if (entry.command == invocation.command) command = &entry;
    }
    if (command == nullptr) return ExitCode::kOther;

    std::vector<RemoteSpec> specs;
    Failure failure;
    std::unique_ptr<RemoteLink> link = ConnectFor(invocation, invocation.operands, true, &specs, &failure);
    if (link == nullptr) return Reported(failure);
    Outcome outcome;
    for (const RemoteSpec& spec : specs) {
        failure = link->Check(OperationName{command->verb, RemoteName(spec)},
                              command->call(link->handle(), spec.path.c_str()));
        outcome.Add(failure);
        if (!failure.failed() && invocation.verbose) {
            Say(std::string(command->done) + " " + RemoteName(spec));
        }
        if (outcome.linkLost()) break;
    }
    return outcome.exit();
}

}  // namespace zelft
