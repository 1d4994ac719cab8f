// The CONNECT frame's payload, as the server reads it from any client.
#include <cstddef>
#include <cstdint>

#include "ztsock/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ztsock::ConnectFields fields;
    if (ztsock::DecodeConnectPayload(data, size, &fields)) {
        // What decodes must encode back to the same bytes.
        std::vector<uint8_t> again;
        if (!ztsock::EncodeConnectPayload(fields, &again) || again.size() != size) __builtin_trap();
    }
    return 0;
}
