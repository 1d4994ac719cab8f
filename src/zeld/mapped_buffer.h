// A large buffer mapped from the system for as long as it is held, and
// given back to it when released. Per-connection buffers are taken this way
// rather than from the allocator: after a burst of clients the allocator
// would keep their freed buffers resident in its arenas.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace zeld {

class MappedBuffer {
public:
    MappedBuffer() = default;
    ~MappedBuffer() { Release(); }
    MappedBuffer(const MappedBuffer&) = delete;
    MappedBuffer& operator=(const MappedBuffer&) = delete;

    // Maps `size` bytes (zero-filled) unless a buffer is held; false when
    // the system has no memory for it.
    bool Acquire(size_t size) {
        if (data_ != nullptr) return true;
        void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) return false;
        data_ = static_cast<uint8_t*>(mapped);
        size_ = size;
        return true;
    }

    void Release() {
        if (data_ != nullptr) ::munmap(data_, size_);
        data_ = nullptr;
        size_ = 0;
    }

    uint8_t* data() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace zeld
