# Velloran: one-command set-up on a Debian machine.
#   make run    install what is missing, build, start the player
#   make test   install what is missing, build, run every test through ctest
#   make bench  build and run the benchmarks under bench/
#   make package build the Debian packages (velloran, librelaywick1, librelaywick-dev)
#   make format reformat the sources with clang-format

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench package format clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# With no settings yet, the first run opens the sample dictation. ARGS is one
# file path and may hold blanks.
run: build
	@conf="$${XDG_CONFIG_HOME:-$$HOME/.config}/Velloran/Velloran.conf"; \
	args="$(ARGS)"; \
	if [ -z "$$args" ] && [ ! -f "$$conf" ]; then args="$(BUILD_DIR)/bin/samples/sample-dictation.wav"; fi; \
	if [ -n "$$args" ]; then exec $(BUILD_DIR)/bin/velloran "$$args"; else exec $(BUILD_DIR)/bin/velloran; fi

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

bench: build
	bench/run-all.sh $(BUILD_DIR)

package: build
	@cmake --build $(BUILD_DIR) --target package

format:
	@git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
