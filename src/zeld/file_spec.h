// A client's file spec taken apart (directories and last name),
// from the Unix form ("dir/sub/file.txt") or the bracketed form
// ("DEV:[DIR.SUB]FILE.TXT;1"). Text only: tree.h finds the real files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zeld/personality.h"

namespace zeld {

struct FileSpec {
    std::vector<std::string> directories;  // from the root down, as written
    std::string name;                      // the last name without version; empty: a directory form
    bool namesDirectory = false;           // "[A.B]", "dir/", "": only a directory fits
    bool wildcard = false;                 // `name` holds "*" or "%"
};

enum class SpecError {
    kNone,
    kEscape,             // "..", "[-]", an absolute path: outside the root
    kSyntax,             // unbalanced brackets, empty directory names, a NUL
    kWildcardDirectory,  // wildcards or "..." in a directory part
};

// Versions (";N") are dropped from bracketed names always, and from Unix
// names in the records personality. An empty file spec names the root.
SpecError ParseFileSpec(std::string_view text, Personality personality, FileSpec* spec);

bool HasWildcard(std::string_view name);

// For logs: a client's text with control bytes, bytes above 0x7E, '\' and
// '"' escaped as \xNN (and spaces too when `escapeSpaces`, for a field that
// is not quoted), so that it can neither end its field nor move the
// terminal that shows the log.
std::string PrintableSpec(std::string_view text, bool escapeSpaces = false);

}  // namespace zeld
