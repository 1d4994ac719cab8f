#include "zeld/record_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zeld {

void RecordReader::Start(int fd, const Presentation& presentation) {
    fd_ = fd;
    presentation_ = presentation;
    consumed_ = 0;
    atEnd_ = false;
    start_ = end_ = 0;
}

bool RecordReader::Fill(int* error) {
    if (start_ != 0) {
        std::memmove(buffer_, buffer_ + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    while (end_ < kBufferSize) {
        const ssize_t got = ::read(fd_, buffer_ + end_, kBufferSize - end_);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *error = errno;
            return false;
        }
        if (got == 0) {
            atEnd_ = true;
            break;
        }
        end_ += static_cast<size_t>(got);
    }
    return true;
}

RecordReader::Result RecordReader::Next(uint8_t* out, size_t capacity, size_t* length, int* error) {
    *length = 0;
    if (capacity == 0) capacity = 1;
    return presentation_.lines ? NextLine(out, capacity, length, error) : NextPiece(out, capacity, length, error);
}

RecordReader::Result RecordReader::NextPiece(uint8_t* out, size_t capacity, size_t* length, int* error) {
    if (presentation_.pieceSize != 0 && presentation_.pieceSize < capacity) capacity = presentation_.pieceSize;
    // Pieces are read straight into the message: every piece but the last is full.
    size_t have = 0;
    while (have < capacity && !atEnd_) {
        const ssize_t got = ::read(fd_, out + have, capacity - have);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *error = errno;
            return Result::kError;
        }
        if (got == 0) atEnd_ = true;
        have += static_cast<size_t>(got);
    }
    consumed_ += have;
    *length = have;
    return have == 0 ? Result::kEnd : Result::kRecord;
}

RecordReader::Result RecordReader::NextLine(uint8_t* out, size_t capacity, size_t* length, int* error) {
    // A full record may be followed by its line end, which goes with it, so
    // look two bytes further than the record can hold.
    const size_t window = capacity + 2;
    if (end_ - start_ < window && !atEnd_ && !Fill(error)) return Result::kError;
    const size_t available = end_ - start_;
    if (available == 0) return Result::kEnd;

    const uint8_t* begin = buffer_ + start_;
    const size_t scan = available < window ? available : window;
    const auto* newline = static_cast<const uint8_t*>(std::memchr(begin, '\n', scan));
    size_t take;  // bytes consumed from the file
    size_t keep;  // bytes of them in the record
    if (presentation_.keepNewline) {
        const size_t line = newline != nullptr ? static_cast<size_t>(newline - begin) + 1 : available;
        take = keep = line < capacity ? line : capacity;
    } else {
        size_t line = newline != nullptr ? static_cast<size_t>(newline - begin) : available;
        take = line + (newline != nullptr ? 1 : 0);
        if (line > 0 && newline != nullptr && begin[line - 1] == '\r') --line;  // CR LF ends a line too
        if (line > capacity) {
            keep = take = capacity;  // a long line goes on in the next record
        } else {
            keep = line;
        }
    }
    std::memcpy(out, begin, keep);
    start_ += take;
    consumed_ += take;
    *length = keep;
    return Result::kRecord;
}

}  // namespace zeld
