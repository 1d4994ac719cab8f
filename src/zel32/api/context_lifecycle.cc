#include "zel32/api/context_lifecycle.h"

#include "zel32/protocol/context.h"
#include "zel32/transport/memory.h"

ZelContext* RfaCreateContext(RfaLink* link) {
    auto* context = static_cast<ZelContext*>(RfaAllocBlock(nullptr, sizeof(ZelContext)));
    if (context == nullptr) return nullptr;
    context->link = link;
    context->sendBuffer = static_cast<uint8_t*>(RfaAllocBlock(context, kBufferSize + kSendSpare));
    context->receiveBuffer = static_cast<uint8_t*>(RfaAllocBlock(context, kBufferSize));
    context->workBuffer = static_cast<uint8_t*>(RfaAllocBlock(context, kBufferSize + kSendSpare));
    context->recordData = static_cast<uint8_t*>(RfaAllocBlock(context, kBufferSize + 1));
    if (context->sendBuffer == nullptr || context->receiveBuffer == nullptr || context->workBuffer == nullptr ||
        context->recordData == nullptr) {
        RfaReleaseContextBuffers(context);
        RfaFreeBlock(nullptr, context);
        return nullptr;
    }
    context->state = kStateCreated;
    context->bufferSize = static_cast<uint16_t>(kBufferSize);
    context->lastSentType = wire::kConfiguration;
    context->useCreationDate = 1;
    return context;
}

int RfaReleaseContextBuffers(ZelContext* context) {
    uint8_t** buffers[] = {&context->sendBuffer, &context->receiveBuffer, &context->workBuffer,
                           &context->recordData, &context->recordBuffer};
    for (uint8_t** buffer : buffers) {
        if (RfaFreeBlock(context, *buffer) < 0) return -1;
        *buffer = nullptr;
    }
    return 1;
}

int RfaReleaseContext(ZelContext* context) { return RfaFreeBlock(nullptr, context); }
