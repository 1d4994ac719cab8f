#include "zeld/operation_log.h"

#include <syslog.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "zeld/file_spec.h"

namespace zeld {

std::unique_ptr<OperationLog> OperationLog::ToFile(const std::string& path, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "ae");
    if (file == nullptr) {
        *error = "cannot open the log " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<OperationLog> log(new OperationLog(Target::kFile, file));
    log->ownsFile_ = true;
    return log;
}

std::unique_ptr<OperationLog> OperationLog::ToSyslog() {
    ::openlog("zeld", LOG_PID, LOG_DAEMON);
    return std::unique_ptr<OperationLog>(new OperationLog(Target::kSyslog, nullptr));
}

std::unique_ptr<OperationLog> OperationLog::ToStandardError() {
    return std::unique_ptr<OperationLog>(new OperationLog(Target::kFile, stderr));
}

std::unique_ptr<OperationLog> OperationLog::InMemory() {
    return std::unique_ptr<OperationLog>(new OperationLog(Target::kMemory, nullptr));
}

OperationLog::~OperationLog() {
    if (ownsFile_) (void)std::fclose(file_);  // the lines went out with their flushes
    if (target_ == Target::kSyslog) ::closelog();
}

void OperationLog::Operation(std::string_view peer, std::string_view user, std::string_view operation,
                             std::string_view file, std::string_view outcome, uint64_t bytes) {
    std::string line = "peer=" + std::string(peer) + " user=" + PrintableSpec(user, true) + " op=" +
                       std::string(operation) + " file=\"" + PrintableSpec(file) + "\" outcome=" +
                       std::string(outcome) + " bytes=" + std::to_string(bytes);
    Write(line);
}

void OperationLog::Event(std::string_view text) { Write(std::string(text)); }

std::string OperationLog::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return memory_;
}

void OperationLog::Write(const std::string& line) {
    if (target_ == Target::kSyslog) {
        ::syslog(LOG_INFO, "%s", line.c_str());
        return;
    }
    char stamp[32];
    const time_t now = ::time(nullptr);
    struct tm parts;
    gmtime_r(&now, &parts);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &parts);
    std::lock_guard<std::mutex> lock(mutex_);
    if (target_ == Target::kMemory) {
        memory_ += line + "\n";
        return;
    }
    std::fprintf(file_, "%s %s\n", stamp, line.c_str());
    // A log that cannot be written (a full disk) does not stop the serving:
    // the line is lost, the next one tries again.
    if (std::fflush(file_) != 0) std::clearerr(file_);
}

}  // namespace zeld
