// The server's file spec parser: Unix paths and the bracketed
// form, with wildcards, in both personalities.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "zeld/file_spec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    zeld::FileSpec spec;
    zeld::ParseFileSpec(text, zeld::Personality::kStream, &spec);
    zeld::FileSpec records;
    zeld::ParseFileSpec(text, zeld::Personality::kRecords, &records);
    return 0;
}
