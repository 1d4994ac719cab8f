// Exit codes of zelft and the library's error codes in words: which class of
// failure (remote file, usage, connection, local file, other) each error code
// stands for, so that scripts can tell them apart.
#pragma once

#include <cstdint>

namespace zelft {

enum class ExitCode : int {
    kOk = 0,
    kRemoteFile = 1,   // the server refused or could not do it: no such file, protected, locked, ...
    kUsage = 2,        // the command line is wrong
    kConnection = 3,   // no connection, login refused, connection lost
    kLocalFile = 4,    // a local file could not be read, written or created
    kOther = 5,        // anything else: unsupported operation, protocol violation, no resources
};

// The library's error code in words; `localSide` picks the words for the
// local half of a copy where the code is shared ("file not found" is also
// "a local file could not be opened").
const char* ErrorCodeWords(int32_t errorCode, bool localSide);

// Whether the value of an error that a remote status may cause holds that
// status: not 0, and not the end of file that still ends a download whose
// local file failed (the raw status 0x5027, which comes after the error).
bool CausedByRemoteStatus(int32_t errorValue);

// Whether an error (code and value as RfaLook shows them) is about the local
// file of a copy: code 1, or code 7 not caused by a remote status.
bool IsLocalFileError(int32_t errorCode, int32_t errorValue);

// Whether a remote status can stand behind the error code, so that its
// errorValue is MACCODE << 16 | MICCODE rather than some other number.
bool MayCarryRemoteStatus(int32_t errorCode);

// The exit code for an error code and its value. A remote status in the value
// makes a file error of every code except the connection codes.
ExitCode ExitCodeFor(int32_t errorCode, int32_t errorValue);

// The outcome of several operations: the exit code of the first that failed.
inline ExitCode FirstFailure(ExitCode sofar, ExitCode next) { return sofar == ExitCode::kOk ? next : sofar; }

}  // namespace zelft
