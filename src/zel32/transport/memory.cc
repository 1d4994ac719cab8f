#include "zel32/transport/memory.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_set>

#include "zel32/protocol/context.h"

namespace {

struct BlockList {
    std::mutex mutex;
    std::unordered_set<void*> blocks;
    int allocationsBeforeFailure = -1;
};

BlockList& Blocks() {
    static BlockList* list = new BlockList;  // outlives every static destructor
    return *list;
}

}  // namespace

void* RfaAllocBlock(ZelContext* context, size_t size) {
    BlockList& list = Blocks();
    void* block = nullptr;
    {
        std::lock_guard<std::mutex> lock(list.mutex);
        if (list.allocationsBeforeFailure != 0) {
            block = std::calloc(1, size == 0 ? 1 : size);
            if (block != nullptr) {
                // Keeping the block in the list takes memory too: when that
                // fails, so does the allocation (no exception may reach the
                // host through the C interface).
                try {
                    list.blocks.insert(block);
                } catch (const std::bad_alloc&) {
                    std::free(block);
                    block = nullptr;
                }
            }
            if (block != nullptr && list.allocationsBeforeFailure > 0) --list.allocationsBeforeFailure;
        }
    }
    if (block == nullptr && context != nullptr) RfaSetError(context, RFA_ERR_NO_RESOURCES, 0);
    return block;
}

int RfaFreeBlock(ZelContext*, void* block) {
    if (block == nullptr) return 1;
    BlockList& list = Blocks();
    {
        std::lock_guard<std::mutex> lock(list.mutex);
        if (list.blocks.erase(block) == 0) return 1;
    }
    std::free(block);
    return 1;
}

size_t RfaLiveBlockCount() {
    BlockList& list = Blocks();
    std::lock_guard<std::mutex> lock(list.mutex);
    return list.blocks.size();
}

void RfaFailAllocationsAfter(int count) {
    BlockList& list = Blocks();
    std::lock_guard<std::mutex> lock(list.mutex);
    list.allocationsBeforeFailure = count;
}
