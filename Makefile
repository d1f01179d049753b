# Front door. `make demo` runs the main job, `make test` builds and runs every
# test; both prepare the host first (tools/setup-host.sh is idempotent).

BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup configure dist build-all test demo clean

all: dist

setup:
	@tools/setup-host.sh

configure:
	@cmake -S . -B $(BUILD_DIR) --no-warn-unused-cli -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(CMAKE_FLAGS) >/dev/null

dist: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target kopiwa setup docs
	@ls -l $(BUILD_DIR)/dist

build-all: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: setup
	@$(MAKE) --no-print-directory build-all
	@cd $(BUILD_DIR) && ctest -j $(JOBS) --output-on-failure $(CTEST_FLAGS)

demo: setup
	@$(MAKE) --no-print-directory build-all
	@tools/demo.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
