# Front door of the build. On a fresh Debian 12 machine:
#   make demo    build everything and show an upgrade run against the simulated MCU
#   make test    build everything and run the whole test suite
#   make check   the contributor's loop: the default build and its suite, nothing else
# They install the Debian packages they need first (as root; otherwise they
# name the missing ones and stop). `make help` lists every target. The build
# directories come from CMakePresets.json: build/<preset>.

SHELL := /bin/bash

# The Debian packages, in groups: each target asks only for the groups it
# uses (tools/install-deps.sh installs what is missing as root, or names it).
# core: the default build, its suite (`make check`) and the demo.
CORE_PACKAGES := \
	make build-essential g++ cmake git python3 \
	libgtest-dev libgmock-dev googletest libbenchmark-dev \
	qt6-base-dev qt6-base-dev-tools libgl-dev fonts-wqy-microhei \
	librsvg2-bin python3-pil util-linux procps dpkg-dev
# Header-only libraries of the command-line programs (options, JSON lines),
# used by the Linux and the MinGW build alike.
CORE_PACKAGES += libcli11-dev nlohmann-json3-dev
# The manual pages' check renders them as man does; the package test of the
# default suite checks each .deb with lintian, and the station's service with
# systemd-analyze.
CORE_PACKAGES += man-db lintian systemd

# analysis: the sanitizer build's fuzz targets (clang, libFuzzer) and valgrind.
ANALYSIS_PACKAGES := clang libclang-rt-14-dev valgrind

# lint: the style and the static checks.
LINT_PACKAGES := clang clang-tidy clang-format cppcheck

# windows: MinGW-w64 (posix threads, see cmake/mingw-w64-x86_64.cmake) and
# Wine 64-bit to run its tests, its demo and its benchmark under an Xvfb of
# their own, with the X libraries its display driver loads (recommended by
# Wine, so not installed with it here), the source of the Chinese locale that
# the end-to-end test compiles for itself, and xdotool for real key presses
# and a drag of the window's caption in the input test.
WINDOWS_PACKAGES := \
	g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 \
	wine wine64 libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3 \
	locales xvfb xauth xdotool

# arm: Debian's cross compilers for armhf and arm64, the target's Qt and
# GoogleTest from Debian's packages of that architecture beside the machine's
# own (multiarch; tools/install-deps.sh adds the architecture), qemu-user to
# run the tests.
ARM_PRESETS := armhf arm64
ARM_BUILDS := $(foreach preset,$(ARM_PRESETS),build/$(preset))
ARM_PACKAGES := \
	g++-arm-linux-gnueabihf g++-aarch64-linux-gnu qemu-user file \
	$(foreach arch,$(ARM_PRESETS),qt6-base-dev:$(arch) libgtest-dev:$(arch) libgmock-dev:$(arch))

# web: Debian's emscripten for the page's module (it brings the Node.js that
# runs its tests), and for the tests in a real browser Debian's Chromium with
# its driver, Selenium and websockets, for Debian's own Python.
WEB_PACKAGES := emscripten chromium chromium-driver python3-selenium python3-websockets

ALL_PACKAGES := $(CORE_PACKAGES) $(ANALYSIS_PACKAGES) $(LINT_PACKAGES) $(WINDOWS_PACKAGES) \
	$(ARM_PACKAGES) $(WEB_PACKAGES)
INSTALL_DEPS := bash tools/install-deps.sh

BUILD := build/default
ASAN_BUILD := build/asan
JOBS := $(shell nproc 2>/dev/null || echo 2)

# cmake prints only warnings and errors when configuring; the build and the
# tests speak for themselves.
CONFIGURE := cmake --log-level=WARNING --preset
CTEST_OPTIONS := --output-on-failure --no-tests=error
CTEST_FLAGS := $(CTEST_OPTIONS) --parallel $(JOBS)
# The default suite's tests mostly wait on their pseudo-terminals, the
# simulated MCU's pace and their subprocesses, not on the processor: three
# at a time per core end it in half the time (make check).
CHECK_CTEST_FLAGS := $(CTEST_OPTIONS) --parallel $(shell echo $$(( 3 * $(JOBS) )))

