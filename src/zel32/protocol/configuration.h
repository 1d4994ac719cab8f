// The Configuration message: what the library is and can do (a process-wide
// template), and the peer's buffer size, system and capabilities decoded
// into the context.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/fields.h"

struct ZelContext;

constexpr size_t kConfigBodySize = 19;
constexpr size_t kSyscapOffset = 9;  // SYSCAP's place in the body

int ZelEncodeConfiguration(ZelContext* context, wire::Writer& body);
int ZelDecodeConfiguration(ZelContext* context, wire::Reader& body);

// The template as it stands (BUFSIZ as initialised).
void ZelConfigTemplate(uint8_t out[kConfigBodySize]);
// Widens the template's SYSCAP after the peer refused `attempts` Configuration
// messages; the change holds for every later link of the process.
void ZelRaiseConfigCapabilities(int attempts);

// Test hook: puts the template back as it is at load.
void ZelResetConfigTemplate();

// Capability bits of a SYSCAP field (bit k of byte j is capability 7j + k).
inline bool ZelHasCapability(const uint8_t* syscap, unsigned bit) {
    return (syscap[bit / 7] & (1u << (bit % 7))) != 0;
}
