// Text that came from a server (file names, owners, status texts) shown to a
// person. Its control characters could move the cursor, retitle the window
// or worse on a terminal: each one, and DEL, shows as '?', as ls does.
#pragma once

#include <string>
#include <string_view>

namespace zelft {

// `text` with its control characters as '?'; line feeds and tabs stay when
// `keepLineStructure` is set (a listing's own lines).
std::string Printable(std::string_view text, bool keepLineStructure = false);

// Writes "zelft: LINE" and a line end to standard error, LINE printable.
void Say(std::string_view line);

}  // namespace zelft
