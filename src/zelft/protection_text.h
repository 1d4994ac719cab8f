// File protection as text: "S:RWED,O:RWED,G:RE,W:" lists, for the system,
// owner, group and world classes, the access each is granted (Read, Write,
// Execute, Delete). The library's record holds the opposite: a set bit
// denies (0x01 read, 0x02 write, 0x04 execute, 0x08 delete).
#pragma once

#include <zel32.h>

#include <string>
#include <string_view>

namespace zelft {

// The classes present in the record, in the order S, O, G, W.
std::string FormatProtection(const RfaProtectionRecord& record);

// Parses a protection text into a zeroed record: each class at most once, in
// any order, letters from RWED in either case. Classes left out are not
// present in the record (a set leaves them as they are). False with a
// message when the text is malformed.
bool ParseProtection(std::string_view text, RfaProtectionRecord* record, std::string* error);

}  // namespace zelft
