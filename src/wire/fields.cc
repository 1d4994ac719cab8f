#include "wire/fields.h"

namespace wire {

bool ExtensibleLength(const uint8_t* p, size_t remaining, size_t max, size_t* length) {
    for (size_t k = 1; k <= remaining; ++k) {
        if ((p[k - 1] & 0x80) == 0) {
            *length = k;
            return true;
        }
        if (k > max || k == remaining) return false;
    }
    *length = 0;
    return true;
}

bool ImageFits(const uint8_t* p, size_t remaining, size_t max) {
    if (remaining == 0) return false;
    return p[0] <= max && static_cast<size_t>(p[0]) <= remaining - 1;
}

bool Reader::TakeExtensible(size_t max, uint8_t* out, size_t keep, size_t* taken) {
    size_t length = 0;
    if (!ExtensibleLength(data_, remaining(), max, &length)) return false;
    for (size_t i = 0; i < keep; ++i) out[i] = i < length ? data_[i] : 0;
    data_ += length;
    if (taken != nullptr) *taken = length;
    return true;
}

bool Reader::TakeImage(size_t max, uint8_t* out, size_t capacity, uint8_t* count) {
    if (!ImageFits(data_, remaining(), max)) return false;
    const size_t n = data_[0];
    const size_t kept = n < capacity ? n : capacity;
    if (kept != 0) std::memcpy(out, data_ + 1, kept);
    data_ += 1 + n;
    *count = static_cast<uint8_t>(n);
    return true;
}

void Writer::PutExtensibleValue(uint64_t value) {
    do {
        uint8_t byte = value & 0x7F;
        value >>= 7;
        if (value != 0) byte |= 0x80;
        PutByte(byte);
    } while (value != 0);
}

}  // namespace wire
