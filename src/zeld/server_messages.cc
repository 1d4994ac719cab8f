#include "zeld/server_messages.h"

#include <cstring>

#include "zeld/dates.h"


namespace zeld {
namespace {

constexpr uint8_t kVersion = 7;   // VERNUM
constexpr uint8_t kEco = 2;       // ECONUM: with 7, the client sends its buffer size in a read
constexpr uint8_t kSoftware = 1;  // VORVER

constexpr unsigned kCapFileAccess = 5, kCapBlocking = 18, kCapLen256 = 20, kCapRequired25 = 25,
                   kCapProtection = 27, kCapPrint = 29, kCapSubmit = 30, kCapRename = 37,
                   kCapRequired40 = 40, kCapSetProtection = 44, kCapStream54 = 54, kCapStream55 = 55;

constexpr uint64_t kBlock = 512;

}  // namespace

size_t EncodeSyscap(const ServerCapabilities& capabilities, uint8_t out[kSyscapBytes]) {
    std::memset(out, 0, kSyscapBytes);
    unsigned bits[16] = {kCapFileAccess, kCapBlocking, kCapLen256, kCapRequired25, kCapProtection,
                         kCapRename, kCapRequired40, kCapSetProtection};
    size_t count = 8;
    if (capabilities.canPrint) bits[count++] = kCapPrint;
    if (capabilities.canSubmit) bits[count++] = kCapSubmit;
    if (capabilities.personality == Personality::kStream) {
        bits[count++] = kCapStream54;
        bits[count++] = kCapStream55;
    }
    size_t length = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t byte = bits[i] / 7;
        out[byte] = static_cast<uint8_t>(out[byte] | 1u << (bits[i] % 7));
        if (byte + 1 > length) length = byte + 1;
    }
    for (size_t i = 0; i + 1 < length; ++i) out[i] |= 0x80;
    return length;
}

void EncodeConfiguration(wire::Writer& body, const ServerCapabilities& capabilities) {
    body.PutU16(kServerBufferSize);
    body.PutByte(OsTypeCode(capabilities.personality));
    body.PutByte(FileSystemCode(capabilities.personality));
    body.PutByte(kVersion);
    body.PutByte(kEco);
    body.PutByte(0);  // USRNUM
    body.PutByte(kSoftware);
    body.PutByte(0);  // USRVER
    uint8_t syscap[kSyscapBytes];
    body.PutBytes(syscap, EncodeSyscap(capabilities, syscap));
}

void EncodeAttributes(wire::Writer& body, const FileAttributes& attributes) {
    const Presentation& p = attributes.presentation;
    // Menu byte 0: DATATYPE, ORG, RFM, RAT, MRS. Byte 1: FSZ, FOP. Byte 2: EBK, FFB.
    const uint8_t menu1 = static_cast<uint8_t>((p.fsz != 0 ? 0x02 : 0) | (attributes.isDirectory ? 0x20 : 0) | 0x80);
    body.PutByte(0x2F | 0x80);
    body.PutByte(menu1);
    body.PutByte(0x10 | 0x20);
    body.PutByte(p.dataType);
    body.PutByte(0);  // ORG: sequential
    body.PutByte(p.rfm);
    body.PutByte(p.rat);
    body.PutU16(p.mrs);
    if (p.fsz != 0) body.PutByte(p.fsz);
    if (attributes.isDirectory) body.PutByte(0x20);  // FOP: a directory
    // EBK is the block holding the end of file, counted from 1, and FFB the
    // first free byte in it: the client shows the blocks in use.
    const uint64_t size = attributes.isDirectory ? 0 : attributes.size;
    const uint64_t block = size / kBlock + 1;
    const uint32_t ebk = block > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(block);
    body.PutByte(4);
    for (int shift = 0; shift < 32; shift += 8) body.PutByte(static_cast<uint8_t>(ebk >> shift));
    body.PutU16(static_cast<uint16_t>(size % kBlock));
}

void EncodeDateAndTime(wire::Writer& body, time_t modified) {
    char date[kDateLength + 1];
    FormatDate(modified, date);
    body.PutByte(0x03);  // CDT and RDT
    body.PutBytes(date, kDateLength);
    body.PutBytes(date, kDateLength);
}

void EncodeProtection(wire::Writer& body, std::string_view owner, const AccessCodes& codes) {
    body.PutByte(0x1F);  // OWNER, PROTSYS, PROTOWN, PROTGRP, PROTWLD
    body.PutImage(owner.data(), owner.size(), 40);
    body.PutByte(codes.system);
    body.PutByte(codes.owner);
    body.PutByte(codes.group);
    body.PutByte(codes.world);
}

void EncodeName(wire::Writer& body, uint8_t nameType, std::string_view name) {
    body.PutByte(nameType);
    body.PutImage(name.data(), name.size(), 255);
}

void EncodeStatus(wire::Writer& body, StatusValue status) { body.PutU16(status); }

void EncodeAccessComplete(wire::Writer& body) { body.PutByte(kCmpResponse); }

}  // namespace zeld
