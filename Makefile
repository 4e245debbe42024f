# Set-up, build and test entry points. Each target installs what is missing first.
BUILD_DIR ?= build
SAN_DIR ?= build-sanitize
TSAN_DIR ?= build-tsan
CLANG_DIR ?= build-clang
AARCH64_DIR ?= build-aarch64
WINDOWS_DIR ?= build-windows
WEB_DIR ?= build-web
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release -DVIEWER_WERROR=ON

# Benchmarks run in a real window: under a virtual X server when there is no display.
BENCH_ARGS ?= --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
BENCH_X = $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1024x768x24")

.PHONY: all deps configure build run test unit-test sanitize-test tsan-test clang-test aarch64-test \
	package screenshot bench clean format fresh-test windows windows-test windows-package \
	web web-test web-bench

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
# ThreadSanitizer, every test built by Clang, the unit tests built for aarch64 and run under
# emulation, the Windows build under Wine, then the page in headless Chromium. See docs/testing.md.
test: unit-test sanitize-test tsan-test clang-test aarch64-test windows-test web-test

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

# The Windows program, $(WINDOWS_DIR)/scalar-field-viewer.exe, and its unit tests, cross-built with
# MinGW-w64 against freeglut, zlib and libpng built from Debian's sources into $(WINDOWS_DIR)/deps.
windows: deps
	./scripts/windows-deps.sh $(WINDOWS_DIR)
	cmake -S . -B $(WINDOWS_DIR) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/x86_64-w64-mingw32.cmake \
	  $(CMAKE_FLAGS) -DVIEWER_GTEST_SOURCE_DIR=/usr/src/googletest \
	  -DVIEWER_E2E_TESTS=$(CURDIR)/$(BUILD_DIR)/tests/e2e/e2e_tests
	cmake --build $(WINDOWS_DIR) -j $(JOBS)

# Wine as the Windows tests run it: a prefix in the build folder, no debugging output, and neither
# Mono nor Gecko, so that it never offers to download them.
WINE64 ?= /usr/lib/wine/wine64
WINE_ENV = WINEPREFIX=$(CURDIR)/$(WINDOWS_DIR)/wine WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=

# The Windows unit tests under Wine (CTest runs them through the toolchain file's emulator) and the
# installer's round trip, then the end-to-end cases of the Linux build's harness against the .exe
# under Wine. Those run one at a time: Wine's desktop gives the keyboard to one window at a time,
# whatever X server each is on.
windows-test: windows build
	ctest --test-dir $(WINDOWS_DIR) --output-on-failure -j $(JOBS)
	$(WINE_ENV) VIEWER_LAUNCHER=$(WINE64) VIEWER_BINARY=$(CURDIR)/$(WINDOWS_DIR)/scalar-field-viewer.exe \
	  ctest --test-dir $(BUILD_DIR) --output-on-failure -L e2e -LE package

# The web build's unit tests under node, then the page's end-to-end cases in headless Chromium
# (tests/web), whose frames and files are compared with the Linux build's.
WEB_TEST_DIR ?= $(WEB_DIR)/browser-tests
web-test: web build
	ctest --test-dir $(WEB_DIR) --output-on-failure -j $(JOBS)
	./scripts/web-test-deps.sh
	cmake -S tests/web -B $(WEB_TEST_DIR) -DVIEWER_PAGE=$(CURDIR)/$(WEB_DIR)/scalar-field-viewer.html \
	  -DVIEWER_LINUX_BINARY=$(CURDIR)/$(BUILD_DIR)/scalar-field-viewer
	ctest --test-dir $(WEB_TEST_DIR) --output-on-failure -j $(JOBS)

# The page's latency in headless Chromium for the events of the native latency benchmarks at
# N = 128, printed beside the native benchmarks' figures for them from the same run.
WEB_BENCH_FILTER = ^BM_(EventCamera|EventIsolevel|EventBallMove|EventGridFiner|EventLighting|FrameWire)/128
web-bench: web configure
	./scripts/web-test-deps.sh
	cmake --build $(BUILD_DIR) -j $(JOBS) --target scalar-field-bench
	$(BENCH_X) ./$(BUILD_DIR)/bench/scalar-field-bench --benchmark_filter='$(WEB_BENCH_FILTER)' \
	  $(BENCH_ARGS) --benchmark_out=$(WEB_DIR)/native-bench.json --benchmark_out_format=json
	VIEWER_PAGE=$(CURDIR)/$(WEB_DIR)/scalar-field-viewer.html node tests/web/bench.mjs \
	  $(WEB_DIR)/native-bench.json

# The Windows downloads, in $(WINDOWS_DIR): scalar-field-viewer-<version>-windows-x86_64.zip and
# the installer, scalar-field-viewer-<version>-setup.exe.
windows-package: windows
	cmake --build $(WINDOWS_DIR) --target windows-zip windows-installer

# The page, $(WEB_DIR)/scalar-field-viewer.html, and the unit tests built with emscripten (run
# under node by `ctest --test-dir $(WEB_DIR)`), against zlib and libpng built with it from Debian's
# sources into $(WEB_DIR)/deps. See docs/design.md.
web: deps
	./scripts/web-deps.sh $(WEB_DIR)
	cmake -S . -B $(WEB_DIR) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/emscripten.cmake \
	  $(CMAKE_FLAGS) -DVIEWER_GTEST_SOURCE_DIR=/usr/src/googletest
	cmake --build $(WEB_DIR) -j $(JOBS)

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
	rm -rf $(BUILD_DIR) $(SAN_DIR) $(TSAN_DIR) $(CLANG_DIR) $(AARCH64_DIR) $(WINDOWS_DIR) $(WEB_DIR)
