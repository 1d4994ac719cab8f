// A link record and protocol context with no connection, for tests that
// drive the encoders and decoders directly: encode a message and get its
// bytes, or decode a body and look at the context.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "zel32/api/link.h"
#include "zel32/protocol/context.h"

namespace zeltest {


class CodecContext {
public:
    CodecContext();
    ~CodecContext();
    CodecContext(const CodecContext&) = delete;
    CodecContext& operator=(const CodecContext&) = delete;

    ZelContext* context() { return context_; }
    ZelContext* operator->() { return context_; }
    RfaLink& link() { return link_; }
    uint16_t errorCode() const { return link_.status.errorCode; }
    int32_t errorValue() const { return link_.status.errorValue; }

    // A peer that has the capabilities the decoder requires (blocking on).
    void SetPeerCapabilities(std::initializer_list<unsigned> bits);

    // Encodes one message of `type` at the start of the send buffer; returns
    // the message's bytes (header and body), or nothing when encoding failed.
    Bytes Encode(uint8_t type);
    // Encodes and returns only the body.
    Bytes EncodeBody(uint8_t type);

    // Decodes `body` as a message of `type` (as the receive dispatch does)
    // and returns the dispatch result (-1, 1 or 2).
    int Decode(uint8_t type, const Bytes& body);

private:
    RfaLink link_{};
    ZelContext* context_ = nullptr;
};

Bytes TextBytes(const std::string& text);

}  // namespace zeltest
