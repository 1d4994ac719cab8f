#include "zel32/api/list_buffer.h"

#include <mutex>

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
