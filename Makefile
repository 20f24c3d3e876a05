# The front door: `make run` builds and starts DVO, `make test` builds and runs every test.
.PHONY: all build setup configure test test-default test-asan asan bench clean

JOBS ?= $(shell nproc)
SETUP_STAMP := build/.setup-done

all: build

setup:
	@scripts/setup.sh

# Setup runs again whenever the package list changes.
$(SETUP_STAMP): scripts/debian-packages.txt scripts/setup.sh
	@scripts/setup.sh
	@mkdir -p build && touch $@

build/build.ninja: $(SETUP_STAMP) CMakePresets.json
	cmake --preset default

build-asan/build.ninja: $(SETUP_STAMP) CMakePresets.json
	cmake --preset asan

build: build/build.ninja
	cmake --build --preset default -j $(JOBS)

asan: build-asan/build.ninja
	cmake --build --preset asan -j $(JOBS)

test-default: build
	ctest --preset default -j $(JOBS)

test-asan: asan
	ctest --preset asan -j $(JOBS)

test: test-default test-asan

clean:
	rm -rf build build-asan
