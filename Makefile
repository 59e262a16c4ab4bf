# Thin wrapper: every target installs what is missing, configures and builds.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: all build deps test test-asan demo demo-novo demo-https demo-token package test-package bench screenshots clean

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFISCORA_WERROR=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The Debian packages fiscora and fiscora-servidor (build/*_VERSION-1_ARCH.deb), signed updates
# checked with the vendor's public key, an installed copy pointed at the municipality's server:
# make package UPDATE_KEY=VENDOR.pub SERVER_HOST=NAME SERVER_PORT=PORT SERVER_PROTOCOL=https
# (the build folder keeps them). Their install test installs them here, with inputs of its own.
package: build
	$(if $(UPDATE_KEY),cmake -S . -B $(BUILD) -DFISCORA_VENDOR_UPDATE_KEY=$(abspath $(UPDATE_KEY)))
	$(if $(SERVER_HOST)$(SERVER_PORT)$(SERVER_PROTOCOL),cmake -S . -B $(BUILD) \
	    -DFISCORA_SERVER_HOST=$(SERVER_HOST) -DFISCORA_SERVER_PORT=$(SERVER_PORT) \
	    -DFISCORA_SERVER_PROTOCOL=$(SERVER_PROTOCOL))
	cmake --build $(BUILD) --target package -j $(JOBS)

test-package: build
	./scripts/test-package.sh $(BUILD)

# Speed against the peer tools (medians), and the user guide's screenshots.
bench: build
	./scripts/bench.sh $(BUILD)

screenshots: build
	./scripts/screenshots.sh $(BUILD)

# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer with leak detection, in a
# build folder of its own (Debug at -O1: assertions on, still quick). The programs the tests
# start (server, reader helper, fiscora) are sanitized too; every report, theirs included, goes
# to $(ASAN_BUILD)/sanitizer-logs, and any report fails the target.
SANITIZER_LOGS = $(abspath $(ASAN_BUILD))/sanitizer-logs
$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1" \
	    -DFISCORA_SANITIZE=ON -DFISCORA_BENCH=OFF

test-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	rm -rf $(SANITIZER_LOGS) && mkdir -p $(SANITIZER_LOGS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	    ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:log_path=$(SANITIZER_LOGS)/asan \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=$(SANITIZER_LOGS)/ubsan \
	    ctest --output-on-failure -j $(JOBS)
	@if [ -n "$$(ls -A $(SANITIZER_LOGS))" ]; then \
	    cat $(SANITIZER_LOGS)/*; echo "Relatórios dos sanitizadores em $(SANITIZER_LOGS)" >&2; exit 1; fi

# The demo keeps build/demo (the accountant, the certificates, what was sent) from one run to the
# next; demo-novo starts it afresh. Any user may run it (scripts/demo.sh says how).
demo: build
	./scripts/demo.sh $(BUILD)

demo-novo: build
	FISCORA_DEMO_NOVO=1 ./scripts/demo.sh $(BUILD)

# The same demo over HTTPS (a certificate from the build's test authority).
demo-https: build
	FISCORA_DEMO_HTTPS=1 ./scripts/demo.sh $(BUILD)

demo-token: build
	./scripts/demo-token.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
