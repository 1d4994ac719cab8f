// The physical limit the copies are measured against: one file moved over
// one TCP connection on loopback in the transport's own frames of 32256-byte
// payload, read from a file by the sender and written to a file by the
// receiver (a process of its own, writing a megabyte at a time), with
// nothing else in between.
//
//   zel_raw_transfer SOURCE TARGET
//
// Prints "seconds cpu_seconds bytes" on one line.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/write_all.h"
#include "ztsock/server.h"
#include "ztsock/ztsock.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    rusage children{};
    getrusage(RUSAGE_SELF, &usage);
    getrusage(RUSAGE_CHILDREN, &children);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + children.ru_utime.tv_sec +
                               children.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec + children.ru_utime.tv_usec +
                               children.ru_stime.tv_usec) / 1e6;
}

// The receiver writes the file a megabyte at a time, so that the limit is
// set by the framing and the connection rather than by small file calls.
constexpr size_t kFileChunk = size_t{1} << 20;

using zelbench::WriteAll;

bool Receive(std::unique_ptr<ztsock::ServerConnection> connection, const char* target, long long* bytes) {
    ztsock::ConnectRequest request;
    if (!connection->ReadConnect(&request, 5000) || !connection->Accept()) return false;
    const int fd = ::open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    // Frames are received straight into the chunk, which is written when
    // the next frame might not fit.
    std::vector<char> chunk(kFileChunk);
    size_t filled = 0;
    bool ok = true;
    for (;;) {
        if (chunk.size() - filled < ztsock::kMaxPayload) {
            ok = WriteAll(fd, chunk.data(), filled);
            if (!ok) break;
            filled = 0;
        }
        ztsock::FrameKind kind;
        int16_t error = 0;
        const int32_t n = connection->Receive(chunk.data() + filled, ztsock::kMaxPayload, &kind, 60000, &error);
        if (n == 0) break;
        if (n < 0) {
            ok = false;
            break;
        }
        filled += static_cast<size_t>(n);
        *bytes += n;
    }
    ok = ok && WriteAll(fd, chunk.data(), filled);
    return ::close(fd) == 0 && ok;
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
    // The receiver is a process of its own, as the receiving end of a copy is.
    const pid_t receiver = ::fork();
    if (receiver < 0) {
        std::perror("fork");
        return 1;
    }
    if (receiver == 0) {
        long long bytes = 0;
        _exit(Receive(listener->Accept(10000), argv[2], &bytes) ? 0 : 1);
    }
    const uint16_t port = listener->port();
    listener.reset();

    int16_t errorNumber = 0;
    const std::string node = "127.0.0.1:" + std::to_string(port);
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
    int status = 0;
    const bool receivedAll = ::waitpid(receiver, &status, 0) == receiver && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    struct stat target {};
    const long long received = ::stat(argv[2], &target) == 0 ? static_cast<long long>(target.st_size) : -1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!sent || !receivedAll) {
        std::fprintf(stderr, "transfer failed\n");
        return 1;
    }
    std::printf("%.4f %.4f %lld\n", seconds, CpuSeconds() - cpuBefore, received);
    return 0;
}
