// Byte strings of the tests: messages, frames and blocks, joined with + and
// shown in hex.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zeltest {

using Bytes = std::vector<uint8_t>;

// "01 00 7e": the bytes in hex, separated by spaces.
std::string Hex(const Bytes& bytes);
Bytes operator+(Bytes left, const Bytes& right);

}  // namespace zeltest
