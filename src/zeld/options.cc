#include "zeld/options.h"

#include <cstdlib>

namespace zeld {
namespace {

bool ParseCount(const std::string& text, int low, int high, int* value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9) return false;
    const long number = std::strtol(text.c_str(), nullptr, 10);
    if (number < low || number > high) return false;
    *value = static_cast<int>(number);
    return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& arguments, Options* options, std::string* error) {
    *options = Options{};
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        bool hasValue = false;
        const size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            hasValue = true;
        }
        // Options that take a value: the text after "=" or the next argument.
        auto take = [&](std::string* out) {
            if (!hasValue) {
                if (i + 1 >= arguments.size()) {
                    *error = name + " needs a value";
                    return false;
                }
                value = arguments[++i];
            }
            *out = value;
            return true;
        };
        auto takeCount = [&](int low, int high, int* out) {
            std::string text;
            if (!take(&text)) return false;
            if (!ParseCount(text, low, high, out)) {
                *error = name + " needs a number from " + std::to_string(low) + " to " + std::to_string(high);
                return false;
            }
            return true;
        };
        auto flag = [&](bool* out) {
            if (hasValue) {
                *error = name + " takes no value";
                return false;
            }
            *out = true;
            return true;
        };

        bool ok = true;
        bool set = false;
        if (name == "--root") {
            ok = take(&options->root);
        } else if (name == "--listen") {
            ok = take(&options->listen);
        } else if (name == "--users") {
            ok = take(&options->usersFile);
        } else if (name == "--personality") {
            std::string personality;
            ok = take(&personality);
            if (ok && personality == "stream") {
                options->personality = Personality::kStream;
            } else if (ok && personality == "records") {
                options->personality = Personality::kRecords;
            } else if (ok) {
                *error = "--personality is stream or records";
                return false;
            }
        } else if (name == "--max-clients") {
            ok = takeCount(1, 100000, &options->maxClients);
        } else if (name == "--idle-timeout") {
            ok = takeCount(1, 86400 * 7, &options->idleTimeoutSeconds);
        } else if (name == "--shutdown-grace") {
            ok = takeCount(0, 3600, &options->shutdownGraceSeconds);
        } else if (name == "--print-command") {
            ok = take(&options->printCommand);
        } else if (name == "--print-spool") {
            ok = take(&options->printSpool);
        } else if (name == "--submit-command") {
            ok = take(&options->submitCommand);
        } else if (name == "--submit-spool") {
            ok = take(&options->submitSpool);
        } else if (name == "--log") {
            ok = take(&options->logFile);
        } else if (name == "--read-only") {
            ok = flag(&options->readOnly);
        } else if (name == "--foreground") {
            ok = flag(&options->foreground);
        } else if (name == "--hash-password") {
            ok = flag(&set);
            options->mode = Options::Mode::kHashPassword;
        } else if (name == "--help" || name == "-h") {
            options->mode = Options::Mode::kHelp;
            return true;
        } else if (name == "--version") {
            options->mode = Options::Mode::kVersion;
            return true;
        } else {
            *error = "unknown option " + name + " (see zeld --help)";
            return false;
        }
        if (!ok) return false;
    }
    if (options->mode != Options::Mode::kServe) return true;
    if (options->root.empty()) {
        *error = "--root DIR is required";
        return false;
    }
    if (!options->printCommand.empty() && !options->printSpool.empty()) {
        *error = "give --print-command or --print-spool, not both";
        return false;
    }
    if (!options->submitCommand.empty() && !options->submitSpool.empty()) {
        *error = "give --submit-command or --submit-spool, not both";
        return false;
    }
    return true;
}

const char* UsageText() {
    return "usage: zeld --root DIR [options]\n"
           "       zeld --hash-password   (reads a password, prints a hash for the users file)\n"
           "\n"
           "Serves the tree under DIR to ZEL clients as object #17.\n"
           "\n"
           "  --listen HOST:PORT       address to listen on (default 127.0.0.1:7017; [::1]:PORT for IPv6)\n"
           "  --users FILE             users file of name:hash lines; without it any user name and\n"
           "                           password is accepted, and only loopback addresses may be used\n"
           "  --personality P          stream (default: plain files, byte-exact copies) or records\n"
           "                           (text files as records, NAME.EXT;1 and NAME.DIR;1 names)\n"
           "  --max-clients N          clients served at once (default 128); more are refused\n"
           "  --idle-timeout SECONDS   close a connection silent this long (default 600)\n"
           "  --shutdown-grace SECONDS on SIGTERM or SIGINT, how long transfers and print or submit\n"
           "                           commands may go on (default 10)\n"
           "  --print-command CMD      print by running CMD with the file's path as last argument\n"
           "  --print-spool DIR        print by copying the file into DIR\n"
           "  --submit-command CMD     submit by running CMD with the file's path as last argument\n"
           "  --submit-spool DIR       submit by copying the file into DIR\n"
           "  --read-only              refuse every change\n"
           "  --log FILE               log here (default: syslog, or standard error with --foreground)\n"
           "  --foreground             stay in the foreground\n"
           "  --help, --version\n";
}

}  // namespace zeld
