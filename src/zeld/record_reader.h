// Cuts an open file into the records of a download or a record read:
// pieces of a fixed size (or as large as a message carries), or lines, cut
// where a line is longer than a record may be. Fixed memory: one buffer,
// filled with large reads.
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
    // The room the next record of at most `capacity` bytes needs, so that a
    // message can be begun where it fits: its length, or for a piece read
    // straight from the file (pieces as large as a record may be) the
    // capacity. kError leaves the system's errno in *error.
    Result Measure(size_t capacity, size_t* room, int* error);
    // The next record, at most `capacity` bytes, into `out`. kError leaves
    // the system's errno in *error.
    Result Next(uint8_t* out, size_t capacity, size_t* length, int* error);

    // Records cut from the buffer (lines and small pieces) rather than read
    // straight into the message.
    bool buffered() const { return !direct(); }
    // A buffered record where it lies: the next record of at most
    // `capacity` bytes, valid until the next call; Advance steps past it.
    // kError leaves the system's errno in *error.
    Result Peek(size_t capacity, const uint8_t** data, size_t* length, int* error);
    void Advance() {
        start_ += take_;
        consumed_ += take_;
    }

    // The end of the file has been seen and every byte handed out: the next
    // call would give kEnd.
    bool exhausted() const { return atEnd_ && start_ == end_; }

    // File bytes consumed so far.
    uint64_t consumed() const { return consumed_; }

private:
    // Reads more behind what is buffered; false on a read error.
    bool Fill(int* error);
    // Large pieces go from the file straight into the message; lines and
    // small pieces are cut from the buffer, which is read in large blocks.
    bool direct() const { return !presentation_.lines && presentation_.pieceSize == 0; }
    Result ReadPiece(uint8_t* out, size_t capacity, size_t* length, int* error);
    Result MeasurePiece(size_t capacity, int* error);
    Result MeasureLine(size_t capacity, int* error);

    static constexpr size_t kBufferSize = 65536;
    int fd_ = -1;
    Presentation presentation_;
    uint64_t consumed_ = 0;
    bool atEnd_ = false;
    size_t start_ = 0;  // buffered bytes run from start_ to end_
    size_t end_ = 0;
    // The record Peek last found: the buffered bytes it takes from the file,
    // and how many of them it keeps.
    size_t take_ = 0;
    size_t keep_ = 0;
    uint8_t buffer_[kBufferSize];
};

}  // namespace zeld
