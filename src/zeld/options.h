// The server's command line: what `zeld` is asked to do and with which
// settings. Parsing only; main checks what needs the system (the root, the
// listen address, the users file).
#pragma once

#include <string>
#include <vector>

#include "zeld/personality.h"

namespace zeld {

struct Options {
    enum class Mode { kServe, kHashPassword, kHelp, kVersion };
    Mode mode = Mode::kServe;
    std::string root;
    std::string listen = "127.0.0.1:7017";
    std::string usersFile;
    Personality personality = Personality::kStream;
    int maxClients = 128;
    int idleTimeoutSeconds = 600;
    int shutdownGraceSeconds = 10;
    std::string printCommand;
    std::string printSpool;
    std::string submitCommand;
    std::string submitSpool;
    bool readOnly = false;
    std::string logFile;
    bool foreground = false;
};

// False with a message for an unknown option, a missing or bad value, or
// settings that contradict each other.
bool ParseOptions(const std::vector<std::string>& arguments, Options* options, std::string* error);

const char* UsageText();

}  // namespace zeld
