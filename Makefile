# Thin wrapper over CMake. `make` builds, `make test` builds and runs every
# test (a normal build, then an AddressSanitizer + UndefinedBehaviorSanitizer
# build, then short fuzz runs), `make demo` runs the main job, `make bench`
# runs the benchmarks, `make install` installs the library, its header and
# package files, zeld and zelft under PREFIX.
BUILD ?= build
BENCH_BUILD ?= build-bench
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CTEST_FLAGS ?= --output-on-failure -j$(JOBS)
PREFIX ?= /usr/local

.PHONY: all test test-normal test-asan test-fuzz bench demo install clean

all:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

test: test-normal test-asan test-fuzz

test-normal: all
	ctest --test-dir $(BUILD) $(CTEST_FLAGS)

test-asan:
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DZEL_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) $(CTEST_FLAGS)

test-fuzz:
	@if command -v clang++ >/dev/null 2>&1 && [ -d tests/fuzz ]; then \
	  cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZEL_FUZZ=ON -DZEL_TESTS=OFF && \
	  cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzzers && \
	  tests/fuzz/run.sh $(FUZZ_BUILD) $${FUZZ_SECONDS:-20}; \
	else echo "fuzz targets skipped (no clang++ or no targets)"; fi

# The main job: zeld on loopback over a sample tree, a zelft session against it.
demo: all
	bash examples/demo.sh $(BUILD)

# DESTDIR=/staging make install stages the installation.
install: all
	cmake --install $(BUILD) --prefix $(PREFIX)

bench:
	cmake -S . -B $(BENCH_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DZEL_BENCH=ON -DZEL_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	$(BENCH_BUILD)/bench/zel_micro_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
