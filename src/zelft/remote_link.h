// One link to a server through the library's C interface: opens it (with
// the password from its source), starts the trace, registers the progress
// callback, describes the failures of the calls made on it, and closes it.
#pragma once

#include <zel32.h>

#include <memory>
#include <string>

#include "zelft/failure.h"

namespace zelft {

struct LinkSettings {
    std::string node;
    std::string user;
    std::string password;
    std::string traceFile;  // empty: no trace
    bool traceAppend = false;
    bool verbose = false;
};

// What the library's notification procedure was last told.
struct Notification {
    uint32_t status = 0;
    intptr_t spoolFile = 0;  // non-zero: a listing went to the file named in text
    std::string text;
};

class RemoteLink {
public:
    // Connects; null with *failure filled when the link cannot be opened or
    // the trace cannot be started.
    static std::unique_ptr<RemoteLink> Open(const LinkSettings& settings, Failure* failure);
    ~RemoteLink();
    RemoteLink(const RemoteLink&) = delete;
    RemoteLink& operator=(const RemoteLink&) = delete;

    RfaHandle handle() const { return handle_; }
    const std::string& node() const { return node_; }

    // The failure behind `result`, what an entry point returned; a Failure
    // that has not failed when the result is 0.
    Failure Check(const OperationName& operation, int32_t result) const;

    // Registers (or with null removes) the progress procedure.
    Failure SetProgress(RfaProgressProc procedure, void* context);

    // The status block of the link.
    RfaLinkStatus Look() const;

    // Lists `spec` (RfaDir with `full`). A listing that fails may have left
    // a spool file behind: it is removed.
    Failure Dir(const OperationName& operation, uint32_t full, const std::string& spec);

    // The listing text of the last RfaDir: the library's buffer or its spool
    // file, which is then removed, read or not.
    Failure TakeListing(const std::string& spec, std::string* text);

    static const Notification& lastNotification();

private:
    RemoteLink(RfaHandle handle, std::string node) : handle_(handle), node_(std::move(node)) {}

    RfaHandle handle_;
    std::string node_;
};

}  // namespace zelft
