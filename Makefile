# Vantifex: the commands a developer and CI use. Everything builds with CMake and Ninja.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test run sanitize tsan fuzz bench format format-check clean

# Configures build directory $(1) with the flags $(2) (and environment settings $(3)). The
# progress lines go to $(1)/configure.log; warnings and errors are shown, on failure the log too.
define configure_in
	@mkdir -p $(1)
	@$(3) cmake -S . -B $(1) -G Ninja $(2) >$(1)/configure.log || \
	    { cat $(1)/configure.log; echo "configure failed: see above"; exit 1; }
endef

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	$(call configure_in,$(BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS))

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

run: build
	@scripts/run-app.sh $(BUILD)

sanitize: deps
	$(call configure_in,build-sanitize,-DCMAKE_BUILD_TYPE=Debug -DVFX_SANITIZE=ON)
	@cmake --build build-sanitize -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --test-dir build-sanitize --output-on-failure -j $(JOBS)

# The thread tests (ctest label "threads") under ThreadSanitizer. Any report fails the run;
# tests/tsan.supp silences only reports inside the uninstrumented image libraries.
tsan: deps
	$(call configure_in,build-tsan,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVFX_TSAN=ON)
	@cmake --build build-tsan -j $(JOBS) --target threads_tests browse_threads_tests
	@TSAN_OPTIONS="halt_on_error=1 exitcode=66 suppressions=$(CURDIR)/tests/tsan.supp" \
	    ctest --test-dir build-tsan -L threads --output-on-failure -j $(JOBS)

fuzz: deps
	$(call configure_in,build-fuzz,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVFX_FUZZ=ON,CC=clang CXX=clang++)
	@cmake --build build-fuzz -j $(JOBS)
	@echo "fuzz targets are in build-fuzz/fuzz; run one with: scripts/fuzz.sh NAME SECONDS"

bench: deps
	$(call configure_in,build-bench,-DCMAKE_BUILD_TYPE=Release -DVFX_BENCH=ON -DVFX_TESTS=OFF)
	@cmake --build build-bench -j $(JOBS)
	@scripts/run-bench.sh build-bench

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails, naming the files, when a tracked source differs from what .clang-format makes of it.
# Any other failure of clang-format (not installed, a bad style file) fails too, with its output.
format-check: deps
	@out=$$(git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror 2>&1); \
	rc=$$?; \
	if [ $$rc -ne 0 ]; then \
	    files=$$(printf '%s\n' "$$out" | sed -n 's/^\(.*\.\(cpp\|h\)\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u); \
	    if [ -n "$$files" ]; then \
	        echo "format-check: not formatted (make format fixes them):"; printf '  %s\n' $$files; \
	    else \
	        printf '%s\n' "$$out"; echo "format-check: clang-format failed"; \
	    fi; \
	    exit 1; \
	fi; \
	echo "format-check: $$(git ls-files '*.cpp' '*.h' | wc -l) files formatted"

clean:
	rm -rf $(BUILD) build-sanitize build-tsan build-fuzz build-bench

# The window under Xvfb, saved as a picture: make screenshot [SHOT=out.png] [PHOTO=path]
SHOT  ?= vantifex.png
PHOTO ?= samples/landscape.jpg
.PHONY: screenshot
screenshot: build
	@BUILD=$(BUILD) scripts/screenshot.sh $(SHOT) $(PHOTO)
