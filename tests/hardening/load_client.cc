// The client of the many-clients test: a host program of the shared
// library that opens LINKS links, each on a thread of its own, and then,
// all at once, copies a file of SIZE bytes up on each link and back down,
// and compares what came back with what it sent.
//
//   hardening_load_client NODE LINKS SIZE WORKDIR NAME READY GO
//
// Remote files are NAME-I.bin. Once every link is open it creates the file
// READY, then waits (at most two minutes) for the file GO before copying.
// Prints one line per link ("link I: ok" or what failed) and exits 0 when
// every link succeeded.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zel32.h"

namespace {

int32_t Ignore(uint32_t, uint32_t, intptr_t, const char*) { return 0; }

// SIZE bytes that differ from link to link and from place to place.
std::string Content(size_t size, unsigned seed) {
    std::string content(size, '\0');
    uint32_t state = 0x9E3779B9u * (seed + 1);
    for (char& c : content) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state & 0xFF);
    }
    return content;
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

std::string Describe(const char* step, RfaHandle handle, int32_t result) {
    RfaLinkStatus status{};
    RfaLook(handle, &status, sizeof status);
    char text[160];
    std::snprintf(text, sizeof text, "%s failed: result %d, error %u, value 0x%X, detail %d", step, result,
                  status.errorCode, static_cast<unsigned>(status.errorValue), status.errorDetail);
    return text;
}

struct Start {
    std::mutex mutex;
    std::condition_variable changed;
    size_t opened = 0;
    bool go = false;
};

std::string RunLink(const std::string& node, size_t index, size_t size, const std::string& workdir,
                    const std::string& name, Start* start) {
    RfaOpenLinkParams params{};
    std::snprintf(params.nodeName, sizeof params.nodeName, "%s", node.c_str());
    params.notify = Ignore;
    const int32_t opened = RfaOpenLink(&params);
    {
        std::unique_lock<std::mutex> lock(start->mutex);
        ++start->opened;
        start->changed.notify_all();
        start->changed.wait(lock, [&] { return start->go; });
    }
    if (opened != 0) {
        if (params.handle != 0) RfaCloseLink(params.handle);
        return "open failed: " + std::to_string(opened);
    }
    const RfaHandle handle = params.handle;
    const std::string content = Content(size, static_cast<unsigned>(index));
    const std::string remote = name + "-" + std::to_string(index) + ".bin";
    const std::string source = workdir + "/up-" + remote;
    const std::string back = workdir + "/down-" + remote;
    std::ofstream(source, std::ios::binary) << content;
    std::string outcome = "ok";
    int32_t result = RfaCopy(handle, source.c_str(), remote.c_str(), RFA_COPY_UPLOAD, RFA_MODE_IMAGE, nullptr);
    if (result != 0) {
        outcome = Describe("upload", handle, result);
    } else if ((result = RfaCopy(handle, remote.c_str(), back.c_str(), RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE, nullptr)) !=
               0) {
        outcome = Describe("download", handle, result);
    } else {
        std::ifstream in(back, std::ios::binary);
        const std::string received((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (received != content) outcome = "the bytes that came back differ (" + std::to_string(received.size()) + ")";
    }
    ::unlink(source.c_str());
    ::unlink(back.c_str());
    if ((result = RfaCloseLink(handle)) != 0 && outcome == "ok") outcome = "close failed: " + std::to_string(result);
    return outcome;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr, "usage: %s NODE LINKS SIZE WORKDIR NAME READY GO\n", argv[0]);
        return 2;
    }
    const std::string node = argv[1];
    const size_t links = std::strtoul(argv[2], nullptr, 10);
    const size_t size = std::strtoul(argv[3], nullptr, 10);
    const std::string workdir = argv[4];
    const std::string name = argv[5];
    const std::string ready = argv[6];
    const std::string go = argv[7];

    Start start;
    std::vector<std::string> outcomes(links);
    std::vector<std::thread> threads;
    threads.reserve(links);
    for (size_t i = 0; i < links; ++i) {
        threads.emplace_back([&, i] { outcomes[i] = RunLink(node, i, size, workdir, name, &start); });
    }
    {
        std::unique_lock<std::mutex> lock(start.mutex);
        start.changed.wait(lock, [&] { return start.opened == links; });
    }
    std::ofstream(ready) << "ready\n";
    for (int waited = 0; !Exists(go) && waited < 120000; waited += 10) ::usleep(10000);
    {
        std::lock_guard<std::mutex> lock(start.mutex);
        start.go = true;
        start.changed.notify_all();
    }
    int failures = 0;
    for (size_t i = 0; i < links; ++i) {
        threads[i].join();
        if (outcomes[i] != "ok") ++failures;
        std::printf("link %zu: %s\n", i, outcomes[i].c_str());
    }
    return failures == 0 ? 0 : 1;
}
