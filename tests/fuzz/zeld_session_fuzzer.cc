// Feeds arbitrary client blocks to one server session on a small tree: the
// first byte picks the personality and whether the server is read-only, the
// rest is cut into blocks by two-byte little-endian lengths.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "wire/message_types.h"
#include "zeld/session.h"
#include "zeld/tree.h"

namespace {

class DiscardingSink : public zeld::BlockSink {
public:
    bool SendBlock(const uint8_t*, size_t) override { return true; }
};

std::string rootPath;

void RemoveRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(rootPath, ignored);
}

std::string MakeRoot() {
    std::string path = (std::filesystem::temp_directory_path() / "zeld-fuzz-XXXXXX").string();
    if (::mkdtemp(path.data()) == nullptr) std::abort();
    rootPath = path;
    std::atexit(RemoveRoot);
    std::filesystem::create_directories(path + "/dir/sub");
    std::ofstream(path + "/a.txt") << "line one\nline two\n";
    std::ofstream(path + "/dir/b.dat") << std::string(1500, 'b');
    std::ofstream(path + "/dir/report.ftn") << "1TITLE\n0X\n+Y\n";
    return path;
}

const zeld::Tree* TreeFor(zeld::Personality personality) {
    static const std::string root = MakeRoot();
    static std::unique_ptr<zeld::Tree> stream = zeld::Tree::Open(root, zeld::Personality::kStream, nullptr);
    static std::unique_ptr<zeld::Tree> records = zeld::Tree::Open(root, zeld::Personality::kRecords, nullptr);
    return personality == zeld::Personality::kStream ? stream.get() : records.get();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const zeld::Personality personality = (data[0] & 1) ? zeld::Personality::kRecords : zeld::Personality::kStream;
    zeld::SessionSettings settings;
    settings.tree = TreeFor(personality);
    // Writing servers change the tree; most inputs run read-only so that the
    // tree the next input sees stays small.
    settings.readOnly = (data[0] & 6) != 0;
    DiscardingSink sink;
    zeld::Session session(settings, zeld::PeerIdentity{"fuzz", "fuzz"}, &sink);
    size_t at = 1;
    while (at + 2 <= size) {
        size_t length = data[at] | (data[at + 1] << 8);
        at += 2;
        if (length > size - at) length = size - at;
        // Received where the session asks, as the server does.
        uint8_t* area = session.ReceiveArea();
        if (area != nullptr && length <= wire::kMaxBlock) {
            std::memcpy(area, data + at, length);
            session.HandleBlock(area, length);
        } else {
            session.HandleBlock(data + at, length);
        }
        for (int pumps = 0; pumps < 64 && session.streaming() && !session.failed(); ++pumps) session.Pump();
        at += length;
    }
    session.Abandon("fuzz input ended");
    return 0;
}
