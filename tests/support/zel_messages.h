// Messages as bytes, for scripts of the test peer: what the library is
// expected to send and what a peer answers. Each builder gives one whole
// message (header and body); several may be joined into one block with +.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/bytes.h"

namespace zeltest {

Bytes Text(const std::string& text);

// A message with the header FLAGS give: 0x00 (no length, the body runs to
// the end of the block), 0x02 (one-byte length) or 0x06 (two-byte length).
Bytes Message(uint8_t type, uint8_t flags, const Bytes& body);

// A SYSCAP field with these capability bits (bit k of byte j is 7j + k).
Bytes Syscap(std::initializer_list<unsigned> bits);

// The capabilities every peer needs: file access (5), blocking (18) and 25, 40.
std::initializer_list<unsigned> RequiredCapabilities();

struct PeerConfig {
    uint16_t bufsiz = 0x7E00;
    uint8_t ostype = 7;
    uint8_t filesys = 2;
    uint8_t vernum = 7;
    uint8_t econum = 2;
    std::vector<unsigned> capabilities = {5, 18, 25, 40};
};

// The peer's Configuration message.
Bytes PeerConfiguration(const PeerConfig& config = {});
// The library's first Configuration message on a fresh process.
Bytes LibraryConfiguration();
// The library's Configuration after the peer refused one (SYSCAP widened).
Bytes LibraryConfigurationRaised();

Bytes Acknowledge();
Bytes AccessComplete(uint8_t function = 1);
Bytes Status(uint16_t code, uint8_t flags = 0x00);
Bytes ContinueTransfer(uint8_t function);
// A Data message with RECNUM 0 and a one-byte (or, above 252 bytes of body,
// two-byte) length.
Bytes Data(const Bytes& record);
Bytes Name(uint8_t nameType, const std::string& spec);
Bytes Attributes(const Bytes& body);
Bytes DateAndTime(const std::string& cdt, const std::string& rdt);

}  // namespace zeltest
