#include "zel32/api/session_list.h"

#include <mutex>

#include "zel32/api/context_lifecycle.h"
#include "zel32/protocol/context.h"
#include "zel32/transport/memory.h"

namespace {

struct ZelSessionNode {
    uint32_t handle;
    ZelContext* context;
    ZelSessionNode* next;
};

struct ZelSessionList {
    std::mutex mutex;
    ZelSessionNode* head = nullptr;
    ZelSessionNode* tail = nullptr;
};

ZelSessionList& Sessions() {
    static ZelSessionList* list = new ZelSessionList;
    return *list;
}

}  // namespace

ZelContext* RfaRegisterContext(RfaLink* link) {
    auto* node = static_cast<ZelSessionNode*>(RfaAllocBlock(nullptr, sizeof(ZelSessionNode)));
    if (node == nullptr) return nullptr;
    ZelContext* context = RfaCreateContext(link);
    if (context == nullptr) {
        RfaFreeBlock(nullptr, node);
        return nullptr;
    }
    node->handle = link->handle;
    node->context = context;
    ZelSessionList& list = Sessions();
    std::lock_guard<std::mutex> lock(list.mutex);
    if (list.tail == nullptr) {
        list.head = list.tail = node;
    } else {
        list.tail->next = node;
        list.tail = node;
    }
    return context;
}

int RfaUnregisterContext(ZelContext*, uint32_t handle) {
    ZelSessionList& list = Sessions();
    ZelSessionNode* node = nullptr;
    {
        std::lock_guard<std::mutex> lock(list.mutex);
        ZelSessionNode* previous = nullptr;
        for (node = list.head; node != nullptr && node->handle != handle; node = node->next) previous = node;
        if (node == nullptr) return -1;
        if (previous == nullptr) {
            list.head = node->next;
        } else {
            previous->next = node->next;
        }
        if (list.tail == node) list.tail = previous;
    }
    RfaFreeBlock(nullptr, node);
    return 1;
}

ZelContext* RfaFindContext(uint32_t handle) {
    if (handle == 0) return nullptr;
    ZelSessionList& list = Sessions();
    std::lock_guard<std::mutex> lock(list.mutex);
    for (ZelSessionNode* node = list.head; node != nullptr; node = node->next) {
        if (node->handle == handle) return node->context;
    }
    return nullptr;
}

int RfaSessionCount() {
    ZelSessionList& list = Sessions();
    std::lock_guard<std::mutex> lock(list.mutex);
    int count = 0;
    for (ZelSessionNode* node = list.head; node != nullptr; node = node->next) ++count;
    return count;
}
