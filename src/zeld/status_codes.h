// The Status values the server sends (MACCODE << 12 | MICCODE) and the
// mapping of a system error number to the value the client maps to
// its own error codes ("file not found", "device full", ...).
#pragma once

#include <cstdint>

namespace zeld {

// A Status value; 0 means success (no Status is sent).
using StatusValue = uint16_t;

constexpr StatusValue kOk = 0;

enum MacCode : uint16_t {
    kMacUnsupported = 2,
    kMacOpen = 4,
    kMacTransfer = 5,
    kMacFormat = 8,
    kMacInvalid = 9,
    kMacSync = 10,
};

// Operational errors; the comment gives the client's error code.
constexpr StatusValue kStatusUnspecified = 0x4000;        // 20
constexpr StatusValue kStatusBadDirectoryName = 0x401E;   // 20
constexpr StatusValue kStatusDirectoryNotFound = 0x4020;  // 5
constexpr StatusValue kStatusProtected = 0x4025;          // 6: the system refused access
constexpr StatusValue kStatusFileExists = 0x402D;         // 20
constexpr StatusValue kStatusLocked = 0x4030;             // 8
constexpr StatusValue kStatusFileNotFound = 0x4032;       // 7
constexpr StatusValue kStatusPrivilege = 0x4055;          // 18: outside the root, read-only
constexpr StatusValue kStatusDeviceFull = 0x4097;         // 17
constexpr StatusValue kStatusSpoolFailure = 0x40C6;       // 20
constexpr StatusValue kStatusBadWildcard = 0x40E4;        // 20
constexpr StatusValue kStatusEndOfFile = 0x5027;          // expected at the end of a read
constexpr StatusValue kStatusReadError = 0x505A;          // 20
constexpr StatusValue kStatusWriteError = 0x5073;         // 20
constexpr StatusValue kStatusNoResources = 0x5067;        // 11: more than the server keeps

constexpr uint16_t MacOf(StatusValue status) { return status >> 12; }
constexpr uint16_t MicOf(StatusValue status) { return status & 0x0FFF; }

// A message error: MACCODE 2, 8 or 9 with the message type and the number
// of the offending field (8 FLAGS, 10 LENGTH, 16 on: the body's fields).
constexpr StatusValue MessageError(MacCode mac, uint8_t type, uint8_t field) {
    return static_cast<StatusValue>(mac << 12 | (type & 0x3F) << 6 | (field & 0x3F));
}

// A message that came when the access was in no state to take it.
constexpr StatusValue SyncError(uint8_t type) {
    return static_cast<StatusValue>(kMacSync << 12 | (type & 0x3F) << 6);
}

// Which step failed, for the system errors whose meaning depends on it.
enum class Stage { kOpen, kRead, kWrite };

// The Status for a failed system call's errno.
StatusValue StatusForErrno(int error, Stage stage);

// A short text for the log ("file not found", "sync error").
const char* StatusText(StatusValue status);

}  // namespace zeld
