// The bodies of the messages the server sends, written with wire::Writer
// (Acknowledge has none; Data is built in place by the outbox).
#pragma once

#include <cstdint>
#include <ctime>
#include <string_view>

#include "wire/fields.h"
#include "zeld/personality.h"
#include "zeld/protection.h"
#include "zeld/status_codes.h"

namespace zeld {

// Capabilities (SYSCAP bits) the server has in every personality: file
// access 5, blocking 18, two-byte lengths 20, 25, protection 27, rename 37,
// 40, setting protection 44; stream files add 54 and 55.
struct ServerCapabilities {
    Personality personality = Personality::kStream;
    bool canPrint = false;   // bit 29
    bool canSubmit = false;  // bit 30
};

constexpr uint16_t kServerBufferSize = 32256;
constexpr size_t kSyscapBytes = 8;

// The SYSCAP field: bit k of byte j is capability 7j + k.
size_t EncodeSyscap(const ServerCapabilities& capabilities, uint8_t out[kSyscapBytes]);
void EncodeConfiguration(wire::Writer& body, const ServerCapabilities& capabilities);

// What the Attributes message says of one file.
struct FileAttributes {
    Presentation presentation;
    bool isDirectory = false;
    uint64_t size = 0;  // bytes; sent as EBK and FFB
};
void EncodeAttributes(wire::Writer& body, const FileAttributes& attributes);

// CDT and RDT, both the file's modification time.
void EncodeDateAndTime(wire::Writer& body, time_t modified);

// The owner and the four classes' access codes.
void EncodeProtection(wire::Writer& body, std::string_view owner, const AccessCodes& codes);

// Name types.
constexpr uint8_t kNameFileSpec = 0x01;
constexpr uint8_t kNameFile = 0x02;
constexpr uint8_t kNameDirectory = 0x04;
constexpr uint8_t kNameVolume = 0x08;
void EncodeName(wire::Writer& body, uint8_t nameType, std::string_view name);

void EncodeStatus(wire::Writer& body, StatusValue status);

// The answer to a client's Access Complete.
constexpr uint8_t kCmpResponse = 2;
void EncodeAccessComplete(wire::Writer& body);

}  // namespace zeld
