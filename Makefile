# Front door of the build. On a fresh Debian 12 machine:
#   make demo    build everything and show an upgrade run against the simulated MCU
#   make test    build everything and run the whole test suite
# Both install the Debian packages they need first (as root; otherwise they
# name the missing ones and stop). The build directories come from
# CMakePresets.json: build/default and build/asan.

# Everything the build, the tests, the demo and `make lint` use, in one place.
DEBIAN_PACKAGES := \
	make build-essential g++ cmake git python3 \
	libgtest-dev libgmock-dev googletest libbenchmark-dev \
	qt6-base-dev qt6-base-dev-tools libgl-dev fonts-wqy-microhei \
	xvfb xauth librsvg2-bin python3-pil \
	clang clang-tidy clang-format libclang-rt-14-dev valgrind cppcheck \
	util-linux procps

BUILD := build/default
ASAN_BUILD := build/asan
JOBS := $(shell nproc 2>/dev/null || echo 2)

# cmake prints only warnings and errors when configuring; the build and the
# tests speak for themselves.
CONFIGURE := cmake --log-level=WARNING --preset
CTEST_FLAGS := --output-on-failure --no-tests=error --parallel $(JOBS)

# cmake's own makefiles run under this one; keep them from announcing every
# directory they enter.
MAKEFLAGS += --no-print-directory

.DEFAULT_GOAL := help
.PHONY: help deps configure build test demo asan lint format clean

help:
	@echo "make demo     build and show an upgrade run against the simulated MCU"
	@echo "make test     build and run the whole test suite"
	@echo "make build    configure and build ($(BUILD))"
	@echo "make asan     build and test with AddressSanitizer and UBSan ($(ASAN_BUILD))"
	@echo "make lint     clang-format, clang-tidy and cppcheck; fails on any finding"
	@echo "make format   rewrite the C++ sources in the checked-in style"
	@echo "make clean    remove $(BUILD) and $(ASAN_BUILD)"

deps:
	@bash tools/install-deps.sh $(DEBIAN_PACKAGES)

configure: deps
	@$(CONFIGURE) default

build: configure
	@cmake --build --preset default --parallel $(JOBS)

test: build
	@ctest --preset default $(CTEST_FLAGS)

# The demo itself lives in tools/demo.sh; it gets the build directory.
demo: build
	@if [ -f tools/demo.sh ]; then \
		bash tools/demo.sh $(BUILD); \
	else \
		echo "The demo arrives with the simulated MCU; $(BUILD) is built."; \
	fi

asan: deps
	@$(CONFIGURE) asan
	@cmake --build --preset asan --parallel $(JOBS)
	@ctest --preset asan $(CTEST_FLAGS)

lint: build
	@bash tools/lint.sh check $(BUILD)

format: deps
	@bash tools/lint.sh format

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
