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

RecordReader::Result RecordReader::Measure(size_t capacity, size_t* room, int* error) {
    *room = 0;
    if (direct()) {
        if (atEnd_) return Result::kEnd;
        *room = capacity == 0 ? 1 : capacity;
        return Result::kRecord;
    }
    const uint8_t* data = nullptr;
    return Peek(capacity, &data, room, error);
}

RecordReader::Result RecordReader::Next(uint8_t* out, size_t capacity, size_t* length, int* error) {
    *length = 0;
    if (direct()) return ReadPiece(out, capacity == 0 ? 1 : capacity, length, error);
    const uint8_t* data = nullptr;
    const Result result = Peek(capacity, &data, length, error);
    if (result != Result::kRecord) return result;
    std::memcpy(out, data, *length);
    Advance();
    return result;
}

RecordReader::Result RecordReader::Peek(size_t capacity, const uint8_t** data, size_t* length, int* error) {
    *length = 0;
    if (capacity == 0) capacity = 1;
    const Result result = presentation_.lines ? MeasureLine(capacity, error) : MeasurePiece(capacity, error);
    if (result != Result::kRecord) return result;
    *data = buffer_ + start_;
    *length = keep_;
    return result;
}

RecordReader::Result RecordReader::ReadPiece(uint8_t* out, size_t capacity, size_t* length, int* error) {
    // Read straight into the message: every piece but the last is full.
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

RecordReader::Result RecordReader::MeasurePiece(size_t capacity, int* error) {
    const size_t size = presentation_.pieceSize < capacity ? presentation_.pieceSize : capacity;
    if (end_ - start_ < size && !atEnd_ && !Fill(error)) return Result::kError;
    const size_t available = end_ - start_;
    if (available == 0) return Result::kEnd;
    take_ = keep_ = available < size ? available : size;
    return Result::kRecord;
}

RecordReader::Result RecordReader::MeasureLine(size_t capacity, int* error) {
    // A full record may be followed by its line end, which goes with it, so
    // look two bytes further than the record can hold. The buffer is filled
    // only when the line's end is not in it yet, so that little is moved.
    const size_t window = capacity + 2;
    const auto findLine = [&] {
        const size_t available = end_ - start_;
        return static_cast<const uint8_t*>(std::memchr(buffer_ + start_, '\n', available < window ? available : window));
    };
    const uint8_t* newline = findLine();
    if (newline == nullptr && end_ - start_ < window && !atEnd_) {
        if (!Fill(error)) return Result::kError;
        newline = findLine();
    }
    const size_t available = end_ - start_;
    if (available == 0) return Result::kEnd;
    const uint8_t* begin = buffer_ + start_;
    if (presentation_.keepNewline) {
        const size_t line = newline != nullptr ? static_cast<size_t>(newline - begin) + 1 : available;
        take_ = keep_ = line < capacity ? line : capacity;
    } else {
        size_t line = newline != nullptr ? static_cast<size_t>(newline - begin) : available;
        take_ = line + (newline != nullptr ? 1 : 0);
        if (line > 0 && newline != nullptr && begin[line - 1] == '\r') --line;  // CR LF ends a line too
        if (line > capacity) {
            keep_ = take_ = capacity;  // a long line goes on in the next record
        } else {
            keep_ = line;
        }
    }
    return Result::kRecord;
}

}  // namespace zeld
