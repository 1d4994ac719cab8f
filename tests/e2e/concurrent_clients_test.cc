// 64 clients at once, each a thread with a link of its own, each sending a
// file of 1 MiB up and fetching it back, half of them binary files in image
// mode, half CR LF text in text mode: every byte arrives right.
#include <atomic>
#include <thread>

#include "e2e_fixture.h"

namespace e2etest {
namespace {

constexpr int kClients = 64;  // every link the library has
constexpr size_t kFileSize = size_t{1} << 20;

struct ClientResult {
    int32_t openResult = -1;
    int32_t uploadResult = -1;
    int32_t downloadResult = -1;
    bool stored = false;   // the server's file is the client's
    bool fetched = false;  // and so is what came back
};

class ConcurrentClients : public EndToEnd, public ::testing::WithParamInterface<std::string> {
protected:
    ConcurrentClients() : EndToEnd(ZeldOptions{GetParam(), "", {}}) {}
};

TEST_P(ConcurrentClients, EachCopiesAFileBothWaysWithEveryByteRight) {
    auto modeOf = [](int client) { return client % 2 == 0 ? uint16_t{RFA_MODE_IMAGE} : uint16_t{RFA_MODE_TEXT}; };
    std::vector<std::string> contents;
    std::vector<std::string> stored;  // as the server keeps it
    for (int i = 0; i < kClients; ++i) {
        const auto seed = static_cast<unsigned>(100 + i);
        const bool text = modeOf(i) == RFA_MODE_TEXT;
        contents.push_back(text ? CrLfText(kFileSize, seed) : BinaryContent(kFileSize, seed));
        WriteFile(Local("up" + std::to_string(i)), contents.back());
        // records: text is kept as LF lines; an image of whole 512-byte records as it is.
        std::string kept = contents.back();
        if (text && GetParam() == "records") {
            kept.clear();
            for (const char c : contents.back()) {
                if (c != '\r') kept += c;
            }
        }
        stored.push_back(kept);
    }
    std::vector<ClientResult> results(kClients);
    std::atomic<int> opened{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            const std::string number = std::to_string(i);
            ClientResult& result = results[i];
            Link link(server.node());
            result.openResult = link.openResult();
            // Every link is open before any copy starts, so that all of them run at once.
            ++opened;
            while (opened.load() < kClients) std::this_thread::yield();
            if (result.openResult != RFA_OK) return;
            result.uploadResult = link.Upload(Local("up" + number), "file" + number + ".dat", modeOf(i));
            result.downloadResult = link.Download("file" + number + ".dat", Local("down" + number), modeOf(i));
        });
    }
    for (std::thread& client : clients) client.join();
    for (int i = 0; i < kClients; ++i) {
        const std::string number = std::to_string(i);
        results[i].stored = ReadFile(server.Path("file" + number + ".dat")) == stored[i];
        results[i].fetched = ReadFile(Local("down" + number)) == contents[i];
        EXPECT_EQ(results[i].openResult, RFA_OK) << "client " << i;
        EXPECT_EQ(results[i].uploadResult, RFA_OK) << "client " << i;
        EXPECT_EQ(results[i].downloadResult, RFA_OK) << "client " << i;
        EXPECT_TRUE(results[i].stored) << "client " << i;
        EXPECT_TRUE(results[i].fetched) << "client " << i;
    }
    EXPECT_EQ(DirectoryNames(server.root()).size(), static_cast<size_t>(kClients));  // no temporary file left
}

INSTANTIATE_TEST_SUITE_P(BothPersonalities, ConcurrentClients, ::testing::Values("stream", "records"),
                         PersonalityName);

}  // namespace
}  // namespace e2etest
