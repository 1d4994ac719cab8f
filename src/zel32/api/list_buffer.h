// The caller's list buffer, registered by ZelInit: where directory listings
// go, and what a failed operation's notification blanks. Process-wide.
#pragma once

#include <cstdint>

struct RfaListBufferInfo {
    char* buffer;
    uint32_t size;
};

void RfaRegisterListBuffer(char* buffer, uint32_t size);
RfaListBufferInfo RfaListBuffer();
