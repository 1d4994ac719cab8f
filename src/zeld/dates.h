// Dates on the wire: "DD-MMM-YY HH:MM:SS" (18 characters, the month as JAN
// to DEC, the year modulo 100), in UTC, as the client sends an upload's
// time and as the server describes its files.
#pragma once

#include <ctime>
#include <string_view>

namespace zeld {

constexpr size_t kDateLength = 18;

// Writes the 18 characters and a NUL.
void FormatDate(time_t when, char out[kDateLength + 1]);

// A date text back to a time: years 70 to 99 are the 1900s, the others the
// 2000s. False when the text is no such date.
bool ParseDate(std::string_view text, time_t* when);

}  // namespace zeld
