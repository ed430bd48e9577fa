# Front door for the build: installs what is missing, configures CMake and runs the jobs.
BUILD ?= build
JOBS ?= $(shell nproc)
NATIVE_PACKAGES = cmake make g++ googletest
# The figure tests read the SVG back with Python's standard library.
NATIVE_PACKAGES += python3

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
