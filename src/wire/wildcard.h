// Wildcard file names, as a server matches them in listings and deletions
// and as a client checks what a listing answered: "*" stands for any run of
// characters, "%" for exactly one.
#pragma once

#include <string_view>

namespace wire {

// Whether `text` matches `pattern` as a whole. Linear in practice: one
// backtracking point, the last "*".
bool WildcardMatch(std::string_view pattern, std::string_view text);

}  // namespace wire
