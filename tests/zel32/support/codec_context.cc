#include "codec_context.h"

#include <cstring>
#include <stdexcept>

#include "support/zel_messages.h"
#include "wire/header.h"
#include "zel32/api/context_lifecycle.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/send_path.h"

namespace zeltest {

CodecContext::CodecContext() {
    link_.handle = 1;
    std::strcpy(link_.nodeName, "node");
    context_ = RfaCreateContext(&link_);
    if (context_ == nullptr) throw std::runtime_error("no context");
    context_->state = kStateOpen;
    context_->peerBlocking = true;
}

CodecContext::~CodecContext() {
    RfaReleaseContextBuffers(context_);
    RfaReleaseContext(context_);
}

void CodecContext::SetPeerCapabilities(std::initializer_list<unsigned> bits) {
    std::memset(context_->peerSyscap, 0, sizeof context_->peerSyscap);
    const Bytes syscap = Syscap(bits);
    std::memcpy(context_->peerSyscap, syscap.data(), syscap.size());
}

Bytes CodecContext::Encode(uint8_t type) {
    context_->writeCursor = 0;
    context_->messageStart = 0;
    if (ZelEncodeMessage(context_, type) < 0) return {};
    const size_t length = context_->writeCursor;
    wire::FillLength(context_->sendBuffer, length);
    return Bytes(context_->sendBuffer, context_->sendBuffer + length);
}

Bytes CodecContext::EncodeBody(uint8_t type) {
    Bytes message = Encode(type);
    if (message.empty()) return {};
    const size_t header = wire::HeaderLengthFor(message[1]);
    return Bytes(message.begin() + static_cast<long>(header), message.end());
}

int CodecContext::Decode(uint8_t type, const Bytes& body) {
    if (!body.empty()) std::memcpy(context_->receiveBuffer, body.data(), body.size());
    context_->messageBody = 0;
    context_->readCursor = 0;
    context_->lastReceivedType = type;
    return ZelDecodeMessage(context_, static_cast<int>(body.size()));
}

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace zeltest
