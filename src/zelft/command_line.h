// The command line of zelft: `zelft [OPTIONS] COMMAND [OPTIONS] ARGUMENTS`.
// Options may stand before or after the command and its arguments; "--"
// ends them. Each option applies to the commands its table row names.
#pragma once

#include <zel32.h>

#include <string>
#include <vector>

namespace zelft {

enum class Command {
    kNone,
    kHelp,
    kGet,
    kPut,
    kDir,
    kType,
    kDelete,
    kRename,
    kMkdir,
    kRmdir,
    kPrint,
    kSubmit,
    kProtection,
};

struct Invocation {
    Command command = Command::kNone;
    std::vector<std::string> operands;

    bool help = false;
    bool version = false;

    // Copies.
    uint16_t mode = RFA_MODE_IMAGE;  // RFA_MODE_TEXT with --text
    bool hasAttributes = false;      // one of the four attribute options was given
    // Equivalent to no description at all until an option changes a field:
    // transfer mode 2 keeps the default record access.
    RfaCopyAttributes attributes{2, 0, 0, 0, 0};
    bool noProgress = false;

    // Every command that opens a link.
    std::string user;
    std::string passwordFile;
    std::string traceFile;
    bool traceAppend = false;
    bool quiet = false;
    bool verbose = false;

    // dir
    bool full = false;
    bool revisionDate = false;

    // protection
    bool setProtection = false;
    RfaProtectionRecord protection{};
};

struct CommandInfo {
    Command command;
    const char* name;
    const char* synopsis;  // the arguments, after "zelft NAME"
    const char* summary;   // one short line, for the list of commands
    const char* details;   // the rest of the command's help
    size_t minOperands;
    size_t maxOperands;    // SIZE_MAX: any number
};

// The command of `name`, or null.
const CommandInfo* FindCommand(const std::string& name);
const CommandInfo* InfoFor(Command command);
const std::vector<CommandInfo>& AllCommands();

// Parses argv[1..]. False with a message for an unknown command or option, a
// missing or bad value, an option that does not apply to the command, or a
// wrong number of arguments. --help and --version succeed without checking
// the arguments.
bool ParseCommandLine(const std::vector<std::string>& arguments, Invocation* invocation, std::string* error);

// The help text of a command, or the general one for Command::kNone.
std::string HelpText(Command command);

}  // namespace zelft
