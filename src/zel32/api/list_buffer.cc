#include "zel32/api/list_buffer.h"

namespace {

std::mutex bufferMutex;
RfaListBufferInfo listBuffer{nullptr, 0};

}  // namespace

void RfaRegisterListBuffer(char* buffer, uint32_t size) {
    std::lock_guard<std::mutex> lock(bufferMutex);
    listBuffer = RfaListBufferInfo{buffer, size};
}

RfaListBufferInfo RfaListBuffer() {
    std::lock_guard<std::mutex> lock(bufferMutex);
    return listBuffer;
}

RfaHeldListBuffer::RfaHeldListBuffer() : lock_(bufferMutex), info_(listBuffer) {
    if (info_.buffer == nullptr) info_.size = 0;
}
