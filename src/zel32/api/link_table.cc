#include "zel32/api/link_table.h"

#include <cstring>
#include <mutex>

#include "zel32/api/link.h"
#include "zel32/transport/memory.h"

namespace {

std::mutex tableMutex;
RfaLink* slots[kMaxLinks + 1];  // slot 0 is never used

}  // namespace

uint32_t RfaAllocateSlot() {
    std::lock_guard<std::mutex> lock(tableMutex);
    for (uint32_t handle = 1; handle <= kMaxLinks; ++handle) {
        if (slots[handle] != nullptr) continue;
        auto* link = static_cast<RfaLink*>(RfaAllocBlock(nullptr, sizeof(RfaLink)));
        if (link == nullptr) return 0;
        link->memoryHandle = link;
        link->handle = handle;
        slots[handle] = link;
        return handle;
    }
    return 0;
}

int RfaFreeSlot(uint32_t handle) {
    RfaLink* link;
    {
        std::lock_guard<std::mutex> lock(tableMutex);
        if (handle == 0 || handle > kMaxLinks || slots[handle] == nullptr) return 0;
        link = slots[handle];
        slots[handle] = nullptr;
    }
    RfaFreeBlock(nullptr, link->memoryHandle);
    return 1;
}

bool RfaValidHandle(uint32_t handle) { return RfaLinkAt(handle) != nullptr; }

RfaLink* RfaLinkAt(uint32_t handle) {
    std::lock_guard<std::mutex> lock(tableMutex);
    if (handle == 0 || handle > kMaxLinks) return nullptr;
    return slots[handle];
}

char* RfaIoBuffer(const RfaLink* link) {
    char* buffer;
    std::memcpy(&buffer, link->status.name1, sizeof buffer);
    return buffer;
}

void RfaSetIoBuffer(RfaLink* link, const char* buffer) {
    std::memcpy(link->status.name1, &buffer, sizeof buffer);
}
