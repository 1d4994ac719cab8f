#include "zelft/command_line.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "zelft/protection_text.h"

namespace zelft {
namespace {

constexpr uint32_t Bit(Command command) { return 1u << static_cast<unsigned>(command); }

constexpr uint32_t kCopies = Bit(Command::kGet) | Bit(Command::kPut);
constexpr uint32_t kLinkCommands = kCopies | Bit(Command::kDir) | Bit(Command::kType) | Bit(Command::kDelete) |
                                   Bit(Command::kRename) | Bit(Command::kMkdir) | Bit(Command::kRmdir) |
                                   Bit(Command::kPrint) | Bit(Command::kSubmit) | Bit(Command::kProtection);
constexpr uint32_t kEveryCommand = ~0u;

const std::vector<CommandInfo> kCommands = {
    {Command::kGet, "get", "NODE::REMOTE [LOCAL]", "copy remote files here",
     "Copies REMOTE to LOCAL, into LOCAL when it is a directory, or into the working\n"
     "directory. With * or % in the file name, copies every matching file (not\n"
     "directories) into the directory LOCAL; a matching file that cannot be copied\n"
     "(among them a second one for a local name already written) fails the command.\n",
     1, 2},
    {Command::kPut, "put", "LOCAL... NODE::REMOTE", "copy local files to the server",
     "Copies LOCAL to the name REMOTE. Several files, or a REMOTE that is empty or\n"
     "ends in / or ], go into that directory under their own names.\n",
     2, SIZE_MAX},
    {Command::kDir, "dir", "NODE::[SPEC]", "list a remote directory",
     "Lists the directory or the files SPEC matches: each name quoted, with its size\n"
     "in blocks (-F a file, -D a directory; a records server gives sizes only\n"
     "with --full).\n",
     1, 1},
    {Command::kType, "type", "NODE::FILE", "print a remote file", "Prints FILE record by record.\n", 1, 1},
    {Command::kDelete, "delete", "NODE::SPEC...", "delete remote files", "Deletes each file.\n", 1, SIZE_MAX},
    {Command::kRename, "rename", "NODE::OLD NEW", "rename a remote file",
     "Renames OLD to NEW, a name on the same node (NODE::NEW also works).\n", 2, 2},
    {Command::kMkdir, "mkdir", "NODE::DIR...", "create remote directories", "Creates each directory.\n", 1,
     SIZE_MAX},
    {Command::kRmdir, "rmdir", "NODE::DIR...", "remove empty remote directories",
     "Removes each directory. The request is the one a delete makes: a plain file of\n"
     "that name is deleted.\n",
     1, SIZE_MAX},
    {Command::kPrint, "print", "NODE::FILE...", "print remote files on the server",
     "Hands each file to the server's printer.\n", 1, SIZE_MAX},
    {Command::kSubmit, "submit", "NODE::FILE...", "submit remote files as batch jobs",
     "Hands each file to the server's batch queue.\n", 1, SIZE_MAX},
    {Command::kProtection, "protection", "NODE::FILE", "show or set a file's protection",
     "Shows the protection as S:RWED,O:RWED,G:RE,W: (system, owner, group, world;\n"
     "the letters are the access granted: read, write, execute, delete), or sets\n"
     "it with --set (classes left out keep theirs).\n",
     1, 1},
    {Command::kHelp, "help", "[COMMAND]", "help on zelft or on a command", "Shows the help.\n", 0, 1},
};

struct NamedValue {
    const char* name;
    uint16_t value;
};

// RfaCopyAttributes.recordFormat by name.
constexpr NamedValue kRecordFormats[] = {
    {"stream", 0}, {"stream-lf", 1}, {"stream-cr", 2}, {"fixed", 3}, {"variable", 4}, {"vfc", 5}, {"undefined", 6},
};

// RfaCopyAttributes.recordAttributes bits by name.
constexpr NamedValue kRecordAttributes[] = {
    {"none", 0x01}, {"fortran", 0x02}, {"print", 0x04}, {"cr", 0x08}, {"no-span", 0x20},
};

// A decimal or 0x-hexadecimal number from 0 to `most`.
bool ParseNumber(std::string_view text, uint64_t most, uint64_t* value) {
    if (text.empty() || text.size() > 20) return false;
    const std::string copy(text);
    const bool hex = copy.size() > 2 && copy[0] == '0' && (copy[1] == 'x' || copy[1] == 'X');
    const char* digits = hex ? copy.c_str() + 2 : copy.c_str();
    if (*digits == '\0' || *digits == '-' || *digits == '+' || *digits == ' ') return false;
    char* end = nullptr;
    const unsigned long long number = std::strtoull(digits, &end, hex ? 16 : 10);
    if (*end != '\0' || number > most) return false;
    *value = number;
    return true;
}

template <size_t N>
bool ParseNamedOrNumber(std::string_view text, const NamedValue (&names)[N], uint64_t most, uint16_t* value) {
    for (const NamedValue& entry : names) {
        if (text == entry.name) {
            *value = entry.value;
            return true;
        }
    }
    uint64_t number = 0;
    if (!ParseNumber(text, most, &number)) return false;
    *value = static_cast<uint16_t>(number);
    return true;
}

template <size_t N>
std::string NameList(const NamedValue (&names)[N]) {
    std::string list;
    for (const NamedValue& entry : names) list += std::string(list.empty() ? "" : ", ") + entry.name;
    return list;
}

using ApplyOption = bool (*)(Invocation*, std::string_view value, std::string* error);

struct OptionInfo {
    const char* name;   // "--text"
    char shortName;     // 'q' for -q, or 0
    const char* value;  // the value's name in the help, or null for a flag
    uint32_t commands;  // Bit(Command) of the commands it applies to
    ApplyOption apply;
    const char* help;
};

const OptionInfo kOptions[] = {
    {"--text", 0, nullptr, kCopies,
     [](Invocation* in, std::string_view, std::string*) {
         in->mode = RFA_MODE_TEXT;
         return true;
     },
     "copy as text (record servers: lines <-> records)"},
    {"--image", 0, nullptr, kCopies,
     [](Invocation* in, std::string_view, std::string*) {
         in->mode = RFA_MODE_IMAGE;
         return true;
     },
     "copy the bytes as they are (the default)"},
    {"--record-format", 0, "FORMAT", kCopies,
     [](Invocation* in, std::string_view v, std::string* error) {
         in->hasAttributes = true;
         if (ParseNamedOrNumber(v, kRecordFormats, 6, &in->attributes.recordFormat)) return true;
         *error = "--record-format is one of " + NameList(kRecordFormats) + ", or 0 to 6";
         return false;
     },
     "stream, stream-lf, stream-cr, fixed, variable,\n"
     "vfc, undefined (or 0 to 6)"},
    {"--record-attributes", 0, "ATTRS", kCopies,
     [](Invocation* in, std::string_view v, std::string* error) {
         in->hasAttributes = true;
         if (ParseNamedOrNumber(v, kRecordAttributes, 128, &in->attributes.recordAttributes)) return true;
         *error = "--record-attributes is one of " + NameList(kRecordAttributes) + ", or a bit set from 0 to 128";
         return false;
     },
     "none, fortran, print, cr, no-span, or bits 0-128"},
    {"--max-record-size", 0, "BYTES", kCopies,
     [](Invocation* in, std::string_view v, std::string* error) {
         uint64_t number = 0;
         in->hasAttributes = true;
         if (ParseNumber(v, UINT16_MAX, &number)) {
             in->attributes.maxRecordSize = static_cast<uint16_t>(number);
             return true;
         }
         *error = "--max-record-size needs a number from 0 to 65535";
         return false;
     },
     "largest record (0: the server's default)"},
    {"--allocation", 0, "BLOCKS", kCopies,
     [](Invocation* in, std::string_view v, std::string* error) {
         uint64_t number = 0;
         in->hasAttributes = true;
         if (ParseNumber(v, UINT32_MAX, &number)) {
             in->attributes.allocation = static_cast<uint32_t>(number);
             return true;
         }
         *error = "--allocation needs a number of blocks from 0 to 4294967295";
         return false;
     },
     "blocks to allocate for the file"},
    {"--no-progress", 0, nullptr, kCopies,
     [](Invocation* in, std::string_view, std::string*) {
         in->noProgress = true;
         return true;
     },
     "no progress bar (drawn only on a terminal)"},
    {"--full", 0, nullptr, Bit(Command::kDir),
     [](Invocation* in, std::string_view, std::string*) {
         in->full = true;
         return true;
     },
     "list sizes and dates"},
    {"--revision-date", 0, nullptr, Bit(Command::kDir),
     [](Invocation* in, std::string_view, std::string*) {
         in->full = in->revisionDate = true;
         return true;
     },
     "revision instead of creation dates (and --full)"},
    {"--set", 0, "PROTECTION", Bit(Command::kProtection),
     [](Invocation* in, std::string_view v, std::string* error) {
         in->setProtection = true;
         return ParseProtection(v, &in->protection, error);
     },
     "set it, e.g. S:RWED,O:RWED,G:RE,W:"},
    {"--user", 'u', "NAME", kLinkCommands,
     [](Invocation* in, std::string_view v, std::string*) {
         in->user = v;
         return true;
     },
     "log in as NAME (or write NAME@NODE::)"},
    {"--password-file", 0, "FILE", kLinkCommands,
     [](Invocation* in, std::string_view v, std::string*) {
         in->passwordFile = v;
         return true;
     },
     "read the password from FILE's first line"},
    {"--trace", 0, "FILE", kLinkCommands,
     [](Invocation* in, std::string_view v, std::string*) {
         in->traceFile = v;
         return true;
     },
     "write the messages of the open link to FILE"},
    {"--trace-append", 0, nullptr, kLinkCommands,
     [](Invocation* in, std::string_view, std::string*) {
         in->traceAppend = true;
         return true;
     },
     "add to the trace file, do not replace it"},
    {"--quiet", 'q', nullptr, kEveryCommand,
     [](Invocation* in, std::string_view, std::string*) {
         in->quiet = true;
         return true;
     },
     "nothing but errors and what was asked for"},
    {"--verbose", 'v', nullptr, kEveryCommand,
     [](Invocation* in, std::string_view, std::string*) {
         in->verbose = true;
         return true;
     },
     "say what is being done"},
    {"--help", 'h', nullptr, kEveryCommand,
     [](Invocation* in, std::string_view, std::string*) {
         in->help = true;
         return true;
     }, "show this help"},
    {"--version", 0, nullptr, kEveryCommand,
     [](Invocation* in, std::string_view, std::string*) {
         in->version = true;
         return true;
     },
     "show the version"},
};

const OptionInfo* FindOption(std::string_view name) {
    for (const OptionInfo& option : kOptions) {
        if (name == option.name) return &option;
        if (option.shortName != 0 && name.size() == 2 && name[0] == '-' && name[1] == option.shortName) return &option;
    }
    return nullptr;
}

bool CheckOperands(const Invocation& invocation, const CommandInfo& info, std::string* error) {
    const size_t count = invocation.operands.size();
    if (count >= info.minOperands && count <= info.maxOperands) return true;
    *error = std::string(count < info.minOperands ? "too few" : "too many") + " arguments for " + info.name +
             " (usage: zelft " + info.name + " " + info.synopsis + ")";
    return false;
}

}  // namespace

const std::vector<CommandInfo>& AllCommands() { return kCommands; }

const CommandInfo* FindCommand(const std::string& name) {
    for (const CommandInfo& info : kCommands) {
        if (name == info.name) return &info;
    }
    return nullptr;
}

const CommandInfo* InfoFor(Command command) {
    for (const CommandInfo& info : kCommands) {
        if (info.command == command) return &info;
    }
    return nullptr;
}

bool ParseCommandLine(const std::vector<std::string>& arguments, Invocation* invocation, std::string* error) {
    *invocation = Invocation{};
    std::vector<const OptionInfo*> given;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            if (invocation->command != Command::kNone) {
                invocation->operands.push_back(argument);
                continue;
            }
            const CommandInfo* info = FindCommand(argument);
            if (info == nullptr) {
                *error = "unknown command '" + argument + "' (see zelft --help)";
                return false;
            }
            invocation->command = info->command;
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const OptionInfo* option = FindOption(name);
        if (option == nullptr) {
            *error = "unknown option " + name + " (see zelft --help)";
            return false;
        }
        std::string value;
        if (option->value == nullptr && equals != std::string::npos) {
            *error = name + " takes no value";
            return false;
        }
        if (option->value != nullptr) {
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                *error = name + " needs a value (" + option->value + ")";
                return false;
            }
        }
        if (!option->apply(invocation, value, error)) return false;
        given.push_back(option);
    }

    if (invocation->version) return true;
    if (invocation->command == Command::kHelp) {
        if (!CheckOperands(*invocation, *InfoFor(Command::kHelp), error)) return false;
        invocation->help = true;
        invocation->command = Command::kNone;
        if (!invocation->operands.empty()) {
            const CommandInfo* info = FindCommand(invocation->operands[0]);
            if (info == nullptr) {
                *error = "unknown command '" + invocation->operands[0] + "' (see zelft --help)";
                return false;
            }
            invocation->command = info->command;
        }
        return true;
    }
    if (invocation->help) return true;
    if (invocation->command == Command::kNone) {
        *error = "no command given (see zelft --help)";
        return false;
    }
    const CommandInfo& info = *InfoFor(invocation->command);
    for (const OptionInfo* option : given) {
        if ((option->commands & Bit(invocation->command)) == 0) {
            *error = std::string(option->name) + " does not apply to " + info.name;
            return false;
        }
    }
    if (invocation->quiet && invocation->verbose) {
        *error = "give --quiet or --verbose, not both";
        return false;
    }
    if (invocation->traceAppend && invocation->traceFile.empty()) {
        *error = "--trace-append needs --trace FILE";
        return false;
    }
    return CheckOperands(*invocation, info, error);
}

