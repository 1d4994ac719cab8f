// Texts of the remote status a server reports: the class of its MACCODE and
// the meaning of its MICCODE, for the error line zelft prints. zelft keeps
// its own table because the library exports nothing but the C interface.
#pragma once

#include <cstdint>
#include <string>

namespace zelft {

// The status carried by an error value (MACCODE << 16 | MICCODE, or the raw
// 16-bit status), described as "MACCODE 4 (File Open), MICCODE 0x32: file
// not found". False when the value holds no status.
bool DescribeRemoteStatus(int32_t errorValue, std::string* text);

// The transport's error number of a failed connect or transfer in words
// ("connection refused"), or "" when it has none.
const char* TransportErrorWords(int32_t errorDetail);

}  // namespace zelft
