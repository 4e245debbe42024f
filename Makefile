# Set-up, build and test entry points. Each target installs what is missing first.
BUILD_DIR ?= build
SAN_DIR ?= build-sanitize
TSAN_DIR ?= build-tsan
CLANG_DIR ?= build-clang
AARCH64_DIR ?= build-aarch64
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release -DVIEWER_WERROR=ON

# Benchmarks run in a real window: under a virtual X server when there is no display.
BENCH_ARGS ?= --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
BENCH_X = $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1024x768x24")

.PHONY: all deps configure build run test unit-test sanitize-test tsan-test clang-test aarch64-test \
	package \
	screenshot bench clean format fresh-test

all: build

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/scalar-field-viewer

# Every test of the optimised build, again under ASan and UBSan, the unit tests under
# ThreadSanitizer, every test built by Clang, then the unit tests built for aarch64 and run under
# emulation. See docs/testing.md.
test: unit-test sanitize-test tsan-test clang-test aarch64-test

unit-test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

sanitize-test: deps
	cmake -S . -B $(SAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIEWER_WERROR=ON -DVIEWER_SANITIZE=ON
	cmake --build $(SAN_DIR) -j $(JOBS)
	ctest --test-dir $(SAN_DIR) --output-on-failure -j $(JOBS)

# The field library and the viewer's unit tests under ThreadSanitizer: the field pass split into
# parts and the extraction on its helper thread. The first report ends its test, which fails.
tsan-test: deps
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIEWER_WERROR=ON -DVIEWER_TSAN=ON \
	  -DVIEWER_UNIT_TESTS_ONLY=ON
	cmake --build $(TSAN_DIR) -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir $(TSAN_DIR) --output-on-failure -j $(JOBS)

# The program and every test built by Clang, with the flags of the optimised build.
clang-test: deps
	cmake -S . -B $(CLANG_DIR) -DCMAKE_CXX_COMPILER=clang++ $(CMAKE_FLAGS)
	cmake --build $(CLANG_DIR) -j $(JOBS)
	ctest --test-dir $(CLANG_DIR) --output-on-failure -j $(JOBS)

# The libraries and their unit tests cross-built for aarch64, with GoogleTest from Debian's
# sources, listed and run by CTest under qemu-aarch64 (see the toolchain file).
aarch64-test: deps
	cmake -S . -B $(AARCH64_DIR) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/aarch64-linux-gnu.cmake \
	  $(CMAKE_FLAGS) -DVIEWER_UNIT_TESTS_ONLY=ON -DVIEWER_GTEST_SOURCE_DIR=/usr/src/googletest
	cmake --build $(AARCH64_DIR) -j $(JOBS)
	ctest --test-dir $(AARCH64_DIR) --output-on-failure -j $(JOBS)

# `make test` in a fresh minimal root of a Debian release (debootstrap), on a clone of REPO at
# REV: as root, and not part of `make test`. See docs/testing.md.
SUITE ?= trixie
REPO ?= $(CURDIR)
REV ?= HEAD
fresh-test:
	./scripts/fresh-root-test.sh $(SUITE) $(REPO) $(REV)

# The Debian package, in $(BUILD_DIR).
package: build
	cd $(BUILD_DIR) && cpack -G DEB

# docs/first-frame.png from the end-to-end first-frame checks, kept only when they pass.
screenshot: build
	./scripts/update-screenshot.sh $(BUILD_DIR)

bench: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target scalar-field-bench
	$(BENCH_X) ./$(BUILD_DIR)/bench/scalar-field-bench $(BENCH_ARGS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR) $(SAN_DIR) $(TSAN_DIR) $(CLANG_DIR) $(AARCH64_DIR)
