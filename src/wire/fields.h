// Field encodings of ZEL message bodies: little-endian 16-bit integers,
// extensible fields (bit 7 of each byte: another byte follows) and image
// fields (a count byte, then that many bytes). Every read of peer input goes
// through Reader, which checks the bytes left first, so no decoder can run
// past the end of a body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace wire {

inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// The length of the extensible field at p: its bytes run to the first one
// with bit 7 clear. Refused (returns false) when more than `max` bytes carry
// bit 7, or when the field runs to the end of the `remaining` bytes without
// ending; so an EX-n field is accepted with up to n + 1 bytes. No bytes at
// all is accepted with length 0.
bool ExtensibleLength(const uint8_t* p, size_t remaining, size_t max, size_t* length);

// Whether the image field at p has a count of at most `max`, with that many
// bytes present behind the count.
bool ImageFits(const uint8_t* p, size_t remaining, size_t max);

// Sequential, bounds-checked reading of one message body.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), end_(data + size) {}

    size_t remaining() const { return static_cast<size_t>(end_ - data_); }
    bool empty() const { return data_ == end_; }
    const uint8_t* position() const { return data_; }

    bool TakeByte(uint8_t* value) {
        if (data_ == end_) return false;
        *value = *data_++;
        return true;
    }
    bool TakeU16(uint16_t* value) {
        if (remaining() < 2) return false;
        *value = GetU16(data_);
        data_ += 2;
        return true;
    }
    bool TakeBytes(void* out, size_t count) {
        if (remaining() < count) return false;
        if (count != 0) std::memcpy(out, data_, count);
        data_ += count;
        return true;
    }
    bool Skip(size_t count) {
        if (remaining() < count) return false;
        data_ += count;
        return true;
    }
    // An extensible field of at most max + 1 bytes: the first `keep` bytes go
    // to out (the rest of out is zeroed), every byte of the field is consumed.
    bool TakeExtensible(size_t max, uint8_t* out, size_t keep, size_t* taken = nullptr);
    // An image field whose count is at most max: copies up to `capacity` data
    // bytes into out, consumes them all, stores the count.
    bool TakeImage(size_t max, uint8_t* out, size_t capacity, uint8_t* count);

private:
    const uint8_t* data_;
    const uint8_t* end_;
};

// Sequential writing of one message body into a buffer of known capacity.
// A write past the capacity is dropped and remembered in overflowed().
class Writer {
public:
    Writer(uint8_t* data, size_t capacity) : start_(data), data_(data), end_(data + capacity) {}

    size_t length() const { return static_cast<size_t>(data_ - start_); }
    uint8_t* position() const { return data_; }
    bool overflowed() const { return overflowed_; }

    void PutByte(uint8_t value) {
        if (data_ == end_) {
            overflowed_ = true;
            return;
        }
        *data_++ = value;
    }
    void PutU16(uint16_t value) {
        PutByte(static_cast<uint8_t>(value));
        PutByte(static_cast<uint8_t>(value >> 8));
    }
    void PutBytes(const void* bytes, size_t count) {
        if (static_cast<size_t>(end_ - data_) < count) {
            overflowed_ = true;
            return;
        }
        if (count != 0) std::memcpy(data_, bytes, count);
        data_ += count;
    }
    // An image field: the count (at most max; longer texts are cut) and the bytes.
    void PutImage(const void* bytes, size_t count, size_t max = 255) {
        if (count > max) count = max;
        PutByte(static_cast<uint8_t>(count));
        PutBytes(bytes, count);
    }
    // An extensible field holding `value`, seven bits per byte, low bits first.
    void PutExtensibleValue(uint64_t value);

private:
    uint8_t* start_;
    uint8_t* data_;
    uint8_t* end_;
    bool overflowed_ = false;
};

}  // namespace wire
