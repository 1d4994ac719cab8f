// The file checksum: byte at a time from the table, and eight bytes per step.
#include <benchmark/benchmark.h>

#include <vector>

#include "wire/checksum.h"

namespace {

std::vector<uint8_t> Data(size_t size) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 131 + 7);
    return data;
}

void ChecksumBytewise(benchmark::State& state) {
    const auto data = Data(static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(wire::ChecksumBytewise(0, data.data(), data.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void ChecksumSliced(benchmark::State& state) {
    const auto data = Data(static_cast<size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(wire::Checksum(0, data.data(), data.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(ChecksumBytewise)->Arg(80)->Arg(512)->Arg(32256);
BENCHMARK(ChecksumSliced)->Arg(80)->Arg(512)->Arg(32256);

}  // namespace
