// The client's connection identifiers: 1 to 65534, the lowest free one
// handed out first, so that an identifier is reused once its connection is
// closed. 0 and 0xFFFF are never handed out (the library reads them as "no
// connection" and "connecting"). Safe to use from several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "ztsock/frame_stream.h"

namespace ztsock {

class ConnectionTable {
public:
    static constexpr uint16_t kLastId = 0xFFFE;

    // The identifier given to `stream`, or 0 when every identifier is taken.
    uint16_t Add(std::shared_ptr<FrameStream> stream);

    // The stream of `id`, or null. The caller may use it after the lock is
    // released: a Remove on another thread leaves it alive until dropped.
    std::shared_ptr<FrameStream> Find(uint16_t id) const;

    // Takes the stream of `id` out of the table (null when unknown).
    std::shared_ptr<FrameStream> Remove(uint16_t id);

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<FrameStream>> slots_;   // slots_[id - 1]
    size_t lowestFree_ = 0;                             // no free slot below this one
};

}  // namespace ztsock
