// The argument checks of the entry points: each stores its argument into
// the link field only when it passes; a failed check makes the entry point
// return 4.
#pragma once

#include <cstddef>
#include <cstdint>

// A name of 1 to 255 characters, copied with its NUL into a 256-byte field.
// Longer names are refused rather than cut.
bool RfaCheckName(char* field, const char* name);
// As RfaCheckName, but an empty text passes (a directory spec).
bool RfaCheckSpecification(char* field, const char* name);
// A flag: exactly 0 or 1.
bool RfaCheckFlag(uint32_t* field, uint32_t value);
// A 16-bit count: not 0.
bool RfaCheckCount(uint16_t* field, uint16_t value);
// A NUL-terminated text that fits a field of `size` bytes.
bool RfaFitsField(const char* text, size_t size);
