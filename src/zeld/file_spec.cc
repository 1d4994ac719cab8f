#include "zeld/file_spec.h"

#include <cstdio>

namespace zeld {
namespace {

constexpr std::string_view kRootDirectory = "000000";

bool IsEscape(std::string_view part) { return part == ".." || part == "-"; }

// Characters no name may hold: they would change how the system walks.
bool HasForbiddenByte(std::string_view text) {
    return text.find('\0') != std::string_view::npos || text.find('/') != std::string_view::npos;
}

std::string_view WithoutVersion(std::string_view name) {
    const size_t semicolon = name.find(';');
    return semicolon == std::string_view::npos ? name : name.substr(0, semicolon);
}

SpecError SetName(std::string_view name, FileSpec* spec) {
    if (name == "." || name == "..") return SpecError::kEscape;
    spec->name = std::string(name);
    spec->wildcard = HasWildcard(name);
    spec->namesDirectory = name.empty();
    return SpecError::kNone;
}

SpecError ParseBracketed(std::string_view text, size_t open, FileSpec* spec) {
    const char closing = text[open] == '[' ? ']' : '>';
    const size_t close = text.find(closing, open + 1);
    if (close == std::string_view::npos) return SpecError::kSyntax;
    // What stands before the bracket is a device (or node::device): ignored.
    std::string_view inside = text.substr(open + 1, close - open - 1);
    std::string_view name = text.substr(close + 1);
    if (name.find_first_of("[]<>") != std::string_view::npos) return SpecError::kSyntax;

    if (inside.find("...") != std::string_view::npos) return SpecError::kWildcardDirectory;
    if (!inside.empty() && inside.front() == '.') inside.remove_prefix(1);  // "[.A]": the root is the default
    std::vector<std::string> parts;
    while (!inside.empty()) {
        const size_t dot = inside.find('.');
        const std::string_view part = inside.substr(0, dot);
        if (IsEscape(part)) return SpecError::kEscape;
        if (part.empty() || HasForbiddenByte(part)) return SpecError::kSyntax;
        if (HasWildcard(part)) return SpecError::kWildcardDirectory;
        parts.emplace_back(part);
        if (dot == std::string_view::npos) break;
        inside.remove_prefix(dot + 1);
        if (inside.empty()) return SpecError::kSyntax;  // "[A.]"
    }
    // "[000000]" is the root; "[000000.A]" is "[A]".
    if (!parts.empty() && parts.front() == kRootDirectory) parts.erase(parts.begin());
    spec->directories = std::move(parts);

    name = WithoutVersion(name);
    if (HasForbiddenByte(name)) return SpecError::kSyntax;
    return SetName(name, spec);
}

SpecError ParseUnix(std::string_view text, Personality personality, FileSpec* spec) {
    if (!text.empty() && text.front() == '/') return SpecError::kEscape;
    if (text.find('\0') != std::string_view::npos) return SpecError::kSyntax;
    std::vector<std::string> parts;
    bool trailingSlash = false;
    while (!text.empty()) {
        const size_t slash = text.find('/');
        const std::string_view part = text.substr(0, slash);
        if (part == "..") return SpecError::kEscape;
        if (!part.empty() && part != ".") parts.emplace_back(part);
        if (slash == std::string_view::npos) break;
        text.remove_prefix(slash + 1);
        trailingSlash = text.empty();
    }
    std::string_view name;
    std::string last;
    if (!parts.empty() && !trailingSlash) {
        last = std::move(parts.back());
        parts.pop_back();
        name = last;
        if (personality == Personality::kRecords) name = WithoutVersion(name);
    }
    for (const std::string& part : parts) {
        if (HasWildcard(part)) return SpecError::kWildcardDirectory;
    }
    spec->directories = std::move(parts);
    return SetName(name, spec);
}

// The bracketed form "[DIR.SUB]NAME" (or "<DIR.SUB>NAME") begins the name
// or follows a device ("DEV:", "NODE::DEV:"). A bracket anywhere else is
// part of a name: taking "tmp/old[1]" for the directory "1" would act on
// another file.
bool OpensDirectories(std::string_view text, size_t open) {
    if (open == 0) return true;
    const std::string_view device = text.substr(0, open);
    return device.back() == ':' && device.find('/') == std::string_view::npos;
}

}  // namespace

bool HasWildcard(std::string_view name) { return name.find_first_of("*%") != std::string_view::npos; }

SpecError ParseFileSpec(std::string_view text, Personality personality, FileSpec* spec) {
    *spec = FileSpec{};
    const size_t open = text.find_first_of("[<");
    const bool bracketed = open != std::string_view::npos && OpensDirectories(text, open);
    const SpecError error = bracketed ? ParseBracketed(text, open, spec) : ParseUnix(text, personality, spec);
    if (error != SpecError::kNone) *spec = FileSpec{};
    return error;
}

std::string PrintableSpec(std::string_view text, bool escapeSpaces) {
    std::string printable;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || byte == '\\' || byte == '"' || (escapeSpaces && byte == ' ')) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            printable += escape;
        } else {
            printable += c;
        }
    }
    return printable;
}

}  // namespace zeld
