#include "ztsock/connection_table.h"

#include <algorithm>
#include <utility>

namespace ztsock {

uint16_t ConnectionTable::Add(std::shared_ptr<FrameStream> stream) {
    if (stream == nullptr) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    while (lowestFree_ < slots_.size() && slots_[lowestFree_] != nullptr) ++lowestFree_;
    if (lowestFree_ == slots_.size()) {
        if (slots_.size() == kLastId) return 0;
        slots_.emplace_back();
    }
    slots_[lowestFree_] = std::move(stream);
    return static_cast<uint16_t>(++lowestFree_);
}

std::shared_ptr<FrameStream> ConnectionTable::Find(uint16_t id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (id == 0 || id > slots_.size()) return nullptr;
    return slots_[id - 1];
}

std::shared_ptr<FrameStream> ConnectionTable::Remove(uint16_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (id == 0 || id > slots_.size()) return nullptr;
    lowestFree_ = std::min<size_t>(lowestFree_, id - 1);
    return std::exchange(slots_[id - 1], nullptr);
}

}  // namespace ztsock
