// zeld: serves a directory tree to ZEL clients as object "#17".
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "wire/message_types.h"
#include "zeld/daemon.h"
#include "zeld/file_spec.h"
#include "zeld/operation_log.h"
#include "zeld/options.h"
#include "zeld/server.h"
#include "zeld/spooler.h"
#include "zeld/tree.h"
#include "zeld/users.h"

namespace {

zeld::Server* runningServer = nullptr;

// A connection's buffers (its frame reader's, its block, its file reader's,
// its upload's: a block's size or more each) are mapped from the system one
// by one and unmapped when freed. Taken from the allocator's arenas, the
// buffers of a burst of clients stayed resident long after the clients had
// gone, how much depending on how the arenas happened to be cut up.
void MapConnectionBuffers() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(wire::kMaxBlock));
#endif
}

void OnStopSignal(int) {
    if (runningServer != nullptr) runningServer->Stop();
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "zeld: %s\n", message.c_str());
    return 1;
}

// Reads one line from standard input, without echo on a terminal.
bool ReadPassword(std::string* password) {
    const bool terminal = ::isatty(STDIN_FILENO) != 0;
    struct termios saved {};
    if (terminal) {
        std::fprintf(stderr, "Password: ");
        (void)std::fflush(stderr);  // unbuffered: nothing waits in it
        ::tcgetattr(STDIN_FILENO, &saved);
        struct termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const bool got = static_cast<bool>(std::getline(std::cin, *password));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (!password->empty() && password->back() == '\r') password->pop_back();
    return got;
}

// 0 when what was printed reached standard output (a hash written to a
// full disk is lost: that is a failure), else 1 with a message.
int PrintedOut() {
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return 0;
    return Fail("cannot write standard output");
}

// The client library sends at most 39 characters of password, and node
// name, user name and password, with a "/" between each, only in under 52:
// a long password may be one no client can log in with. The hash is made
// all the same; the warning says how much room the password leaves.
void WarnOfALongPassword(size_t length) {
    constexpr size_t kLongestSentPassword = 39;
    constexpr size_t kLongestLogin = 49;  // node name, user name and password, without the two "/"
    constexpr size_t kRoomWorthNoWarning = 30;
    const std::string characters = "a password of " + std::to_string(length) + " characters";
    if (length > kLongestSentPassword) {
        std::fprintf(stderr, "zeld: warning: %s is longer than the %zu a client of the library can send\n",
                     characters.c_str(), kLongestSentPassword);
    } else if (kLongestLogin - length < kRoomWorthNoWarning) {
        std::fprintf(stderr,
                     "zeld: warning: %s leaves %zu for node name and user name together: a client of the library "
                     "sends the three, with a '/' between each, only in under 52 characters\n",
                     characters.c_str(), kLongestLogin - length);
    }
}

int HashPassword() {
    std::string password;
    if (!ReadPassword(&password) || password.empty()) return Fail("no password given");
    WarnOfALongPassword(password.size());
    const std::string hash = zeld::HashPassword(password);
    if (hash.empty()) return Fail("cannot make a password hash");
    std::printf("%s\n", hash.c_str());
    return PrintedOut();
}

// A print or submit spooler from its command or directory; null (no
// error) when neither was given.
bool MakeSpooler(const std::string& command, const std::string& directory, const char* what,
                 std::unique_ptr<zeld::Spooler>* spooler, std::string* error) {
    if (!command.empty()) {
        std::vector<std::string> words;
        if (!zeld::SplitCommand(command, &words)) {
            *error = std::string("cannot split the ") + what + " command";
            return false;
        }
        // A relative program path is taken from here, before the daemon leaves.
        if (words[0].find('/') != std::string::npos) words[0] = zeld::AbsolutePath(words[0]);
        *spooler = zeld::Spooler::ForCommand(std::move(words));
    } else if (!directory.empty()) {
        *spooler = zeld::Spooler::ForDirectory(directory, error);
        if (*spooler == nullptr) return false;
    }
    return true;
}

// The temporary files that uploads of a killed server left in the tree are
// removed on a thread of their own while this server already serves (its
// own temporary files are locked, so it never takes them for stale ones).
// A read-only server changes nothing.
std::thread SweepStaleUploads(const zeld::Tree& tree, bool readOnly, zeld::OperationLog* log,
                              const std::atomic<bool>* stopping) {
    if (readOnly) return std::thread();
    try {
        return std::thread([&tree, log, stopping] {
            const size_t removed = tree.RemoveStaleUploads(
                [log](const std::string& path) {
                    log->Event("removed the temporary file of an unfinished upload: " + zeld::PrintableSpec(path));
                },
                stopping);
            if (removed > 0) log->Event("temporary files of unfinished uploads removed: " + std::to_string(removed));
        });
    } catch (const std::system_error&) {
        log->Event("no thread to look for the temporary files of unfinished uploads");
        return std::thread();
    }
}

int Serve(const zeld::Options& options) {
    std::string error;
    std::unique_ptr<zeld::Tree> tree = zeld::Tree::Open(options.root, options.personality, &error);
    if (tree == nullptr) return Fail(error);

    const std::string usersFile = zeld::AbsolutePath(options.usersFile);
    if (!usersFile.empty()) {
        std::vector<zeld::UserEntry> users;
        if (!zeld::LoadUsers(usersFile, &users, &error)) return Fail(error);
    }
    std::unique_ptr<zeld::Spooler> printer;
    std::unique_ptr<zeld::Spooler> submitter;
    if (!MakeSpooler(options.printCommand, options.printSpool, "print", &printer, &error) ||
        !MakeSpooler(options.submitCommand, options.submitSpool, "submit", &submitter, &error)) {
        return Fail(error);
    }
    std::unique_ptr<zeld::OperationLog> log;
    if (!options.logFile.empty()) {
        log = zeld::OperationLog::ToFile(options.logFile, &error);
        if (log == nullptr) return Fail(error);
    } else if (options.foreground) {
        log = zeld::OperationLog::ToStandardError();
    }

    std::unique_ptr<ztsock::Listener> listener = ztsock::Listener::Open(options.listen, &error);
    if (listener == nullptr) return Fail(error);
    if (usersFile.empty() && !listener->IsLoopback()) {
        return Fail("refusing to listen on " + options.listen + " without --users: only loopback addresses may "
                    "be served without passwords");
    }

    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::signal(SIGPIPE, SIG_IGN);
    // A file-size limit (RLIMIT_FSIZE) must fail the one upload with EFBIG,
    // "device full", not kill the server with every client.
    ::signal(SIGXFSZ, SIG_IGN);
    // A session holds a descriptor for each directory of the path it walks
    // (up to 65): with a soft limit of 1024, a few clients opening deep paths
    // at once would leave the others "too many open files". The soft limit
    // goes up to the hard one.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &files);
    }
    if (!options.foreground && !zeld::Daemonize(&error)) return Fail(error);
    if (log == nullptr) log = zeld::OperationLog::ToSyslog();

    zeld::ServerSettings settings;
    settings.session.tree = tree.get();
    settings.session.readOnly = options.readOnly;
    settings.session.printer = printer.get();
    settings.session.submitter = submitter.get();
    settings.session.log = log.get();
    settings.session.newFileMode = 0666 & ~mask;
    settings.usersFile = usersFile;
    settings.maxClients = options.maxClients;
    settings.idleTimeoutMs = options.idleTimeoutSeconds * 1000;
    settings.graceMs = options.shutdownGraceSeconds * 1000;

    zeld::Server server(settings, std::move(listener));
    runningServer = &server;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    std::atomic<bool> stopping{false};
    std::thread sweep = SweepStaleUploads(*tree, options.readOnly, log.get(), &stopping);
    server.Run();
    stopping = true;
    if (sweep.joinable()) sweep.join();
    runningServer = nullptr;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    zeld::Options options;
    std::string error;
    if (!zeld::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
        std::fprintf(stderr, "zeld: %s\n", error.c_str());
        return 2;
    }
    switch (options.mode) {
        case zeld::Options::Mode::kHelp:
            if (std::fputs(zeld::UsageText(), stdout) == EOF) return Fail("cannot write standard output");
            return PrintedOut();
        case zeld::Options::Mode::kVersion: std::printf("zeld %s\n", ZELD_VERSION); return PrintedOut();
        case zeld::Options::Mode::kHashPassword: return HashPassword();
        case zeld::Options::Mode::kServe: break;
    }
    MapConnectionBuffers();
    return Serve(options);
}
