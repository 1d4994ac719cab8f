// What the hardening tests share: a zeld process that keeps its port and
// its tree across a kill and a restart, with its log and standard error in
// files (sanitizer reports land there); the use of descriptors and memory
// of a process as /proc shows it; and a host program's link helpers.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "fault_relay.h"
#include "support/host_link.h"
#include "support/test_paths.h"
#include "support/zeld_process.h"
#include "zel32.h"

namespace hardening {

using zeltest::ReadFile;
using zeltest::ScratchDir;
using zeltest::WriteFile;

class ZeldInstance {
public:
    // `arguments`: more zeld options (--max-clients, --idle-timeout, ...).
    explicit ZeldInstance(std::vector<std::string> arguments = {});
    ~ZeldInstance();
    ZeldInstance(const ZeldInstance&) = delete;
    ZeldInstance& operator=(const ZeldInstance&) = delete;

    // Starts zeld and waits until it takes connections: the first time on a
    // free port, later on the same one. False with a message.
    bool Start(std::string* error);
    // SIGKILL, and waits for it to be gone.
    void Kill();
    // SIGTERM, and waits (SIGKILL after 30 s). Its exit code, 128 + the
    // signal when a signal ended it.
    int Stop();

    pid_t pid() const;
    uint16_t port() const { return port_; }
    std::string node() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::string& root() const { return root_.path(); }
    std::string Path(const std::string& name) const { return root_ / name; }
    std::string log() const { return ReadFile(files_ / "zeld.log"); }
    // What zeld wrote on standard error (every run), e.g. sanitizer reports.
    std::string errors() const { return ReadFile(files_ / "zeld.err"); }
    // Waits until the log holds `text`; false after `timeout`.
    bool WaitForLog(const std::string& text, std::chrono::milliseconds timeout) const;

private:
    std::vector<std::string> arguments_;
    ScratchDir root_;
    ScratchDir files_;
    std::unique_ptr<zeltest::ChildProcess> process_;
    uint16_t port_ = 0;
};

// A process's use of resources, as /proc/PID shows it.
struct ProcessUsage {
    size_t descriptors = 0;  // entries of /proc/PID/fd
    size_t sockets = 0;      // of them, sockets
    size_t residentKiB = 0;  // VmRSS
    size_t peakKiB = 0;      // VmHWM, the most it was resident
    size_t threads = 0;
};
// pid 0: this process.
ProcessUsage ReadUsage(pid_t pid = 0);

// The names of the server's temporary files (".zeld-...") in `directory`.
std::vector<std::string> StagingFiles(const std::string& directory);

// Waits until `condition` holds, checking every 20 ms; false after `timeout`.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// Sizes of the load tests: full in the normal build; lighter where the
// sanitizers make every byte and every thread many times dearer (the test
// that uses a lighter size says so).
constexpr bool kSanitizedBuild =
#if defined(ZEL_SANITIZED_BUILD)
    true;
#else
    false;
#endif
// Memory figures (VmRSS, VmHWM) tell of leaks only with the system's
// allocator: a sanitizer's allocator holds freed memory back on purpose.
// There the leak checker at each process's exit (AddressSanitizer's) takes
// their place.
constexpr bool kMemoryFiguresTell = !kSanitizedBuild;

// A link of a host program, and the notification procedure the links use.
using Link = zeltest::HostLink;
using zeltest::IgnoreNotification;

// Starts an image download of `remote` into `local` over `link`, a link
// through `relay`, which stops reading what the server sends a few frames
// later: the server is left waiting in a send. The copy's result comes
// once the client gives up.
std::future<int32_t> StartStuckDownload(FaultRelay* relay, const Link& link, const std::string& remote,
                                        const std::string& local);

}  // namespace hardening
