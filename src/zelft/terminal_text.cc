#include "zelft/terminal_text.h"

#include <cstdio>

namespace zelft {

std::string Printable(std::string_view text, bool keepLineStructure) {
    std::string shown(text);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (keepLineStructure && (c == '\n' || c == '\t')) continue;
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return shown;
}

void Say(std::string_view line) {
    const std::string shown = Printable(line);
    std::fprintf(stderr, "zelft: %s\n", shown.c_str());
}

}  // namespace zelft
