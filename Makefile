# Vantifex: the commands a developer and CI use. Everything builds with CMake and Ninja.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test run sanitize fuzz bench format clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

run: build
	@scripts/run-app.sh $(BUILD)

sanitize: deps
	@cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVFX_SANITIZE=ON >/dev/null
	@cmake --build build-sanitize -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --test-dir build-sanitize --output-on-failure -j $(JOBS)

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DVFX_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@echo "fuzz targets are in build-fuzz/fuzz; run one with: scripts/fuzz.sh NAME SECONDS"

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVFX_BENCH=ON \
	    -DVFX_TESTS=OFF >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@scripts/run-bench.sh build-bench

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-sanitize build-fuzz build-bench

# The window under Xvfb, saved as a picture: make screenshot [SHOT=out.png] [PHOTO=path]
SHOT  ?= vantifex.png
PHOTO ?= samples/landscape.jpg
.PHONY: screenshot
screenshot: build
	@BUILD=$(BUILD) scripts/screenshot.sh $(SHOT) $(PHOTO)
