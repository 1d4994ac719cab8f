#include "zelft/wildcard_match.h"

#include <string>

namespace zelft {
namespace {

std::string UpperCaseAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

// The records reading: upper case, no version, and a type always present
// ("*" is "*.*", "README" is "README.").
bool FitsAsTypedName(std::string_view pattern, std::string_view name) {
    std::string typedPattern = UpperCaseAscii(pattern.substr(0, pattern.find(';')));
    if (typedPattern.find('.') == std::string::npos) typedPattern += ".*";
    std::string typedName = UpperCaseAscii(name);
    if (typedName.find('.') == std::string::npos) typedName += '.';
    return WildcardMatches(typedPattern, typedName);
}

}  // namespace

bool WildcardMatches(std::string_view pattern, std::string_view name) {
    // One backtracking point, the last "*": when the text after it fails to
    // match, that "*" takes one more character and the match goes on.
    size_t p = 0;
    size_t n = 0;
    size_t afterStar = std::string_view::npos;
    size_t starTakesUpTo = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            afterStar = ++p;
            starTakesUpTo = n;
        } else if (p < pattern.size() && (pattern[p] == '%' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (afterStar != std::string_view::npos) {
            p = afterStar;
            n = ++starTakesUpTo;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool ListedNameFits(std::string_view pattern, std::string_view localName) {
    if (localName.empty() || localName == "." || localName == "..") return false;
    if (WildcardMatches(pattern, localName)) return true;
    for (size_t semicolon = pattern.find(';'); semicolon != std::string_view::npos;
         semicolon = pattern.find(';', semicolon + 1)) {
        if (WildcardMatches(pattern.substr(0, semicolon), localName)) return true;
    }
    return FitsAsTypedName(pattern, localName);
}

}  // namespace zelft
