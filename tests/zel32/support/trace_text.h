// The texts of a trace file as the tests expect them: the banner, the
// block of a message sent or received, the send block lines, and the trace
// with its varying times masked; and starting and stopping a trace.
#pragma once

#include <cstdint>
#include <regex>
#include <string>

#include "zel32.h"

namespace zeltest {

// The time of each block varies: it is checked for its form and replaced by "TIME".
inline std::string Masked(const std::string& trace) {
    static const std::regex kTime(R"( on [A-Z][a-z]{2} \d{2} \d{2}:\d{2}:\d{2} \d{4} \(Operation = )");
    return std::regex_replace(trace, kTime, " on TIME (Operation = ");
}

inline std::string Banner(RfaHandle handle) {
    return "\r\n VAZeza File Transfer Utility Trace - RFA Handle: " + std::to_string(handle) + "\r\n";
}

inline std::string Sent(const std::string& type, const std::string& blocked, int length, const std::string& operation) {
    return "\r\n\r\n-> TRANSMITTED " + type + " message (" + blocked + ") to node NODE (Session 0)\r\n    length = " +
           std::to_string(length) + " on TIME (Operation = " + operation + ")\r\n";
}

inline std::string Received(const std::string& type, const std::string& blocked, int length, const std::string& operation) {
    return "\r\n\r\n-> RECEIVED " + type + " message (" + blocked + ") from node NODE (Session 0)\r\n    length = " +
           std::to_string(length) + " on TIME (Operation = " + operation + ")\r\n";
}

inline std::string SentOverLink(int line, int bytes) {
    return line == 1 ? "\r\n\r\n    MSG(S) SENT OVER LINK (1) -           # bytes = " + std::to_string(bytes)
                     : "\r\n\r\n MSG(S) SENT OVER LINK (2) -           # bytes = " + std::to_string(bytes);
}

inline int32_t StartTrace(RfaHandle handle, const std::string& path, bool append) {
    uintptr_t words[3] = {1, reinterpret_cast<uintptr_t>(path.c_str()), append ? 1u : 0u};
    return RfaIoctl(handle, RFA_IOCTL_TRACE, words);
}

inline int32_t StopTrace(RfaHandle handle) {
    uintptr_t words[3] = {0, 0, 0};
    return RfaIoctl(handle, RFA_IOCTL_TRACE, words);
}

}  // namespace zeltest
