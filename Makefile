# Thin wrapper: every target installs what is missing, configures and builds.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all build deps test demo demo-token package test-package bench screenshots clean

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFISCORA_WERROR=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The Debian package (build/fiscora_VERSION_ARCH.deb), and its install test (installs it here).
package: build
	cmake --build $(BUILD) --target package -j $(JOBS)

test-package: build
	./scripts/test-package.sh $(BUILD)

# Speed against the peer tools (medians), and the user guide's screenshots.
bench: build
	./scripts/bench.sh $(BUILD)

screenshots: build
	./scripts/screenshots.sh $(BUILD)

demo: build
	./scripts/demo.sh $(BUILD)

demo-token: build
	./scripts/demo-token.sh $(BUILD)

clean:
	rm -rf $(BUILD)
