# The interface people and scripts use:
#   make build BUILD=<dir> KELDA_SERVER_ADDRESS=<a> KELDA_SERVER_PORT=<p> KELDA_VERSION=<v>
#   make test     the whole suite under Wine and Xvfb
#   make demo     the program against a local provider
#   make bench    the benchmarks (figures, not pass/fail tests)
BUILD ?= build
KELDA_SERVER_ADDRESS ?= 127.0.0.1
KELDA_SERVER_PORT ?= 80
KELDA_VERSION ?= 1.07
JOBS ?= $(shell nproc)
# The suite's builds talk to servers of its own on this loopback port.
TEST_PORT ?= 18457

.PHONY: setup build test demo bench clean

setup:
	@bash scripts/setup

build: setup
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=Release \
	  -DKELDA_SERVER_ADDRESS=$(KELDA_SERVER_ADDRESS) \
	  -DKELDA_SERVER_PORT=$(KELDA_SERVER_PORT) \
	  -DKELDA_VERSION=$(KELDA_VERSION) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

test:
	@$(MAKE) --no-print-directory build BUILD=$(BUILD) KELDA_SERVER_ADDRESS=127.0.0.1 KELDA_SERVER_PORT=$(TEST_PORT)
	@bash scripts/xvfb-session $(BUILD) ctest --test-dir $(BUILD) --output-on-failure

demo: setup
	@bash scripts/demo

bench:
	@$(MAKE) --no-print-directory build BUILD=$(BUILD) KELDA_SERVER_ADDRESS=127.0.0.1 KELDA_SERVER_PORT=$(TEST_PORT)
	@bash scripts/xvfb-session $(BUILD) bash bench/run $(BUILD)

clean:
	rm -rf $(BUILD)
