// The transport's error numbers: the BSD socket numbers that callers of
// ztsock see, translated from the errno values of this system's calls.
#pragma once

#include <cstdint>

#include "ztsock/ztsock.h"

namespace ztsock {

// BSD numbers the transport reports besides those named in ztsock.h.
constexpr int16_t kErrInvalidArgument = 22;   // a field too long for a CONNECT
constexpr int16_t kErrNotSocket = 38;         // an unknown connection identifier
constexpr int16_t kErrMessageSize = 40;       // a send longer than a frame can carry

// Where a call writes its error number: the caller's, or a scratch one when
// the caller passed none.
inline int16_t* ErrorSlot(int16_t* errorNumber) {
    static thread_local int16_t unused;
    return errorNumber != nullptr ? errorNumber : &unused;
}

// The BSD number closest to `posixError`, or kErrOther.
int16_t BsdErrorNumber(int posixError);

}  // namespace ztsock
