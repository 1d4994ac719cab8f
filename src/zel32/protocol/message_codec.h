// The message table: for each message type, whether the library builds it,
// its body encoder and decoder, and how the dispatch turns the decoder's
// result into the receive result (1 done, 2 more to come, -1 failure).
#pragma once

#include <cstdint>

#include "wire/fields.h"

struct ZelContext;

// An encoder writes the body behind the header; 1, or -1 after recording an error.
using ZelEncoder = int (*)(ZelContext*, wire::Writer&);
// A decoder reads a received body into the context; 1, or -1 (error recorded,
// or a status that is not expected here).
using ZelDecoder = int (*)(ZelContext*, wire::Reader&);

enum class ZelDispatch : uint8_t {
    kRefused,       // no decoder: error 20
    kBodyless,      // nothing to decode: 2
    kOwnResult,     // the decoder's result
    kMoreWhenDone,  // 2 when the decoder gives 1, else its result
    kMoreOrFail,    // 2 when the decoder gives 1, else -1
};

struct ZelMessageCodec {
    bool sendable;     // the encoder builds this type (a null encoder: header only)
    ZelEncoder encode;
    ZelDecoder decode;
    ZelDispatch dispatch;
};

const ZelMessageCodec& ZelCodecFor(unsigned type);
