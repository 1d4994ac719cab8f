#include "zelft/listing_text.h"

namespace zelft {
namespace {

constexpr std::string_view kErrorMarker = "-ERRORINZEL";

// Reads a quoted name at the start of `line`; what follows the closing
// apostrophe goes to *rest. False when there is none.
bool TakeQuotedName(std::string_view line, std::string* name, std::string_view* rest) {
    const size_t length = QuotedNameLength(line);
    if (length == 0) return false;
    name->clear();
    for (size_t i = 1; i + 1 < length; ++i) {
        name->push_back(line[i]);
        if (line[i] == '\'') ++i;  // the first of a doubled apostrophe
    }
    *rest = line.substr(length);
    return true;
}

ListedEntry::Kind KindOf(std::string_view rest) {
    const size_t marker = rest.find(" -");
    if (marker == std::string_view::npos || marker + 2 >= rest.size()) return ListedEntry::Kind::kUnknown;
    switch (rest[marker + 2]) {
        case 'F': return ListedEntry::Kind::kFile;
        case 'D': return ListedEntry::Kind::kDirectory;
        default: return ListedEntry::Kind::kUnknown;
    }
}

}  // namespace

size_t QuotedNameLength(std::string_view text) {
    if (text.empty() || text.front() != '\'') return 0;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] != '\'') continue;
        if (i + 1 < text.size() && text[i + 1] == '\'') {
            ++i;  // a doubled apostrophe, one of the name
            continue;
        }
        return i + 1;
    }
    return 0;
}

std::vector<ListedEntry> ParseListing(std::string_view text) {
    std::vector<ListedEntry> entries;
    while (!text.empty()) {
        // A quoted name runs to its closing apostrophe, line ends in the
        // name included (a Unix file name may hold one); the rest of its
        // line follows it.
        ListedEntry entry;
        std::string_view afterName;
        const bool named = TakeQuotedName(text, &entry.name, &afterName);
        const std::string_view from = named ? afterName : text;
        const size_t end = from.find('\n');
        std::string_view line = from.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : from.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        if (named) {
            entry.failed = line.find(kErrorMarker) != std::string_view::npos;
            entry.kind = entry.failed ? ListedEntry::Kind::kUnknown : KindOf(line);
            entries.push_back(std::move(entry));
        } else if (line.find(kErrorMarker) != std::string_view::npos && !entries.empty()) {
            entries.back().failed = true;
        }
    }
    return entries;
}

std::string WithUnixLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace zelft
