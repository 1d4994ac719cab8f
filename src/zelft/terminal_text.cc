#include "zelft/terminal_text.h"

#include <cstdio>

#include "zelft/listing_text.h"

namespace zelft {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the UTF-8 sequence that starts at text[at], or 0 when none
// does (a stray continuation byte, a bad lead byte, a cut-off sequence).
size_t SequenceLength(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4                                   ? 4
                                                                                           : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if (!IsContinuation(static_cast<unsigned char>(text[at + i]))) return 0;
    }
    return length;
}

}  // namespace

std::string Printable(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            shown.push_back(byte < 0x20 || byte == 0x7F ? '?' : text[at]);
            ++at;
            continue;
        }
        const size_t length = SequenceLength(text, at);
        if (length == 0) {
            // A byte of no UTF-8 character: one of 0x80 to 0x9F is a control
            // on a terminal of an 8-bit character set; the others are letters.
            shown.push_back(byte <= 0x9F ? '?' : text[at]);
            ++at;
            continue;
        }
        // U+0080 to U+009F, the C1 controls, encoded in UTF-8.
        const bool control = byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) <= 0x9F;
        if (control) {
            shown.push_back('?');
        } else {
            shown.append(text.substr(at, length));
        }
        at += length;
    }
    return shown;
}

std::string PrintableLines(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    while (!text.empty()) {
        // A line end inside a line's quoted name is the name's: it shows as
        // "??", and the line goes on.
        const size_t end = text.find("\r\n", QuotedNameLength(text));
        shown += Printable(text.substr(0, end));
        if (end == std::string_view::npos) break;
        shown.push_back('\n');
        text.remove_prefix(end + 2);
    }
    return shown;
}

void Say(std::string_view line) {
    const std::string shown = Printable(line);
    std::fprintf(stderr, "zelft: %s\n", shown.c_str());
}

}  // namespace zelft
