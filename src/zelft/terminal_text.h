// Text that came from a server (file names, owners, status texts) shown to a
// person. Its control characters could move the cursor, retitle the window
// or worse on a terminal: each one, DEL and the 8-bit controls show as '?',
// as ls does.
#pragma once

#include <string>
#include <string_view>

namespace zelft {

// `text` with its control characters as '?': the bytes below 0x20, DEL, the
// C1 controls (U+0080 to U+009F in UTF-8) and the bytes 0x80 to 0x9F that
// belong to no UTF-8 character. Other UTF-8 characters, and bytes above
// 0x9F, are left to the terminal's character set.
std::string Printable(std::string_view text);
// A listing's text (lines ended by CR LF) as lines ended by LF, each line
// printable: a line feed or tab inside a name shows as '?' too, and a CR LF
// inside a quoted name as "??" (listing_text.h).
std::string PrintableLines(std::string_view text);

// Writes "zelft: LINE" and a line end to standard error, LINE printable.
void Say(std::string_view line);

}  // namespace zelft
