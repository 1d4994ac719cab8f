// Messages of the single-request commands and the directory listing, as
// bytes for the scripted peer: the Access the library sends, and the
// Attributes and Protection replies a peer gives about a file.
#pragma once

#include <cstdint>
#include <string>

#include "support/zel_messages.h"

namespace zeltest {

// DISPLAY of an Access toward a peer without capability 64.
inline const Bytes kDisplayMain = {0x31};
inline const Bytes kDisplayFull = {0x91, 0x02};
inline const Bytes kDisplayBrief = {0x01};
inline const Bytes kNoDisplay = {};

// An Access toward a peer without capabilities 21 and 57: ACCOPT 0, SHR 0,
// and behind a DISPLAY an empty PASSWORD (a rename sends neither).
inline Bytes Access(uint8_t function, const std::string& fileName, uint8_t fac, const Bytes& display) {
    Bytes body = Bytes{function, 0x00, static_cast<uint8_t>(fileName.size())} + Text(fileName) + Bytes{fac, 0x00} + display;
    if (!display.empty()) body.push_back(0x00);
    return Message(3, 0x00, body);
}

// The Attributes the library sends on a link that never copied, toward a
// peer of file system 2 (no BSZ): DATATYPE 1, ORG 0, RFM 4, RAT 0, MRS 0.
inline Bytes SentAttributes() { return Message(2, 0x02, {0x2F, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00}); }
// The same for a print: menu byte 1 announces FOP 0x80 0x80 0x40.
inline Bytes SentPrintAttributes() {
    return Message(2, 0x02, {0xAF, 0x20, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x80, 0x80, 0x40});
}

// A peer's Attributes with only the end-of-file block count (EBK), and FOP
// 0x20 (a directory) when `directoryFop`.
inline Bytes FileSize(uint8_t blocks, bool directoryFop = false) {
    if (directoryFop) return Attributes({0x80, 0xA0, 0x10, 0x20, 0x01, blocks});
    return Attributes({0x80, 0x80, 0x10, 0x01, blocks});
}

// A peer's Protection message with a length field.
inline Bytes ProtectionReply(const Bytes& body) { return Message(14, 0x02, body); }

}  // namespace zeltest
