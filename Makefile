# Thin wrapper over CMake. `make` builds, `make test` builds and runs every
# test (a normal build, clang-tidy over the sources, an AddressSanitizer +
# UndefinedBehaviorSanitizer build, a ThreadSanitizer build of the server's
# and the hardening tests, then short fuzz runs), `make fuzz` runs the fuzz
# targets longer, `make demo` runs the main job, `make bench` runs the
# benchmarks, `make install` installs the library, its header and package
# files, zeld and zelft under PREFIX.
BUILD ?= build
BENCH_BUILD ?= build-bench
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
# Seconds per fuzz target: in `make test`, and in `make fuzz`.
FUZZ_SECONDS ?= 20
FUZZ_LONG_SECONDS ?= 600
JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CTEST_FLAGS ?= --output-on-failure -j$(JOBS)
PREFIX ?= /usr/local

.PHONY: all test test-normal test-tidy test-asan test-tsan test-fuzz fuzz fuzz-build bench demo install clean

all:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

test: test-normal test-tidy test-asan test-tsan test-fuzz

test-normal: all
	ctest --test-dir $(BUILD) $(CTEST_FLAGS)

# clang-tidy with .clang-tidy over src/, from the normal build's compile commands.
test-tidy: all
	tests/tidy/run.sh $(BUILD) $(JOBS)

test-asan:
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DZEL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) $(CTEST_FLAGS)

# The server's tests and the hardening tests (faults, load: many threads of
# the library, many clients of one zeld) under ThreadSanitizer. The zeld and
# zelft these tests start are built with it too.
test-tsan:
	cmake -S . -B $(TSAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_TSAN=ON
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target zeld_tests hardening_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --test-dir $(TSAN_BUILD) -L 'zeld|hardening' $(CTEST_FLAGS)

# The libFuzzer targets (clang), each run for FUZZ_SECONDS on a copy of its seed corpus.
fuzz-build:
	@command -v clang++ >/dev/null 2>&1 || { echo "the fuzz targets need clang++ (Debian package clang)" >&2; exit 1; }
	cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZEL_FUZZ=ON -DZEL_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzzers

test-fuzz: fuzz-build
	tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Longer fuzz runs: FUZZ_LONG_SECONDS (10 minutes) per target.
fuzz: fuzz-build
	tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_LONG_SECONDS)

# The main job: zeld on loopback over a sample tree, a zelft session against it.
demo: all
	bash examples/demo.sh $(BUILD)

# DESTDIR=/staging make install stages the installation.
install: all
	cmake --install $(BUILD) --prefix $(PREFIX)

# The transfers side by side with the raw framed transfer (bench/run.sh: 1 GiB
# files on loopback, a few minutes), then the microbenchmarks.
bench:
	cmake -S . -B $(BENCH_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DZEL_BENCH=ON -DZEL_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	bash bench/run.sh $(BENCH_BUILD)
	$(BENCH_BUILD)/bench/zel_micro_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
