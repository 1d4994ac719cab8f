#include "ztsock/frame.h"

namespace ztsock {
namespace {

constexpr size_t kMaxImage = 255;

// Takes one image field (count byte, then the bytes) from the front of
// [*cursor, end); false when the count runs past the end.
bool TakeImage(const uint8_t** cursor, const uint8_t* end, std::string* text) {
    if (*cursor == end) return false;
    const size_t count = **cursor;
    const uint8_t* bytes = *cursor + 1;
    if (static_cast<size_t>(end - bytes) < count) return false;
    text->assign(reinterpret_cast<const char*>(bytes), count);
    *cursor = bytes + count;
    return true;
}

void PutImage(const std::string& text, std::vector<uint8_t>* out) {
    out->push_back(static_cast<uint8_t>(text.size()));
    out->insert(out->end(), text.begin(), text.end());
}

}  // namespace

void EncodeFrameHeader(uint8_t kind, uint16_t length, uint8_t* out) {
    out[0] = kind;
    out[1] = static_cast<uint8_t>(length);
    out[2] = static_cast<uint8_t>(length >> 8);
}

FrameHeader DecodeFrameHeader(const uint8_t* bytes) {
    return FrameHeader{bytes[0], static_cast<uint16_t>(bytes[1] | (bytes[2] << 8))};
}

bool FrameLengthFits(uint8_t kind, size_t length) {
    switch (kind) {
    case kFrameConnect:
        return length >= 4 && length <= kMaxConnectPayload;
    case kFrameAccept:
        return length == 0;
    case kFrameReject:
        return length == kRejectPayloadLength;
    case kFrameData:
    case kFrameExpedited:
        return length >= 1 && length <= kMaxPayload;
    default:
        return false;
    }
}

bool EncodeConnectPayload(const ConnectFields& fields, std::vector<uint8_t>* out) {
    if (fields.object.size() > kMaxImage || fields.user.size() > kMaxImage ||
        fields.password.size() > kMaxImage) {
        return false;
    }
    out->push_back(kProtocolVersion);
    PutImage(fields.object, out);
    PutImage(fields.user, out);
    PutImage(fields.password, out);
    return true;
}

bool DecodeConnectPayload(const uint8_t* payload, size_t length, ConnectFields* fields) {
    if (length == 0 || payload[0] != kProtocolVersion) return false;
    const uint8_t* cursor = payload + 1;
    const uint8_t* end = payload + length;
    return TakeImage(&cursor, end, &fields->object) && TakeImage(&cursor, end, &fields->user) &&
           TakeImage(&cursor, end, &fields->password) && cursor == end;
}

void EncodeRejectPayload(int16_t errorNumber, uint8_t* out) {
    const auto bits = static_cast<uint16_t>(errorNumber);
    out[0] = static_cast<uint8_t>(bits);
    out[1] = static_cast<uint8_t>(bits >> 8);
}

int16_t DecodeRejectPayload(const uint8_t* payload) {
    return static_cast<int16_t>(static_cast<uint16_t>(payload[0] | (payload[1] << 8)));
}

}  // namespace ztsock
