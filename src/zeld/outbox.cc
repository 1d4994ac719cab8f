#include "zeld/outbox.h"

#include <algorithm>
#include <cstring>

#include "wire/header.h"

namespace zeld {
namespace {

constexpr size_t kMaxHeader = 4;
constexpr size_t kOneByteLength = 255;
constexpr size_t kOneByteLengthHeader = 3;  // TYPE, FLAGS, LENGTH

}  // namespace

void Outbox::Configure(size_t clientBufferSize, bool lengthFields, bool twoByteLengths) {
    limit_ = clientBufferSize == 0 || clientBufferSize > wire::kMaxBlock ? wire::kMaxBlock : clientBufferSize;
    lengthFields_ = lengthFields;
    twoByteLengths_ = lengthFields && twoByteLengths;
}

void Outbox::Unconfigure() { Configure(0, false, false); }

uint8_t Outbox::FlagsFor(size_t length) const {
    if (!lengthFields_) return 0;
    if (length <= kOneByteLength) return wire::kFlagLength;
    return twoByteLengths_ ? wire::kFlagLength | wire::kFlagLen256 : 0;
}

bool Outbox::MakeRoom(size_t bytes) {
    if (failed_) return false;
    if (used_ + bytes > limit_) return EndBlock();
    return true;
}

bool Outbox::Finish(size_t messageStart, size_t messageLength) {
    wire::FillLength(block_ + messageStart, messageLength);
    used_ = messageStart + messageLength;
    // A message without a length field runs to the end of its block.
    if ((block_[messageStart + 1] & wire::kFlagLength) == 0) return EndBlock();
    return true;
}

bool Outbox::Put(uint8_t type, size_t maxBody, const std::function<void(wire::Writer&)>& build) {
    if (failed_) return false;
    if (maxBody > sizeof body_) maxBody = sizeof body_;
    wire::Writer body(body_, maxBody);
    build(body);
    if (body.overflowed()) return false;
    const size_t length = body.length();
    const uint8_t flags = FlagsFor(length);
    const size_t header = wire::HeaderLengthFor(flags);
    if (header + length > limit_ || !MakeRoom(header + length)) return false;
    const size_t start = used_;
    wire::BuildHeader(block_ + start, type, flags);
    if (length != 0) std::memcpy(block_ + start + header, body_, length);
    return Finish(start, header + length);
}

bool Outbox::PutEmpty(uint8_t type) {
    return Put(type, 0, [](wire::Writer&) {});
}

bool Outbox::PutConfiguration(const std::function<void(wire::Writer&)>& build) {
    if (failed_ || !EndBlock()) return false;
    wire::Writer body(block_ + 2, limit_ - 2);
    build(body);
    if (body.overflowed()) return false;
    wire::BuildHeader(block_, wire::kConfiguration, 0);
    used_ = 2 + body.length();
    return Flush();
}

size_t Outbox::MaxBody() const {
    // A one-byte LENGTH holds 255; the block may hold less than that
    // message (a BUFSIZ of 256 or 257 leaves 253 or 254 for the body).
    if (lengthFields_ && !twoByteLengths_) return std::min(kOneByteLength, limit_ - kOneByteLengthHeader);
    const size_t header = lengthFields_ ? kMaxHeader : 2;
    return limit_ - header;
}

uint8_t* Outbox::BeginData(const uint8_t* prefix, size_t prefixLength, size_t capacity, size_t room) {
    if (capacity > MaxRecord(prefixLength)) capacity = MaxRecord(prefixLength);
    if (room > capacity) room = capacity;
    // The flags are chosen for the largest record, so the header is fixed
    // before the record is read into place.
    const uint8_t flags = FlagsFor(1 + prefixLength + capacity);
    const size_t header = wire::HeaderLengthFor(flags);
    if (!MakeRoom(header + 1 + prefixLength + room)) return nullptr;
    dataStart_ = used_;
    wire::BuildHeader(block_ + dataStart_, wire::kData, flags);
    block_[dataStart_ + header] = 0;  // RECNUM
    if (prefixLength != 0) std::memcpy(block_ + dataStart_ + header + 1, prefix, prefixLength);
    dataHeader_ = header + 1 + prefixLength;
    return block_ + dataStart_ + dataHeader_;
}

bool Outbox::EndData(size_t recordLength) { return Finish(dataStart_, dataHeader_ + recordLength); }

bool Outbox::PutData(const uint8_t* prefix, size_t prefixLength, size_t capacity, const uint8_t* record,
                     size_t length) {
    uint8_t* at = BeginData(prefix, prefixLength, capacity, length);
    if (at == nullptr) return false;
    std::memcpy(at, record, length);
    return EndData(length);
}

bool Outbox::EndBlock() {
    if (failed_) return false;
    if (used_ == 0) return true;
    lengths_[finished_++] = used_;
    used_ = 0;
    ++blocksFinished_;
    if (finished_ == kBlocksPerSend) return SendFinished();
    block_ = blocks_[finished_];
    return true;
}

bool Outbox::SendFinished() {
    const size_t count = finished_;
    finished_ = 0;
    block_ = blocks_[0];
    if (count == 0) return true;
    const uint8_t* blocks[kBlocksPerSend];
    for (size_t i = 0; i < count; ++i) blocks[i] = blocks_[i];
    if (!sink_->SendBlocks(blocks, lengths_, count)) failed_ = true;
    return !failed_;
}

bool Outbox::Flush() { return EndBlock() && SendFinished(); }

}  // namespace zeld