# A cross build's tests and scripts run this machine's own simulated MCU,
# the one of the default build.
HOST_BUILD := -DVARDEL_HOST_BUILD=$(CURDIR)/$(BUILD)

# cmake's own makefiles run under this one; keep them from announcing every
# directory they enter.
MAKEFLAGS += --no-print-directory

.DEFAULT_GOAL := help
.PHONY: help demo test check build configure deps deps-all deps-analysis deps-lint deps-windows deps-arm asan fuzz fuzz-long valgrind soak bench reliability-report
.PHONY: lint format package clean
.PHONY: windows windows-test demo-windows bench-windows dist-windows clean-windows
.PHONY: arm arm-test clean-arm
.PHONY: web web-test demo-web bench-web dist-web clean-web deps-web

# `make help` lists every target that has a "## " note on its line, in the
# order of this file.
help: ## this list
	@awk -F':.*## ' '/^[a-z-]+:.*## / { printf "make %-18s %s\n", $$1, $$2 }' $(MAKEFILE_LIST)

deps: ## install the missing Debian packages of the core group (the default build, check, demo)
	@$(INSTALL_DEPS) $(CORE_PACKAGES)

deps-all: ## install the missing Debian packages of every group (make test)
	@$(INSTALL_DEPS) $(ALL_PACKAGES)

deps-analysis:
	@$(INSTALL_DEPS) $(CORE_PACKAGES) $(ANALYSIS_PACKAGES)

deps-lint:
	@$(INSTALL_DEPS) $(CORE_PACKAGES) $(LINT_PACKAGES) $(WINDOWS_PACKAGES)

deps-windows:
	@$(INSTALL_DEPS) $(CORE_PACKAGES) $(WINDOWS_PACKAGES)

deps-arm:
	@$(INSTALL_DEPS) $(CORE_PACKAGES) $(ARM_PACKAGES)

deps-web:
	@$(INSTALL_DEPS) $(CORE_PACKAGES) $(WEB_PACKAGES)

configure: deps ## only configure (build/default)
	@$(CONFIGURE) default

build: configure ## configure and build (build/default)
	@cmake --build --preset default --parallel $(JOBS)

# The whole suite: unit, integration and end-to-end tests, the same again
# under AddressSanitizer and UBSan, each fuzz target for FUZZ_SECONDS, the
# end-to-end tests once under valgrind, then the Windows, the ARM and the
# browser's suites.
test: deps-all ## build and run the whole test suite (what CI runs)
	@$(MAKE) --no-print-directory check
	@$(MAKE) --no-print-directory asan
	@$(MAKE) --no-print-directory fuzz
	@$(MAKE) --no-print-directory valgrind
	@$(MAKE) --no-print-directory windows-test
	@$(MAKE) --no-print-directory arm-test
	@$(MAKE) --no-print-directory web-test
	@echo "make test: every stage passed"

# The contributor's loop: after a change to one engine source, under a
# minute on a 2-core machine (README, Contributor notes).
check: build ## the default build and its ctest suite: unit, integration, end-to-end
	@ctest --preset default $(CHECK_CTEST_FLAGS)

FUZZ_SECONDS ?= 60
FUZZ_BUILD := build/fuzz
FUZZ_TARGETS := parser_fuzz engine_fuzz

# New inputs go to a scratch corpus in the build; the seeds in the repository
# stay as they are.
fuzz: deps-analysis ## each libFuzzer target for FUZZ_SECONDS (60) (build/fuzz)
	@$(CONFIGURE) fuzz
	@cmake --build --preset fuzz --parallel $(JOBS) --target $(FUZZ_TARGETS)
	@for t in $(FUZZ_TARGETS); do \
		name=$${t%_fuzz}; mkdir -p $(FUZZ_BUILD)/corpus/$$name; \
		echo "fuzzing $$t for $(FUZZ_SECONDS) s"; \
		$(FUZZ_BUILD)/tests/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
			-artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus/$$name tests/fuzz/corpus/$$name \
			> $(FUZZ_BUILD)/$$t.log 2>&1 || { tail -n 40 $(FUZZ_BUILD)/$$t.log; exit 1; }; \
		grep -E 'number_of_executed_units' $(FUZZ_BUILD)/$$t.log; \
	done

fuzz-long: ## each libFuzzer target for 30 minutes
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=1800

