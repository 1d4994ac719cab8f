// The directory listing text the library writes: a header line, directory
// lines, and one entry per file, its name quoted ('NAME', an apostrophe in
// the name doubled) followed by " -F<blocks>" for a file or " -D<blocks>"
// for a directory, or by an error line when the file could not be described.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelft {

struct ListedEntry {
    enum class Kind { kFile, kDirectory, kUnknown };
    std::string name;   // unquoted
    Kind kind = Kind::kUnknown;
    bool failed = false;  // the server reported an error for this entry
};

// The length of the quoted name `text` begins with, both apostrophes
// included; 0 when it begins with none or the name's quote is not closed.
// A name runs to its closing apostrophe, line ends in it included.
size_t QuotedNameLength(std::string_view text);

// The entries of a listing, in order.
std::vector<ListedEntry> ParseListing(std::string_view text);

// The listing with its CR LF line ends turned into LF, for printing.
std::string WithUnixLineEnds(std::string_view text);

}  // namespace zelft
