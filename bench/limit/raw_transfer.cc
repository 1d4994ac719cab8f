// The physical limit the copies are measured against: one file moved over
// one TCP connection on loopback in the transport's own frames of 32256-byte
// payload, read from a file by the sender and written to a file by the
// receiver, with nothing else in between.
//
//   zel_raw_transfer SOURCE TARGET
//
// Prints "seconds cpu_seconds bytes" on one line.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ztsock/server.h"
#include "ztsock/ztsock.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool Receive(std::unique_ptr<ztsock::ServerConnection> connection, const char* target, long long* bytes) {
    ztsock::ConnectRequest request;
    if (!connection->ReadConnect(&request, 5000) || !connection->Accept()) return false;
    const int fd = ::open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::vector<char> frame(ztsock::kMaxPayload);
    for (;;) {
        ztsock::FrameKind kind;
        int16_t error = 0;
        const int32_t n = connection->Receive(frame.data(), frame.size(), &kind, 60000, &error);
        if (n == 0) break;
        if (n < 0 || ::write(fd, frame.data(), static_cast<size_t>(n)) != n) {
            ::close(fd);
            return false;
        }
        *bytes += n;
    }
    return ::close(fd) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zel_raw_transfer SOURCE TARGET\n");
        return 2;
    }
    std::string error;
    auto listener = ztsock::Listener::Open("127.0.0.1:0", &error);
    if (!listener) {
        std::fprintf(stderr, "listen: %s\n", error.c_str());
        return 1;
    }
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    long long received = 0;
    bool receivedAll = false;
    std::thread receiver([&] { receivedAll = Receive(listener->Accept(10000), argv[2], &received); });

    int16_t errorNumber = 0;
    const std::string node = "127.0.0.1:" + std::to_string(listener->port());
    const int32_t connection = ztsock::Connect(node.c_str(), "#17", &errorNumber);
    const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    bool sent = connection >= 0 && fd >= 0;
    std::vector<char> block(ztsock::kMaxPayload);
    while (sent) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n <= 0) {
            sent = n == 0;
            break;
        }
        sent = ztsock::Send(static_cast<uint16_t>(connection), block.data(), static_cast<uint16_t>(n), 0, &errorNumber) >= 0;
    }
    if (fd >= 0) ::close(fd);
    int32_t value = 0;
    if (connection >= 0) ztsock::Close(static_cast<uint16_t>(connection), &value);
    receiver.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!sent || !receivedAll) {
        std::fprintf(stderr, "transfer failed\n");
        return 1;
    }
    std::printf("%.4f %.4f %lld\n", seconds, CpuSeconds() - cpuBefore, received);
    return 0;
}
