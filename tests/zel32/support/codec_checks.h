// Checks shared by the message codec tests: an encoding or decoding that is
// refused with a given error, a decoder run over a body held in a heap block
// of exactly its size (so that AddressSanitizer reports any read past the
// body), the check that every prefix of a body decodes cleanly, and the
// dispatch of an empty body.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "codec_context.h"
#include "wire/fields.h"
#include "zel32/protocol/context.h"

namespace zeltest {

// Encoding a message of `type` fails with `code` (value 0) and writes nothing.
inline void ExpectEncodingRefused(CodecContext& codec, uint8_t type, uint16_t code) {
    codec.link().status.errorCode = 0;
    EXPECT_TRUE(codec.Encode(type).empty());
    EXPECT_EQ(codec.errorCode(), code);
    EXPECT_EQ(codec.errorValue(), 0);
    EXPECT_EQ(codec->writeCursor, 0u);
}

// Decoding `body` as a message of `type` fails with error 20, value 0.
inline void ExpectDecodingRefused(CodecContext& codec, uint8_t type, const Bytes& body) {
    codec.link().status.errorCode = 0;
    EXPECT_EQ(codec.Decode(type, body), -1) << ::testing::PrintToString(body);
    EXPECT_EQ(codec.errorCode(), RFA_ERR_PROTOCOL);
    EXPECT_EQ(codec.errorValue(), 0);
}

// A message of `type` with an empty body, through the receive dispatch. The
// body's storage is reserved so that no null pointer reaches the copy into
// the receive buffer.
inline int DecodeEmptyBody(CodecContext& codec, uint8_t type) {
    Bytes none;
    none.reserve(1);
    return codec.Decode(type, none);
}

using ZelBodyDecoder = int (*)(ZelContext*, wire::Reader&);

struct ExactDecode {
    int result;
    size_t consumed;
};

// The first `length` bytes of `body`, decoded by `decoder` from a block of
// exactly that size.
inline ExactDecode DecodeExactly(ZelBodyDecoder decoder, ZelContext* context, const Bytes& body, size_t length) {
    std::unique_ptr<uint8_t[]> block(new uint8_t[length == 0 ? 1 : length]);
    if (length != 0) std::memcpy(block.get(), body.data(), length);
    // An empty body is given no readable byte at all.
    wire::Reader reader(length == 0 ? nullptr : block.get(), length);
    const int result = decoder(context, reader);
    return {result, length - reader.remaining()};
}

// Every prefix of `body` decodes to 1, or to -1 with error 20 and value 0.
inline void ExpectEveryPrefixDecodesCleanly(ZelBodyDecoder decoder, ZelContext* context, const Bytes& body) {
    for (size_t length = 0; length <= body.size(); ++length) {
        context->link->status.errorCode = 0;
        context->link->status.errorValue = 0;
        const ExactDecode decoded = DecodeExactly(decoder, context, body, length);
        if (decoded.result == 1) {
            EXPECT_EQ(context->link->status.errorCode, 0) << "prefix of " << length << " bytes";
        } else {
            EXPECT_EQ(decoded.result, -1) << "prefix of " << length << " bytes";
            EXPECT_EQ(context->link->status.errorCode, RFA_ERR_PROTOCOL) << "prefix of " << length << " bytes";
            EXPECT_EQ(context->link->status.errorValue, 0) << "prefix of " << length << " bytes";
        }
    }
}

}  // namespace zeltest
