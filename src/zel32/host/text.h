// Text helpers standing in for the platform's: the local time as the trace
// shows it, and upper-casing in place.
#pragma once

#include <cstddef>

namespace host {

// The current local time as "Nov 04 03:57:26 2026" (month, two-digit day,
// time, year). `out` holds at least 32 bytes.
void LocalTimeText(char* out, size_t size);

// Upper-cases the ASCII letters of a NUL-terminated text in place.
void UpperCaseInPlace(char* text);

}  // namespace host
