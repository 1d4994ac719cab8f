#include "zelft/temporary_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zelft {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t kSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

// What the handler reads: a handler may only call async-signal-safe
// functions, so the path waits in a fixed buffer, not in a std::string.
char heldPath[PATH_MAX];
volatile sig_atomic_t holding = 0;

struct sigaction before[kSignalCount];
bool replaced[kSignalCount];

void RemoveAndDie(int signalNumber) {
    if (holding != 0) ::unlink(heldPath);
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);  // delivered when the handler returns
}

sigset_t EndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signalNumber : kEndingSignals) sigaddset(&set, signalNumber);
    return set;
}

void InstallHandlers() {
    struct sigaction removal {};
    removal.sa_handler = RemoveAndDie;
    removal.sa_mask = EndingSignals();  // one removal at a time
    for (size_t i = 0; i < kSignalCount; ++i) {
        ::sigaction(kEndingSignals[i], nullptr, &before[i]);
        replaced[i] = (before[i].sa_flags & SA_SIGINFO) != 0 || before[i].sa_handler != SIG_IGN;
        if (replaced[i]) ::sigaction(kEndingSignals[i], &removal, nullptr);
    }
}

}  // namespace

bool CreateTemporaryFile(std::string* path) {
    if (holding != 0) {
        errno = EBUSY;
        return false;
    }
    if (path->size() >= sizeof heldPath) {
        errno = ENAMETOOLONG;
        return false;
    }
    // Held back until the path is in place: a signal that came between the
    // file's creation and then would leave it behind.
    const sigset_t ending = EndingSignals();
    sigset_t mask;
    ::sigprocmask(SIG_BLOCK, &ending, &mask);
    const int fd = ::mkostemp(path->data(), O_CLOEXEC);
    const int createError = errno;
    if (fd >= 0) {
        ::close(fd);
        std::memcpy(heldPath, path->c_str(), path->size() + 1);
        holding = 1;
        InstallHandlers();
    }
    ::sigprocmask(SIG_SETMASK, &mask, nullptr);
    errno = createError;
    return fd >= 0;
}

void ForgetTemporaryFile() {
    if (holding == 0) return;
    holding = 0;
    for (size_t i = 0; i < kSignalCount; ++i) {
        if (replaced[i]) ::sigaction(kEndingSignals[i], &before[i], nullptr);
    }
}

}  // namespace zelft
