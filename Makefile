# Velloran: one-command set-up on a Debian machine.
#   make run    install what is missing, build, start the player
#   make test   install what is missing, build, run every test through ctest
#   make bench  build and run the benchmarks under bench/
#   make package build the Debian packages (velloran, librelaywick1, librelaywick-dev)
#   make format reformat the sources with clang-format
#   make fuzz T=name S=seconds   build the libFuzzer targets (clang) and run one
#   make fuzz-ci S=seconds       run every fuzz target for S seconds (CI)

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

FUZZ_DIR ?= build-fuzz
S ?= 60

.PHONY: all deps configure build run test bench package format clean fuzz-build fuzz fuzz-ci

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

# The fuzz targets have a build tree of their own: clang, libFuzzer and the sanitizers.
fuzz-build: deps
	@cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVELLORAN_FUZZ=ON \
	    -DVELLORAN_TESTS=OFF -DVELLORAN_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz-targets

fuzz: fuzz-build
	@test -n "$(T)" || { echo "usage: make fuzz T=name [S=seconds]; names: $$(ls fuzz/corpus)"; exit 2; }
	fuzz/run.sh $(FUZZ_DIR) $(T) $(S)

fuzz-ci: fuzz-build
	@for t in $$(ls fuzz/corpus); do fuzz/run.sh $(FUZZ_DIR) $$t $(S) || exit 1; done

format:
	@git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
