// The server's log: one line per operation (peer address, user, operation,
// file, outcome, bytes) and a line per server event, written to a file,
// to syslog or to standard error. Safe from every connection's thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace zeld {

class OperationLog {
public:
    // Appends to `path`; null with a message when it cannot be opened.
    static std::unique_ptr<OperationLog> ToFile(const std::string& path, std::string* error);
    static std::unique_ptr<OperationLog> ToSyslog();
    static std::unique_ptr<OperationLog> ToStandardError();
    // Keeps the lines in memory (tests read them with lines()).
    static std::unique_ptr<OperationLog> InMemory();
    ~OperationLog();

    // `file` and `user` come from the client: control bytes are escaped.
    void Operation(std::string_view peer, std::string_view user, std::string_view operation, std::string_view file,
                   std::string_view outcome, uint64_t bytes);
    void Event(std::string_view text);

    std::string lines() const;

private:
    enum class Target { kFile, kSyslog, kMemory };
    OperationLog(Target target, FILE* file) : target_(target), file_(file) {}
    void Write(const std::string& line);

    Target target_;
    FILE* file_;
    bool ownsFile_ = false;
    mutable std::mutex mutex_;
    std::string memory_;
};

}  // namespace zeld
