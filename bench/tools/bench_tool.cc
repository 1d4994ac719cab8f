// The helper of bench/run.sh: makes the benchmark's data and measures one
// case, so that the driver needs nothing but a shell.
//
//   zel_bench_tool generate binary|text|text-crlf FILE BYTES
//       a file of pseudo-random bytes, or of 80-byte lines (79 characters and
//       LF, or 78 characters and CR LF; BYTES rounded down to whole lines)
//   zel_bench_tool files DIR COUNT
//       COUNT small files in DIR
//   zel_bench_tool run [--server PID] [--parallel N] [--output FILE] [--settle MS] -- COMMAND ARGUMENT...
//       runs the command (N copies at once, "{}" in an argument replaced by
//       the copy's number), its standard output going to FILE (by default
//       thrown away), and prints
//       "wall client_cpu server_cpu client_peak_kb server_peak_kb server_base_kb":
//       wall seconds, the CPU seconds of the command's processes and of the
//       server process PID during the run (with its children that it has
//       reaped: --settle waits MS milliseconds after the command for that),
//       the largest resident size of one
//       command process, and the server's resident peak during the run and
//       its resident size before it (kB)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/write_all.h"

namespace {

constexpr size_t kLineLength = 80;
constexpr size_t kChunk = 1 << 20;

int Usage() {
    std::fprintf(stderr,
                 "usage: zel_bench_tool generate binary|text|text-crlf FILE BYTES\n"
                 "       zel_bench_tool files DIR COUNT\n"
                 "       zel_bench_tool run [--server PID] [--parallel N] [--output FILE] [--settle MS] -- COMMAND ARGUMENT...\n");
    return 2;
}

using zelbench::WriteAll;

// A chunk of text lines: printable characters, shifted by one on each line
// so that no two neighbouring lines are the same.
std::vector<uint8_t> TextChunk(bool crlf) {
    static const char kCharacters[] =
        "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 .,;:-+=()[]<>?!";
    const size_t alphabet = sizeof kCharacters - 1;
    const size_t textLength = kLineLength - (crlf ? 2 : 1);
    std::vector<uint8_t> chunk(kChunk);
    for (size_t line = 0; line < kChunk / kLineLength; ++line) {
        uint8_t* out = chunk.data() + line * kLineLength;
        for (size_t i = 0; i < textLength; ++i) out[i] = static_cast<uint8_t>(kCharacters[(line + i) % alphabet]);
        if (crlf) out[textLength] = '\r';
        out[kLineLength - 1] = '\n';
    }
    chunk.resize(kChunk / kLineLength * kLineLength);
    return chunk;
}

int Generate(const std::string& kind, const char* path, uint64_t bytes) {
    const bool binary = kind == "binary";
    if (!binary && kind != "text" && kind != "text-crlf") return Usage();
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path);
        return 1;
    }
    std::vector<uint8_t> chunk = binary ? std::vector<uint8_t>(kChunk) : TextChunk(kind == "text-crlf");
    if (!binary) bytes -= bytes % kLineLength;  // whole lines
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (uint64_t done = 0; done < bytes;) {
        if (binary) {
            // xorshift64*: incompressible enough for a transfer.
            for (size_t i = 0; i + 8 <= chunk.size(); i += 8) {
                state ^= state >> 12;
                state ^= state << 25;
                state ^= state >> 27;
                const uint64_t value = state * 0x2545F4914F6CDD1Dull;
                std::memcpy(chunk.data() + i, &value, 8);
            }
        }
        const size_t take = bytes - done < chunk.size() ? static_cast<size_t>(bytes - done) : chunk.size();
        if (!WriteAll(fd, chunk.data(), take)) {
            std::perror(path);
            ::close(fd);
            return 1;
        }
        done += take;
    }
    return ::close(fd) == 0 ? 0 : 1;
}

int Files(const char* directory, long count) {
    if (::mkdir(directory, 0755) != 0 && errno != EEXIST) {
        std::perror(directory);
        return 1;
    }
    for (long i = 0; i < count; ++i) {
        char name[4096];
        std::snprintf(name, sizeof name, "%s/file%05ld.dat", directory, i);
        const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::perror(name);
            return 1;
        }
        char text[64];
        const int length = std::snprintf(text, sizeof text, "file %ld\n", i);
        const bool written = WriteAll(fd, reinterpret_cast<const uint8_t*>(text), static_cast<size_t>(length));
        if (::close(fd) != 0 || !written) return 1;
    }
    return 0;
}

