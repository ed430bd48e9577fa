# Front door for the build: installs what is missing, configures CMake and runs the jobs.
BUILD ?= build
JOBS ?= $(shell nproc)
NATIVE_PACKAGES = cmake make g++ googletest

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

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-sanitized

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

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)
