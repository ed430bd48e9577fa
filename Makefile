# Front door for the build: installs what is missing, configures CMake and runs the jobs.
BUILD ?= build
JOBS ?= $(shell nproc)
NATIVE_PACKAGES = cmake make g++ googletest

.PHONY: deps configure build run test clean

deps:
	@tools/install-deps.sh $(NATIVE_PACKAGES)

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

# Analyses the bundled example transect.
run: build
	@$(BUILD)/veltrass-cli examples/transect.txt

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)

# Benchmarks, in their own build folder: whole analyses, the measurement and the shuffle, each
# beside the written form of its steps. BENCH_FLAGS passes Google Benchmark options.
BENCH_BUILD ?= build-bench
BENCH_FLAGS ?= --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

.PHONY: bench soak

bench:
	@tools/install-deps.sh $(NATIVE_PACKAGES) libbenchmark-dev
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRASS_TESTS=OFF \
		-DVELTRASS_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS) --target engine_bench -- --no-print-directory
	@$(BENCH_BUILD)/bench/engine_bench $(BENCH_FLAGS)

# The differential test on 10 million generated arrangements instead of the default.
SOAK_ARRANGEMENTS ?= 10000000

soak: build
	@VELTRASS_ARRANGEMENTS=$(SOAK_ARRANGEMENTS) $(BUILD)/tests/differential_tests
