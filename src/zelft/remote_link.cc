#include "zelft/remote_link.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "zelft/terminal_text.h"

namespace zelft {
namespace {

// The library joins node name, user name and password into one string, a
// "/" between each, and refuses it (error 4, as for a bad node name) from
// 52 characters on. A password of ordinary length can reach that.
constexpr size_t kLongestConnectString = 51;

// The text buffer registered with ZelInit: listings that fit land here.
constexpr uint32_t kListBufferSize = 65536;
char listBuffer[kListBufferSize];
bool initialised = false;

Notification notification;

int32_t OnNotify(uint32_t, uint32_t status, intptr_t spoolFile, const char* text) {
    notification.status = status;
    notification.spoolFile = spoolFile;
    notification.text = text != nullptr ? text : "";
    return 0;
}

// Removes the spool file the last notification named, if any.
void RemoveSpoolFile() {
    if (notification.spoolFile == 0) return;
    ::unlink(notification.text.c_str());
    notification.spoolFile = 0;
}

template <size_t N>
bool CopyField(char (&field)[N], const std::string& value) {
    if (value.size() >= N) return false;
    std::memcpy(field, value.c_str(), value.size() + 1);
    return true;
}

// The trace file must exist before the library appends to it.
bool PrepareTraceFile(const std::string& path, bool append, std::string* error) {
    if (!append) return true;
    FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        *error = "cannot open trace file " + path + ": " + std::strerror(errno);
        return false;
    }
    if (std::fclose(file) != 0) {
        *error = "cannot open trace file " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

const Notification& RemoteLink::lastNotification() { return notification; }

std::unique_ptr<RemoteLink> RemoteLink::Open(const LinkSettings& settings, Failure* failure) {
    if (!initialised) {
        ZelInit(listBuffer, kListBufferSize);
        initialised = true;
    }
    const std::string target = (settings.user.empty() ? "" : settings.user + "@") + settings.node;
    // Without a user name the library sends the node name alone (a node
    // name too long for that is its error 4, told below).
    const size_t joined = settings.node.size() + 1 + settings.user.size() + 1 + settings.password.size();
    if (!settings.user.empty() && joined > kLongestConnectString) {
        *failure = UsageFailure("connect " + target +
                                ": node name, user name and password, with a '/' between each, must be under " +
                                std::to_string(kLongestConnectString + 1) + " characters: here " +
                                std::to_string(settings.node.size()) + " + " + std::to_string(settings.user.size()) +
                                " + " + std::to_string(settings.password.size()) + " + 2 = " + std::to_string(joined));
        return nullptr;
    }
    RfaOpenLinkParams params{};
    params.notify = OnNotify;
    if (!CopyField(params.nodeName, settings.node)) {
        *failure = UsageFailure("node name longer than 255 characters: " + settings.node);
        return nullptr;
    }
    if (!CopyField(params.userName, settings.user) || !CopyField(params.password, settings.password)) {
        *failure = UsageFailure("user name and password may have at most 39 characters each");
        return nullptr;
    }
    if (settings.verbose) Say("connecting to " + target);
    const int32_t result = RfaOpenLink(&params);
    std::memset(params.password, 0, sizeof params.password);
    if (result != RFA_OK) {
        RfaLinkStatus status{};
        if (params.handle != 0) RfaLook(params.handle, &status, sizeof status);
        if (result == RFA_ERR_LOCAL_IO) {
            // At the open, error 1 is no local file's: the server's
            // Configuration lacks a capability the library needs.
            *failure = OtherFailure("connect " + target + ": the server lacks capabilities zelft needs (error 1)");
        } else {
            *failure = LinkFailure(OperationName{"connect", target}, result, status);
            if (result == RFA_ERR_BAD_ARGUMENT) failure->message += " - check the node name";
        }
        if (params.handle != 0) RfaCloseLink(params.handle);
        return nullptr;
    }
    std::unique_ptr<RemoteLink> link(new RemoteLink(params.handle, settings.node));
    if (settings.verbose) Say("connected to " + target + " (link " + std::to_string(link->handle_) + ")");

    if (!settings.traceFile.empty()) {
        std::string error;
        if (!PrepareTraceFile(settings.traceFile, settings.traceAppend, &error)) {
            *failure = LocalFailure(error);
            return nullptr;
        }
        uintptr_t block[3] = {1, reinterpret_cast<uintptr_t>(settings.traceFile.c_str()),
                              settings.traceAppend ? 1u : 0u};
        const int32_t traced = RfaIoctl(link->handle_, RFA_IOCTL_TRACE, block);
        *failure = link->Check(OperationName{"trace", settings.traceFile, true}, traced);
        if (failure->failed()) return nullptr;
    }
    return link;
}

RemoteLink::~RemoteLink() {
    const int32_t result = RfaCloseLink(handle_);
    if (result != RFA_OK && result != -1) {
        std::fprintf(stderr, "zelft: closing the link: error %d (the trace file may be incomplete)\n", result);
    }
}

RfaLinkStatus RemoteLink::Look() const {
    RfaLinkStatus status{};
    RfaLook(handle_, &status, sizeof status);
    return status;
}

Failure RemoteLink::Check(const OperationName& operation, int32_t result) const {
    if (result == RFA_OK) return Failure{};
    return LinkFailure(operation, result, Look());
}

Failure RemoteLink::SetProgress(RfaProgressProc procedure, void* context) {
    uintptr_t block[2] = {reinterpret_cast<uintptr_t>(procedure), reinterpret_cast<uintptr_t>(context)};
    return Check(OperationName{"progress", ""}, RfaIoctl(handle_, RFA_IOCTL_PROGRESS, block));
}

Failure RemoteLink::Dir(const OperationName& operation, uint32_t full, const std::string& spec) {
    // A call that notifies nothing (it returns -1) must not leave an
    // earlier listing's notification to be taken for its own.
    notification = Notification{};
    const int32_t result = RfaDir(handle_, full, spec.c_str());
    // The library names its spool file after a failure too.
    if (result != RFA_OK) RemoveSpoolFile();
    return Check(operation, result);
}

Failure RemoteLink::TakeListing(const std::string& spec, std::string* text) {
    if (notification.spoolFile == 0) {
        *text = std::string(listBuffer, ::strnlen(listBuffer, kListBufferSize));
        return Failure{};
    }
    const std::string spoolName = notification.text;
    std::ifstream in(spoolName, std::ios::binary);
    std::ostringstream content;
    if (in) content << in.rdbuf();
    RemoveSpoolFile();
    if (!in) return LocalFailure("dir " + spec + ": cannot read the listing's spool file " + spoolName);
    *text = content.str();
    return Failure{};
}

}  // namespace zelft