std::string HelpText(Command command) {
    std::string text;
    const CommandInfo* info = command == Command::kNone ? nullptr : InfoFor(command);
    if (info == nullptr) {
        text = "usage: zelft COMMAND [OPTIONS] ARGUMENTS\n"
               "\n"
               "Copies files to and from a ZEL file server, lists its directories and runs\n"
               "commands on its files.\n"
               "\n"
               "Commands:\n";
        for (const CommandInfo& entry : kCommands) {
            std::string line = std::string("  ") + entry.name + " " + entry.synopsis;
            if (line.size() < 29) line.append(29 - line.size(), ' ');
            text += line + " " + entry.summary + "\n";
        }
    } else {
        text = std::string("usage: zelft ") + info->name + " [OPTIONS] " + info->synopsis + "\n\n" + info->details;
    }
    text += "\nOptions:\n";
    const uint32_t wanted = info == nullptr ? kEveryCommand : Bit(command);
    for (const OptionInfo& option : kOptions) {
        if ((option.commands & wanted) == 0) continue;
        std::string line = "  ";
        if (option.shortName != 0) line += std::string("-") + option.shortName + ", ";
        line += option.name;
        if (option.value != nullptr) line += std::string(" ") + option.value;
        if (line.size() < 28) line.append(28 - line.size(), ' ');
        // A help text of two lines continues under the first.
        std::string help = option.help;
        for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1)) {
            help.insert(at + 1, std::string(29, ' '));
        }
        text.append(line).append(" ").append(help).append("\n");
    }
    text += "\n"
            "NODE is a host name, an IPv4 address or [IPv6 address], with an optional\n"
            ":port (default 7017); USER@NODE:: logs in as USER. The password comes from\n"
            "--password-file, the environment variable ZELFT_PASSWORD, or a prompt.\n"
            "\n"
            "Exit codes: 0 success, 1 remote file error, 2 usage error, 3 connection or\n"
            "login failure, 4 local file error, 5 any other failure.\n";
    return text;
}

}  // namespace zelft
