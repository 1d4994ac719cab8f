// Wildcard names of listings and deletions: "*" stands for any run of
// characters, "%" for exactly one.
#pragma once

#include <string_view>

namespace zeld {

// Whether `text` matches `pattern` as a whole. Linear in practice: one
// backtracking point, the last "*".
bool WildcardMatch(std::string_view pattern, std::string_view text);

}  // namespace zeld
