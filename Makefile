# Set-up, build and test entry points. Each target installs what is missing first. The builds
# are the presets of CMakePresets.json, which IDEs open too: `cmake --list-presets` lists them.
BUILD_DIR = build
WINDOWS_DIR = build-windows
WEB_DIR = build-web
JOBS ?= $(shell nproc)
# The workflow presets build and test on $(JOBS) processors.
PRESET_JOBS = CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) CTEST_PARALLEL_LEVEL=$(JOBS)

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
	cmake --preset release

build: configure
	cmake --build --preset release -j $(JOBS)

run: build
	./$(BUILD_DIR)/scalar-field-viewer

# Every test of the optimised build, again under ASan and UBSan, the unit tests under
# ThreadSanitizer, every test built by Clang, the unit tests built for aarch64 and run under
# emulation, the Windows build under Wine, then the page in headless Chromium. Each pass is the workflow preset of its name
# (configure, build, test) in a directory of its own. See docs/testing.md.
test: unit-test sanitize-test tsan-test clang-test aarch64-test windows-test web-test

unit-test: deps
	$(PRESET_JOBS) cmake --workflow --preset unit-test

sanitize-test: deps
	$(PRESET_JOBS) cmake --workflow --preset sanitize-test

# The field library and the viewer's unit tests under ThreadSanitizer: the field pass split into
# parts and the extraction on its helper thread. The first report ends its test, which fails
# (the test preset sets TSAN_OPTIONS=halt_on_error=1).
tsan-test: deps
	$(PRESET_JOBS) cmake --workflow --preset tsan-test

# The program and every test built by Clang, with the flags of the optimised build.
clang-test: deps
	$(PRESET_JOBS) cmake --workflow --preset clang-test

# The libraries and their unit tests cross-built for aarch64, with GoogleTest from Debian's
# sources, listed and run by CTest under qemu-aarch64 (see the toolchain file).
aarch64-test: deps
	$(PRESET_JOBS) cmake --workflow --preset aarch64-test

# The Windows program, $(WINDOWS_DIR)/scalar-field-viewer.exe, and its unit tests, cross-built with
# MinGW-w64 against freeglut, zlib and libpng built from Debian's sources into $(WINDOWS_DIR)/deps.
windows: deps
	./scripts/windows-deps.sh $(WINDOWS_DIR)
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)

# The Windows unit tests under Wine (CTest runs them through the toolchain file's emulator) and the
# installer's round trip, then the end-to-end cases of the Linux build's harness against the .exe
# under Wine (the test preset windows-e2e). Those run one at a time: Wine's desktop gives the
# keyboard to one window at a time, whatever X server each is on.
windows-test: deps build
	./scripts/windows-deps.sh $(WINDOWS_DIR)
	$(PRESET_JOBS) cmake --workflow --preset windows-test
	ctest --preset windows-e2e

# The web build's unit tests under node, then the page's end-to-end cases in headless Chromium
# (tests/web), whose frames and files are compared with the Linux build's.
WEB_TEST_DIR ?= $(WEB_DIR)/browser-tests
web-test: web build
	CTEST_PARALLEL_LEVEL=$(JOBS) ctest --preset web
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
	cmake --preset web
	cmake --build --preset web -j $(JOBS)

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
	cmake --build --preset release -j $(JOBS) --target scalar-field-bench
	$(BENCH_X) ./$(BUILD_DIR)/bench/scalar-field-bench $(BENCH_ARGS)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-sanitize build-tsan build-clang build-aarch64 build-windows build-web
