// The caller's list buffer, registered by ZelInit: where directory listings
// go, and what a failed operation's notification blanks. Process-wide.
#pragma once

#include <cstdint>
#include <mutex>

struct RfaListBufferInfo {
    char* buffer;
    uint32_t size;
};

void RfaRegisterListBuffer(char* buffer, uint32_t size);
RfaListBufferInfo RfaListBuffer();

// The registered buffer, held for as long as this object lives: a ZelInit
// on another thread waits meanwhile, so that the buffer it replaces (which
// its caller may free as soon as ZelInit returns) is not written or read
// while that happens. Without a buffer, size is 0.
class RfaHeldListBuffer {
public:
    RfaHeldListBuffer();
    const RfaListBufferInfo& info() const { return info_; }

private:
    std::unique_lock<std::mutex> lock_;
    RfaListBufferInfo info_;
};
