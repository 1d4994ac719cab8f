#include "zeld_instance.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <thread>

namespace hardening {
namespace {

constexpr auto kStartPatience = std::chrono::seconds(30);
constexpr auto kStopPatience = std::chrono::seconds(30);

bool CanConnect(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

std::string ProcDirectory(pid_t pid) { return pid == 0 ? "/proc/self" : "/proc/" + std::to_string(pid); }

}  // namespace

ZeldInstance::ZeldInstance(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}

ZeldInstance::~ZeldInstance() {
    if (process_ != nullptr) Stop();
}

pid_t ZeldInstance::pid() const { return process_ != nullptr ? process_->pid() : -1; }

bool ZeldInstance::Start(std::string* error) {
    const bool samePort = port_ != 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!samePort) port_ = static_cast<uint16_t>(zeltest::FreePort());
        std::vector<std::string> argv = {zeltest::ZeldPath(), "--root", root(), "--foreground",
                                         "--log", files_ / "zeld.log", "--listen", node()};
        argv.insert(argv.end(), arguments_.begin(), arguments_.end());
        const int errorFile = ::open((files_ / "zeld.err").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        process_ = std::make_unique<zeltest::ChildProcess>();
        const bool started = process_->Start(argv, zeltest::RunOptions{}, errorFile);
        ::close(errorFile);
        if (!started) {
            *error = "cannot start " + zeltest::ZeldPath();
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + kStartPatience;
        while (!process_->Exited() && std::chrono::steady_clock::now() < deadline) {
            if (CanConnect(port_)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        process_->Kill(SIGKILL);
        process_->Finish();
        *error = "zeld did not start: " + errors() + log();
        if (samePort) return false;  // the port must stay: no second try elsewhere
    }
    return false;
}

void ZeldInstance::Kill() {
    if (process_ == nullptr) return;
    process_->Kill(SIGKILL);
    process_->Finish();
    process_.reset();
}

int ZeldInstance::Stop() {
    if (process_ == nullptr) return -1;
    process_->Kill(SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopPatience;
    while (!process_->Exited() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    process_->Kill(SIGKILL);
    const int exitCode = process_->Finish().exitCode;
    process_.reset();
    return exitCode;
}

bool ZeldInstance::WaitForLog(const std::string& text, std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return log().find(text) != std::string::npos; }, timeout);
}

ProcessUsage ReadUsage(pid_t pid) {
    ProcessUsage usage;
    const std::string directory = ProcDirectory(pid);
    if (DIR* fds = ::opendir((directory + "/fd").c_str())) {
        while (const dirent* entry = ::readdir(fds)) {
            if (entry->d_name[0] == '.') continue;
            ++usage.descriptors;
            char target[256];
            const ssize_t length =
                ::readlink((directory + "/fd/" + entry->d_name).c_str(), target, sizeof target - 1);
            if (length > 0 && std::string(target, static_cast<size_t>(length)).rfind("socket:", 0) == 0) {
                ++usage.sockets;
            }
        }
        ::closedir(fds);
        if (pid == 0) --usage.descriptors;  // the directory read itself
    }
    std::ifstream status(directory + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) usage.residentKiB = std::stoul(line.substr(6));
        if (line.rfind("VmHWM:", 0) == 0) usage.peakKiB = std::stoul(line.substr(6));
        if (line.rfind("Threads:", 0) == 0) usage.threads = std::stoul(line.substr(8));
    }
    return usage;
}

std::vector<std::string> StagingFiles(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (std::string(entry->d_name).rfind(".zeld-", 0) == 0) names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
    }
    return names;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::future<int32_t> StartStuckDownload(FaultRelay* relay, const Link& link, const std::string& remote,
                                        const std::string& local) {
    relay->Arm(Direction::kToClient, Fault::kStopReading, 10);
    const RfaHandle handle = link.handle();
    return std::async(std::launch::async, [handle, remote, local] {
        return RfaCopy(handle, remote.c_str(), local.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE, nullptr);
    });
}

}  // namespace hardening
