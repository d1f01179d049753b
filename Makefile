# Front door. `make demo` runs the main job, `make test` builds and runs every
# test; both prepare the host first (tools/setup-host.sh is idempotent).

BUILD_DIR ?= build
# The x86-64 flavour: the same sources for 64-bit Wine, for hosts whose kernel
# runs no 32-bit code. The distribution that ships is the 32-bit one.
BUILD_DIR_X64 ?= $(BUILD_DIR)/x86_64
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

# Whether this host runs 32-bit x86 code, decided here once for every target
# and every script they call: tools/host-runs-32bit.sh answers from
# HOST_RUNS_32BIT when it is set instead of probing again.
ifndef HOST_RUNS_32BIT
HOST_RUNS_32BIT := $(shell tools/host-runs-32bit.sh && echo yes || echo no)
endif
export HOST_RUNS_32BIT
# The flavour the host runs on its own: the shipped 32-bit build where it can,
# the x86-64 one under 64-bit Wine where it cannot.
ifeq ($(HOST_RUNS_32BIT),yes)
HOST_BUILD_TARGET := build-all
HOST_BUILD_DIR := $(BUILD_DIR)
DEMO_NOTE := this host runs 32-bit code: the 32-bit build, as shipped, is installed and run
else
HOST_BUILD_TARGET := build-all-x64
HOST_BUILD_DIR := $(BUILD_DIR_X64)
DEMO_NOTE := this host's kernel runs no 32-bit code: the x86-64 build of the same sources is installed and run under 64-bit Wine
endif

.PHONY: all setup configure configure-x64 dist build-all build-all-x64 test bench fuzz demo clean

all: dist

setup:
	@tools/setup-host.sh

# Every target that builds prepares the host first: on a fresh machine the
# cross compilers are not there yet.
configure: setup
	@tools/configure.sh $(BUILD_DIR) mingw-i686 $(CMAKE_FLAGS)

dist: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target kopiwa setup docs
	@ls -l $(BUILD_DIR)/dist

build-all: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

configure-x64: setup
	@tools/configure.sh $(BUILD_DIR_X64) mingw-x86_64 $(CMAKE_FLAGS)

build-all-x64: configure-x64
	@cmake --build $(BUILD_DIR_X64) -j $(JOBS)

# Every flavour this host can run, after setting the host up: see tools/test.sh.
test:
	@JOBS=$(JOBS) CMAKE_FLAGS="$(CMAKE_FLAGS)" CTEST_FLAGS="$(CTEST_FLAGS)" tools/test.sh $(BUILD_DIR)

# A table of copies, their time and memory, in every flavour this host runs:
# see tools/bench.sh. Not part of make test.
bench:
	@JOBS=$(JOBS) tools/bench.sh $(BUILD_DIR)

# The hostile-input tests at length: the same fixed seed as in make test, with
# FUZZ_CASES cases for every parser, in the flavour this host runs, under
# Wine's heap checks (WINEDEBUG=warn+heap): a heap error that Wine reports
# fails the test even where the case itself passed (testbed/run-wine-test.sh).
FUZZ_CASES ?= 20000
fuzz:
	@$(MAKE) --no-print-directory $(HOST_BUILD_TARGET) CMAKE_FLAGS="$(CMAKE_FLAGS) -DKOPIWA_FUZZ_TIMEOUT=7200" && \
	  cd $(HOST_BUILD_DIR) && KOPIWA_FUZZ_CASES=$(FUZZ_CASES) WINEDEBUG=warn+heap KOPIWA_HEAP_CHECK=1 \
	  ctest -j $(JOBS) -L fuzz --output-on-failure

# The shipped 32-bit build where this host runs 32-bit code, the x86-64 one
# under 64-bit Wine where it does not; the same screenshots and printed page
# land in $(BUILD_DIR)/demo-run either way.
demo:
	@echo "demo: $(DEMO_NOTE)"
	@$(MAKE) --no-print-directory $(HOST_BUILD_TARGET) && tools/demo.sh $(HOST_BUILD_DIR) $(BUILD_DIR)/demo-run

clean:
	rm -rf $(BUILD_DIR)