VALGRIND := valgrind -q --error-exitcode=99 --child-silent-after-fork=yes \
	--leak-check=full --errors-for-leak-kinds=definite

valgrind: build deps-analysis ## the end-to-end tests under valgrind memcheck
	@echo "end-to-end tests under valgrind memcheck"
	@$(VALGRIND) $(BUILD)/tests/e2e_tests --gtest_brief=1 2>&1 \
		| grep -vE '^-------------|unhandled ioctl|spurious value errors|README_MISSING_SYSCALL'; \
		exit $${PIPESTATUS[0]}

# Measures the figures of docs/reliability.md and writes its table.
reliability-report: build deps-analysis ## measure and write the table of docs/reliability.md
	@BUILD=$(BUILD) SOAK_RUNS=$(SOAK_RUNS) FUZZ_SECONDS=$(FUZZ_SECONDS) bash tools/reliability-report.sh

SOAK_RUNS ?= 200
SOAK_SEED ?= 2026

soak: build ## SOAK_RUNS (200) upgrades with faults drawn from SOAK_SEED
	@VARDEL_SOAK_RUNS=$(SOAK_RUNS) VARDEL_SOAK_SEED=$(SOAK_SEED) \
		$(BUILD)/tests/e2e_tests --gtest_filter='Soak.*' 2>&1 | grep -vE '^-------------'; \
		exit $${PIPESTATUS[0]}

# The performance benchmark (about three minutes): the whole program against
# the simulated MCU. Not part of `make test`.
bench: configure ## measure the whole program against the simulated MCU; writes docs/performance.md
	@cmake --build --preset default --parallel $(JOBS) --target vardel_bench
	@$(BUILD)/bench/vardel_bench --output docs/performance.md

# The demo itself lives in tools/demo.sh; it gets the build directory.
demo: build ## build and show an upgrade run against the simulated MCU
	@bash tools/demo.sh $(BUILD)

asan: deps-analysis ## build and test with AddressSanitizer and UBSan (build/asan)
	@$(CONFIGURE) asan
	@cmake --build --preset asan --parallel $(JOBS)
	@ctest --preset asan $(CTEST_FLAGS)

# The Windows sources are read through the Windows build's compile database,
# which configuring alone writes: the Windows tree is not built for it.
lint: build deps-lint ## clang-format, clang-tidy and cppcheck; fails on any finding
	@$(CONFIGURE) windows $(HOST_BUILD)
	@bash tools/lint.sh check $(BUILD) $(WINDOWS_BUILD)

format: deps-lint ## rewrite the C++ sources in the checked-in style
	@bash tools/lint.sh format

clean: ## remove every build folder
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

