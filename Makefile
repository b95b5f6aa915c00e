# The interface people and scripts use:
#   make build ARCH=i686|x86_64 BUILD=<dir> KELDA_SERVER_ADDRESS=<a> KELDA_SERVER_PORT=<p> KELDA_VERSION=<v>
#              [KELDA_UPDATE_KEY=<RSA public key, PEM>: updates must carry its signature]
#              [TARGETS=<cmake targets>, e.g. kelda_tx alone; all of them without it]
#              [KELDA_CODESIGN_CERT=<certificate chain, PEM> KELDA_CODESIGN_KEY=<its private key, PEM>:
#               the program and the package are signed; KELDA_CODESIGN_TIMESTAMP=<RFC 3161 server's URL>]
#   make package  the build's Windows Installer package, $(BUILD)/kelda_tx-$(KELDA_VERSION)-$(ARCH).msi
#                 (the same settings as make build)
#   make test     the whole suite under Wine and Xvfb, on every architecture this machine runs
#   make demo     the program against a local provider
#   make bench    the benchmarks (figures, not pass/fail tests)
ARCH ?= i686
BUILD ?= build/$(ARCH)
KELDA_SERVER_ADDRESS ?= 127.0.0.1
KELDA_SERVER_PORT ?= 80
KELDA_VERSION ?= 1.07
KELDA_UPDATE_KEY ?=
KELDA_CODESIGN_CERT ?=
KELDA_CODESIGN_KEY ?=
KELDA_CODESIGN_TIMESTAMP ?=
JOBS ?= $(shell nproc)
TARGETS ?=
# The suite's builds talk to servers of its own on this loopback port.
TEST_PORT ?= 18457
TOOLCHAIN := $(CURDIR)/cmake/mingw-$(ARCH).cmake
# The suite and the benchmarks build with no keys, whatever the environment holds.
UNSIGNED := KELDA_UPDATE_KEY= KELDA_CODESIGN_CERT= KELDA_CODESIGN_KEY= KELDA_CODESIGN_TIMESTAMP=

.PHONY: setup build package test demo bench clean

setup:
	@bash scripts/setup

build: setup
	@[ -f "$(TOOLCHAIN)" ] || { echo "make: ARCH is i686 or x86_64, not '$(ARCH)'" >&2; exit 2; }
	@# A folder configured for the other architecture starts afresh.
	@if [ -f $(BUILD)/CMakeCache.txt ] && ! grep -qx 'CMAKE_TOOLCHAIN_FILE:[A-Z]*=$(TOOLCHAIN)' $(BUILD)/CMakeCache.txt; then \
	  rm -rf $(BUILD)/CMakeCache.txt $(BUILD)/CMakeFiles; fi
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN) \
	  -DCMAKE_BUILD_TYPE=Release \
	  -DKELDA_SERVER_ADDRESS=$(KELDA_SERVER_ADDRESS) \
	  -DKELDA_SERVER_PORT=$(KELDA_SERVER_PORT) \
	  -DKELDA_VERSION=$(KELDA_VERSION) \
	  -DKELDA_UPDATE_KEY:FILEPATH=$(if $(KELDA_UPDATE_KEY),$(abspath $(KELDA_UPDATE_KEY))) \
	  -DKELDA_CODESIGN_CERT:FILEPATH=$(if $(KELDA_CODESIGN_CERT),$(abspath $(KELDA_CODESIGN_CERT))) \
	  -DKELDA_CODESIGN_KEY:FILEPATH=$(if $(KELDA_CODESIGN_KEY),$(abspath $(KELDA_CODESIGN_KEY))) \
	  -DKELDA_CODESIGN_TIMESTAMP:STRING='$(KELDA_CODESIGN_TIMESTAMP)' >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) $(if $(TARGETS),--target $(TARGETS)) -- --no-print-directory

package:
	@$(MAKE) --no-print-directory build TARGETS=kelda_tx_msi
	@echo "make package: $(BUILD)/kelda_tx-$(KELDA_VERSION)-$(ARCH).msi"

# Both architectures are always built (the i686 build's size checks hold at
# compile time); scripts/test-suites runs those this machine can execute.
test:
	@$(MAKE) --no-print-directory build ARCH=i686 BUILD=build/test-i686 KELDA_SERVER_ADDRESS=127.0.0.1 KELDA_SERVER_PORT=$(TEST_PORT) $(UNSIGNED)
	@$(MAKE) --no-print-directory build ARCH=x86_64 BUILD=build/test-x86_64 KELDA_SERVER_ADDRESS=127.0.0.1 KELDA_SERVER_PORT=$(TEST_PORT) $(UNSIGNED)
	@bash scripts/test-suites build

demo: setup
	@KELDA_UPDATE_KEY="$(KELDA_UPDATE_KEY)" bash scripts/demo

# The suite's build of the architecture this machine runs, benchmarked.
bench: setup
	@arch=$$(bash scripts/pick-arch "make bench") && \
	  $(MAKE) --no-print-directory build ARCH=$$arch BUILD=build/test-$$arch KELDA_SERVER_ADDRESS=127.0.0.1 KELDA_SERVER_PORT=$(TEST_PORT) $(UNSIGNED) && \
	  bash scripts/xvfb-session build/test-$$arch bash bench/run build/test-$$arch

clean:
	rm -rf build build-demo
