// The frames on a link's TCP connection: the 3-byte header (kind, payload
// length little-endian), which lengths each kind may carry, and the payloads
// of the CONNECT and REJECT frames. Pure encoding, no I/O: both sides and the
// test peer build and check frames with these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ztsock/ztsock.h"

namespace ztsock {

struct FrameHeader {
    uint8_t kind = 0;
    uint16_t length = 0;
};

// Longest CONNECT payload: the version and three image fields of 255 bytes.
constexpr size_t kMaxConnectPayload = 1 + 3 * 256;
constexpr size_t kRejectPayloadLength = 2;

void EncodeFrameHeader(uint8_t kind, uint16_t length, uint8_t* out);
FrameHeader DecodeFrameHeader(const uint8_t* bytes);

// A set of frame kinds, as accepted by a reader in one state of the link.
constexpr uint32_t KindBit(uint8_t kind) { return kind < 32 ? 1u << kind : 0; }
constexpr uint32_t kHandshakeAnswerKinds = KindBit(kFrameAccept) | KindBit(kFrameReject);
constexpr uint32_t kDataKinds = KindBit(kFrameData) | KindBit(kFrameExpedited);

// Whether a frame of `kind` may carry `length` payload bytes: ACCEPT none,
// REJECT exactly two, CONNECT a version byte and its fields, DATA and
// EXPEDITED 1 to kMaxPayload. False for kinds the transport does not know.
bool FrameLengthFits(uint8_t kind, size_t length);

// What a CONNECT names: the remote object, the user and the password.
struct ConnectFields {
    std::string object;
    std::string user;
    std::string password;
};

// Appends the CONNECT payload to `out`; false (nothing appended) when a field
// is longer than an image field can hold.
bool EncodeConnectPayload(const ConnectFields& fields, std::vector<uint8_t>* out);

// Reads a CONNECT payload: version 1 and exactly three whole image fields.
bool DecodeConnectPayload(const uint8_t* payload, size_t length, ConnectFields* fields);

void EncodeRejectPayload(int16_t errorNumber, uint8_t* out);
int16_t DecodeRejectPayload(const uint8_t* payload);

}  // namespace ztsock
