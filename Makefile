# Thin wrapper: every target installs what is missing, configures and builds.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: all build deps test test-asan demo clean

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFISCORA_WERROR=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

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

demo: build
	./scripts/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
