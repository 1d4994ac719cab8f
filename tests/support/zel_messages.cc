#include "support/zel_messages.h"

namespace zeltest {

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Message(uint8_t type, uint8_t flags, const Bytes& body) {
    Bytes message = {type, flags};
    if ((flags & 0x04) != 0) {
        message.push_back(static_cast<uint8_t>(body.size()));
        message.push_back(static_cast<uint8_t>(body.size() >> 8));
    } else if ((flags & 0x02) != 0) {
        message.push_back(static_cast<uint8_t>(body.size()));
    }
    message.insert(message.end(), body.begin(), body.end());
    return message;
}

namespace {

template <typename Bits>
Bytes SyscapOf(const Bits& bits) {
    Bytes field(10, 0);
    size_t used = 1;
    for (unsigned bit : bits) {
        field[bit / 7] |= static_cast<uint8_t>(1u << (bit % 7));
        if (bit / 7 + 1 > used) used = bit / 7 + 1;
    }
    field.resize(used);
    for (size_t i = 0; i + 1 < used; ++i) field[i] |= 0x80;
    return field;
}

}  // namespace

Bytes Syscap(std::initializer_list<unsigned> bits) { return SyscapOf(bits); }

std::initializer_list<unsigned> RequiredCapabilities() {
    static constexpr std::initializer_list<unsigned> kRequired = {5, 18, 25, 40};
    return kRequired;
}

Bytes PeerConfiguration(const PeerConfig& config) {
    Bytes body = {static_cast<uint8_t>(config.bufsiz), static_cast<uint8_t>(config.bufsiz >> 8),
                  config.ostype, config.filesys, config.vernum, config.econum, 0, 4, 0};
    const Bytes field = SyscapOf(config.capabilities);
    body.insert(body.end(), field.begin(), field.end());
    return Message(1, 0x00, body);
}

Bytes LibraryConfiguration() {
    return {0x01, 0x00, 0x00, 0x7E, 0x11, 0x0C, 0x07, 0x02, 0x00, 0x04, 0x00,
            0xA2, 0x80, 0xD0, 0xF1, 0xAE, 0xAC, 0x80, 0xE4, 0x91, 0x02};
}

Bytes LibraryConfigurationRaised() {
    return {0x01, 0x00, 0x00, 0x7E, 0x11, 0x0C, 0x07, 0x02, 0x00, 0x04, 0x00,
            0xA2, 0x80, 0xD0, 0xFF, 0xFF, 0xAC, 0x80, 0xE4, 0xFF, 0x02};
}

Bytes Acknowledge() { return {0x06, 0x00}; }
Bytes AccessComplete(uint8_t function) { return {0x07, 0x00, function}; }

Bytes Status(uint16_t code, uint8_t flags) {
    return Message(9, flags, {static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)});
}

Bytes ContinueTransfer(uint8_t function) { return {0x05, 0x00, function}; }

Bytes Data(const Bytes& record) {
    Bytes body = {0x00};
    body.insert(body.end(), record.begin(), record.end());
    return Message(8, body.size() > 253 ? 0x06 : 0x02, body);
}

Bytes Name(uint8_t nameType, const std::string& spec) {
    Bytes body = {nameType, static_cast<uint8_t>(spec.size())};
    body.insert(body.end(), spec.begin(), spec.end());
    return Message(15, 0x00, body);
}

Bytes Attributes(const Bytes& body) { return Message(2, 0x02, body); }

Bytes DateAndTime(const std::string& cdt, const std::string& rdt) {
    Bytes body = {0x03};
    body.insert(body.end(), cdt.begin(), cdt.end());
    body.insert(body.end(), rdt.begin(), rdt.end());
    return Message(13, 0x02, body);
}

}  // namespace zeltest