# The Debian packages (CPack; cmake/Packaging.cmake) of each build, one per
# program, each checked with lintian.
package: build arm ## the Debian packages for amd64, armhf and arm64, checked with lintian
	@for build in $(BUILD) $(ARM_BUILDS); do \
		(cd $$build && cpack >/dev/null) || exit 1; \
		for deb in $$build/*.deb; do \
			lintian --fail-on error $$deb || exit 1; \
			echo "$(CURDIR)/$$deb"; \
		done; \
	done

# --- Windows: Vardel.exe built with MinGW-w64, run and tested under Wine -----
# Everything Windows runs in one Wine prefix of the build's own,
# $(WINDOWS_BUILD)/wine, made once (tools/wine/prefix.sh); each run keeps one
# wineserver up for its length (tools/wine/session.sh). The tests always get
# an Xvfb of their own; the demo and the benchmark use the caller's display
# when there is one.
WINDOWS_BUILD := build/windows
WINE_SESSION := bash tools/wine/session.sh $(WINDOWS_BUILD)/wine
XVFB := xvfb-run -a -s "-screen 0 1280x1024x24"
SOME_DISPLAY = $(if $(DISPLAY)$(WAYLAND_DISPLAY),,$(XVFB))

windows: deps-windows ## build Vardel.exe for Windows with MinGW-w64 (build/windows)
	@$(CONFIGURE) windows $(HOST_BUILD)
	@cmake --build --preset windows --parallel $(JOBS)
	@echo "built $(WINDOWS_BUILD)/app/Vardel.exe ($$(stat -c %s $(WINDOWS_BUILD)/app/Vardel.exe) bytes)"

# The default build first: the end-to-end test runs the Linux simulator.
windows-test: build windows ## the Windows suite under Wine (part of make test)
	@echo "the Windows suite under Wine"
	@$(XVFB) $(WINE_SESSION) ctest --preset windows $(CTEST_FLAGS)

# DPI=144: the same at 150 % scaling; the picture is docs/dialog-windows-144dpi.png.
DPI ?= 96
demo-windows: build windows ## Vardel.exe under Wine against the simulated MCU
	@DPI=$(DPI) $(SOME_DISPLAY) $(WINE_SESSION) bash tools/demo-windows.sh $(BUILD) $(WINDOWS_BUILD)

bench-windows: build windows ## measure Vardel.exe under Wine; writes its part of docs/performance.md
	@$(SOME_DISPLAY) $(WINE_SESSION) bash tools/bench-windows.sh $(BUILD) $(WINDOWS_BUILD) docs/performance.md

# The release zip; its name, version and list of files are the build's
# (tools/win32/CMakeLists.txt).
dist-windows: windows ## the release zip build/windows/Vardel-<version>-win64.zip
	@cmake --build --preset windows --target dist
	@ls $(CURDIR)/$(WINDOWS_BUILD)/Vardel-*-win64.zip

clean: clean-windows
clean-windows: ## remove build/windows
	rm -rf $(WINDOWS_BUILD)

# --- ARM: the same programs for 32-bit and 64-bit ARM Linux, tested under
# qemu-user against this machine's own simulated MCU ---------------------------
arm: deps-arm ## build for 32-bit and 64-bit ARM Linux (build/armhf, build/arm64)
	@for preset in $(ARM_PRESETS); do \
		$(CONFIGURE) $$preset $(HOST_BUILD) && cmake --build --preset $$preset --parallel $(JOBS) || exit 1; \
		file -b build/$$preset/app/vardel | cut -d, -f1-2 | sed "s|^|built build/$$preset/app/vardel: |"; \
	done

# The default build first: the tests play against its simulated MCU.
arm-test: build arm ## both ARM suites under qemu-user (part of make test)
	@for preset in $(ARM_PRESETS); do \
		echo "the $$preset suite under qemu-user"; \
		ctest --preset $$preset $(CTEST_FLAGS) || exit 1; \
	done

clean: clean-arm
clean-arm: ## remove build/armhf and build/arm64
	rm -rf $(ARM_BUILDS)

# --- the page in the browser: the engine and the dialog in WebAssembly, built
# with Debian's emscripten (the preset names its toolchain file, as emcmake
# would), tested under Node and in headless Chromium ----------------------------
WEB_BUILD := build/web-build
WEB_PAGE := build/web
WEB_PYTHON := /usr/bin/python3
WEB_HOST := $(BUILD) $(WEB_PAGE)

web: deps-web ## build the page: build/web (index.html, its script, style and the engine's module)
	@$(CONFIGURE) web $(HOST_BUILD)
	@cmake --build --preset web --parallel $(JOBS) --target vardel-engine
	@echo "built $(WEB_PAGE)/: serve it, e.g. cd $(WEB_PAGE) && python3 -m http.server, and open http://localhost:8000/"

# The default build first: the browser's tests play against its simulated MCU.
web-test: build web ## the engine's and the dialog's suites under Node, the page in headless Chromium (part of make test)
	@cmake --build --preset web --parallel $(JOBS)
	@echo "the browser's suites: under Node, and in headless Chromium"
	@ctest --preset web $(CTEST_FLAGS)

demo-web: build web ## the page's whole run in headless Chromium against the simulated MCU
	@$(WEB_PYTHON) tools/demo-web.py $(WEB_HOST)

bench-web: build web ## measure the page in Chromium; writes its part of docs/performance.md
	@$(WEB_PYTHON) tools/bench-web.py $(WEB_HOST) docs/performance.md

dist-web: web ## the page zipped: build/web/vardel-web-<version>.zip
	@cmake --build --preset web --target dist-web
	@ls $(CURDIR)/$(WEB_PAGE)/vardel-web-*.zip

clean: clean-web
clean-web: ## remove build/web-build and build/web
	rm -rf $(WEB_BUILD) $(WEB_PAGE)
