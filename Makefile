# Thin wrapper: every target installs what is missing, configures and builds.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all build deps test demo demo-token clean

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFISCORA_WERROR=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

demo: build
	./scripts/demo.sh $(BUILD)

demo-token: build
	./scripts/demo-token.sh $(BUILD)

clean:
	rm -rf $(BUILD)
