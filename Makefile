# Front door for the build: installs what is missing, configures CMake and runs the jobs.
BUILD ?= build
JOBS ?= $(shell nproc)
NATIVE_PACKAGES = cmake make g++ googletest
# The figure tests read the SVG back with Python's standard library.
NATIVE_PACKAGES += python3

# The native suite again with AddressSanitizer and UndefinedBehaviorSanitizer; any report is fatal.
SANITIZE_BUILD ?= build-asan
SANITIZE_FLAGS = -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
SANITIZE_ENV = ASAN_OPTIONS=abort_on_error=0:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The station reader fuzzer: clang's libFuzzer with the same sanitizers.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_PACKAGES = cmake make clang libclang-rt-14-dev

.PHONY: deps configure build run test test-sanitized fuzz clean

deps:
	@tools/install-deps.sh $(NATIVE_PACKAGES)

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

# Analyses the bundled example transect.
run: build
	@$(BUILD)/veltrass-cli examples/transect.txt

test: build win64 win32
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@cd $(BUILD_WIN64) && ctest --output-on-failure -j $(JOBS)
	@tools/check-imports.sh $(BUILD_WIN32)/ui/veltrass.exe
	@$(MAKE) --no-print-directory test-sanitized

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD) $(BUILD_WIN64) $(BUILD_WIN32) $(BENCH_BUILD) dist

# The Windows program: a 32-bit build for the release and a 64-bit build whose tests (the engine's
# unit tests and the window's end-to-end tests) run under Wine on a private X display.
WINDOWS_PACKAGES = g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 \
	binutils-mingw-w64-x86-64 wine64 fonts-wine xvfb zip
BUILD_WIN64 ?= build-win64
BUILD_WIN32 ?= build-win32
DIST_NAME = veltrass-1.0-win32

.PHONY: windows-deps win64 win32 dist gui screenshot

windows-deps:
	@tools/install-deps.sh $(WINDOWS_PACKAGES)

win64: windows-deps
	@cmake --no-warn-unused-cli -S . -B $(BUILD_WIN64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo \
		"-DCMAKE_CROSSCOMPILING_EMULATOR=$(CURDIR)/tools/wine-run.sh;$(CURDIR)/$(BUILD_WIN64)/wine" >/dev/null
	@cmake --build $(BUILD_WIN64) -j $(JOBS) -- --no-print-directory

win32: windows-deps
	@cmake --no-warn-unused-cli -S . -B $(BUILD_WIN32) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
		-DCMAKE_BUILD_TYPE=Release -DVELTRASS_TESTS=OFF >/dev/null
	@cmake --build $(BUILD_WIN32) -j $(JOBS) -- --no-print-directory

# The release archive: the 32-bit program, its help and the example station files (CR LF lines).
dist: win32
	@tools/check-imports.sh $(BUILD_WIN32)/ui/veltrass.exe
	@rm -rf $(BUILD_WIN32)/$(DIST_NAME) dist/$(DIST_NAME).zip
	@mkdir -p $(BUILD_WIN32)/$(DIST_NAME)/examples dist
	@cp $(BUILD_WIN32)/ui/veltrass.exe ui/readme.html $(BUILD_WIN32)/$(DIST_NAME)/
	@cp examples/*.txt $(BUILD_WIN32)/$(DIST_NAME)/examples/
	@cd $(BUILD_WIN32) && zip -q -X -r $(CURDIR)/dist/$(DIST_NAME).zip $(DIST_NAME) -x '*.txt' \
		&& zip -q -X -l -r $(CURDIR)/dist/$(DIST_NAME).zip $(DIST_NAME)/examples
	@echo "dist/$(DIST_NAME).zip"

# Opens the window under Wine on this machine's display (the 64-bit build; Linux).
gui: win64
	@tools/wine-run.sh --here $(BUILD_WIN64)/wine $(BUILD_WIN64)/ui/veltrass.exe

# Retakes docs/screenshot.png under Xvfb.
screenshot: win64
	@tools/screenshot.sh

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

test-sanitized: deps
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE_FLAGS)" >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS) -- --no-print-directory
	@cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure -j $(JOBS)

# Fuzzes the station reader for FUZZ_SECONDS; new inputs collect in $(FUZZ_BUILD)/corpus and a
# failing input is saved beside them as crash-*, leak-* or timeout-*.
fuzz:
	@tools/install-deps.sh $(FUZZ_PACKAGES)
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DVELTRASS_TESTS=OFF -DVELTRASS_FUZZ=ON \
		-DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS) -fsanitize=fuzzer-no-link" >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target station_reader_fuzz -- --no-print-directory
	@mkdir -p $(FUZZ_BUILD)/corpus
	$(SANITIZE_ENV) $(FUZZ_BUILD)/fuzz/station_reader_fuzz -max_total_time=$(FUZZ_SECONDS) \
		-max_len=8192 -timeout=10 -dict=fuzz/station.dict -print_final_stats=1 \
		-artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus fuzz/corpus examples
