#include "zelft/password_source.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zelft {
namespace {

constexpr size_t kMostPasswordBytes = 4096;

// The terminal settings to put back when a signal ends the prompt.
int promptTerminal = -1;
struct termios savedTerminal;

void RestoreTerminalAndDie(int signalNumber) {
    if (promptTerminal >= 0) ::tcsetattr(promptTerminal, TCSAFLUSH, &savedTerminal);
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

void CutAtLineEnd(std::string* text) {
    const size_t end = text->find_first_of("\r\n");
    if (end != std::string::npos) text->resize(end);
}

// Reads until a line end, the end of input or the limit.
bool ReadLine(int fd, std::string* line) {
    line->clear();
    char c;
    for (;;) {
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0 || c == '\n' || line->size() >= kMostPasswordBytes) return true;
        line->push_back(c);
    }
}

void WriteText(int fd, const std::string& text) {
    if (::write(fd, text.data(), text.size()) < 0) {
        // Nothing to do: the prompt is a courtesy.
    }
}

}  // namespace

PasswordResult ReadPasswordFile(const std::string& path, std::string* password, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot read password file " + path + ": " + std::strerror(errno);
        return PasswordResult::kError;
    }
    const bool read = ReadLine(fd, password);
    const int readError = errno;
    ::close(fd);
    if (!read) {
        *error = "cannot read password file " + path + ": " + std::strerror(readError);
        return PasswordResult::kError;
    }
    CutAtLineEnd(password);
    return PasswordResult::kFound;
}

PasswordResult TakePasswordFromEnvironment(std::string* password) {
    char* value = std::getenv(kPasswordVariable);
    if (value == nullptr) return PasswordResult::kNone;
    *password = value;
    for (volatile char* c = value; *c != '\0'; ++c) *c = '\0';
    ::unsetenv(kPasswordVariable);
    return PasswordResult::kFound;
}

PasswordResult PromptForPassword(const std::string& prompt, std::string* password, std::string* error) {
    const int terminal = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (terminal < 0) return PasswordResult::kNone;
    if (::tcgetattr(terminal, &savedTerminal) != 0) {
        ::close(terminal);
        return PasswordResult::kNone;
    }
    struct sigaction restore {};
    restore.sa_handler = RestoreTerminalAndDie;
    sigemptyset(&restore.sa_mask);
    struct sigaction oldInterrupt {}, oldTerminate {}, oldHangup {};
    ::sigaction(SIGINT, &restore, &oldInterrupt);
    ::sigaction(SIGTERM, &restore, &oldTerminate);
    ::sigaction(SIGHUP, &restore, &oldHangup);
    promptTerminal = terminal;

    struct termios quiet = savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ICANON;
    ::tcsetattr(terminal, TCSAFLUSH, &quiet);
    WriteText(terminal, prompt);
    const bool read = ReadLine(terminal, password);
    const int readError = errno;
    ::tcsetattr(terminal, TCSAFLUSH, &savedTerminal);
    WriteText(terminal, "\n");

    promptTerminal = -1;
    ::sigaction(SIGINT, &oldInterrupt, nullptr);
    ::sigaction(SIGTERM, &oldTerminate, nullptr);
    ::sigaction(SIGHUP, &oldHangup, nullptr);
    ::close(terminal);
    if (!read) {
        *error = std::string("cannot read the password: ") + std::strerror(readError);
        return PasswordResult::kError;
    }
    CutAtLineEnd(password);
    return PasswordResult::kFound;
}

PasswordResult ObtainPassword(const std::string& passwordFile, const std::string& user, const std::string& node,
                              std::string* password, std::string* error) {
    password->clear();
    // The environment's password is wiped at the first call whatever source
    // is used, so that it never stays readable in /proc/PID/environ; it is
    // kept here for a later call that uses it.
    static std::string fromEnvironment;
    static bool inEnvironment = false;
    if (TakePasswordFromEnvironment(&fromEnvironment) == PasswordResult::kFound) inEnvironment = true;
    if (user.empty()) return PasswordResult::kNone;
    if (!passwordFile.empty()) return ReadPasswordFile(passwordFile, password, error);
    if (inEnvironment) {
        *password = fromEnvironment;
        return PasswordResult::kFound;
    }
    return PromptForPassword("Password for " + user + "@" + node + ": ", password, error);
}

}  // namespace zelft
