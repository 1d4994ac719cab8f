#include "zelft/wildcard_match.h"

#include <string>

#include "wire/wildcard.h"
#include "zelft/copy_names.h"

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
    return wire::WildcardMatch(typedPattern, typedName);
}

}  // namespace

bool ListedNameFits(std::string_view pattern, std::string_view localName) {
    if (!IsLocalFileName(localName)) return false;
    if (wire::WildcardMatch(pattern, localName)) return true;
    for (size_t semicolon = pattern.find(';'); semicolon != std::string_view::npos;
         semicolon = pattern.find(';', semicolon + 1)) {
        if (wire::WildcardMatch(pattern.substr(0, semicolon), localName)) return true;
    }
    return FitsAsTypedName(pattern, localName);
}

}  // namespace zelft