// CPU seconds of a process so far (all its threads, and the children it has
// waited for), from /proc.
double ProcessCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long ticks = 0;
    // Fields from the state (3rd) on: utime, stime, cutime and cstime are
    // the 14th to the 17th.
    for (int number = 3; number <= 17 && (fields >> field); ++number) {
        if (number >= 14) ticks += std::strtoull(field.c_str(), nullptr, 10);
    }
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// A "Name: value kB" line of /proc/PID/status, in kB.
long StatusKb(pid_t pid, const char* name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const size_t length = std::strlen(name);
    while (std::getline(status, line)) {
        if (line.compare(0, length, name) == 0 && line.size() > length && line[length] == ':')
            return std::strtol(line.c_str() + length + 1, nullptr, 10);
    }
    return 0;
}

// Resets the process's resident peak (VmHWM) to its present size.
void ResetPeak(pid_t pid) {
    std::ofstream clear("/proc/" + std::to_string(pid) + "/clear_refs");
    clear << "5\n";
}

double Seconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int Run(int argc, char** argv) {
    pid_t server = 0;
    long parallel = 1;
    const char* output = "/dev/null";
    long settleMs = 0;
    int at = 0;
    for (; at < argc && std::strcmp(argv[at], "--") != 0; ++at) {
        if (std::strcmp(argv[at], "--server") == 0 && at + 1 < argc) {
            server = static_cast<pid_t>(std::atol(argv[++at]));
        } else if (std::strcmp(argv[at], "--parallel") == 0 && at + 1 < argc) {
            parallel = std::atol(argv[++at]);
        } else if (std::strcmp(argv[at], "--output") == 0 && at + 1 < argc) {
            output = argv[++at];
        } else if (std::strcmp(argv[at], "--settle") == 0 && at + 1 < argc) {
            settleMs = std::atol(argv[++at]);
        } else {
            return Usage();
        }
    }
    if (at + 1 >= argc || parallel < 1) return Usage();
    const std::vector<std::string> command(argv + at + 1, argv + argc);

    long serverBase = 0;
    double serverCpu = 0;
    if (server != 0) {
        ResetPeak(server);
        serverBase = StatusKb(server, "VmRSS");
        serverCpu = ProcessCpuSeconds(server);
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<pid_t> children;
    for (long copy = 0; copy < parallel; ++copy) {
        std::vector<std::string> arguments = command;
        for (std::string& argument : arguments) {
            const size_t mark = argument.find("{}");
            if (mark != std::string::npos) argument.replace(mark, 2, std::to_string(copy));
        }
        const pid_t child = ::fork();
        if (child < 0) {
            std::perror("fork");
            return 1;
        }
        if (child == 0) {
            std::vector<char*> pointers;
            for (std::string& argument : arguments) pointers.push_back(argument.data());
            pointers.push_back(nullptr);
            const int out = ::open(output, O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (out >= 0) ::dup2(out, STDOUT_FILENO);
            ::execvp(pointers[0], pointers.data());
            std::perror(pointers[0]);
            ::_exit(127);
        }
        children.push_back(child);
    }
    bool failed = false;
    double clientCpu = 0;
    long clientPeak = 0;
    for (const pid_t child : children) {
        int status = 0;
        rusage usage{};
        if (::wait4(child, &status, 0, &usage) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) failed = true;
        clientCpu += Seconds(usage);
        if (usage.ru_maxrss > clientPeak) clientPeak = usage.ru_maxrss;
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    long serverPeak = 0;
    if (server != 0) {
        if (settleMs > 0) ::usleep(static_cast<useconds_t>(settleMs * 1000));
        serverCpu = ProcessCpuSeconds(server) - serverCpu;
        serverPeak = StatusKb(server, "VmHWM");
    }
    if (failed) {
        std::fprintf(stderr, "zel_bench_tool: %s failed\n", command[0].c_str());
        return 1;
    }
    std::printf("%.4f %.4f %.4f %ld %ld %ld\n", wall, clientCpu, serverCpu, clientPeak, serverPeak, serverBase);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "generate" && argc == 5) return Generate(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
    if (command == "files" && argc == 4) return Files(argv[2], std::atol(argv[3]));
    if (command == "run") return Run(argc - 2, argv + 2);
    return Usage();
}
