// Cuts an open file into the records of a download or a record read:
// pieces of a fixed size (or as large as a message carries), or lines, cut
// where a line is longer than a record may be. Fixed memory: one buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zeld/personality.h"

namespace zeld {

class RecordReader {
public:
    RecordReader() = default;
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // Reads `fd` from its current offset; records follow `presentation`.
    void Start(int fd, const Presentation& presentation);

    enum class Result { kRecord, kEnd, kError };
    // The next record, at most `capacity` bytes, into `out`. kError leaves
    // the system's errno in *error.
    Result Next(uint8_t* out, size_t capacity, size_t* length, int* error);

    // The end of the file has been seen and every byte handed out: the next
    // call would give kEnd.
    bool exhausted() const { return atEnd_ && start_ == end_; }

    // File bytes consumed so far.
    uint64_t consumed() const { return consumed_; }

private:
    // Reads more behind what is buffered; false on a read error.
    bool Fill(int* error);
    Result NextPiece(uint8_t* out, size_t capacity, size_t* length, int* error);
    Result NextLine(uint8_t* out, size_t capacity, size_t* length, int* error);

    static constexpr size_t kBufferSize = 65536;
    int fd_ = -1;
    Presentation presentation_;
    uint64_t consumed_ = 0;
    bool atEnd_ = false;
    size_t start_ = 0;  // buffered bytes run from start_ to end_
    size_t end_ = 0;
    uint8_t buffer_[kBufferSize];
};

}  // namespace zeld
