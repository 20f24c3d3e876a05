# The front door: `make run` builds and starts DVO, `make test` builds and runs every test.
.PHONY: all build setup configure run test test-default test-asan test-tsan asan tsan bench clean format check-format

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

# Builds the default preset and starts the program.
run: build
	build/bin/DVO

build-tsan/build.ninja: $(SETUP_STAMP) CMakePresets.json
	cmake --preset tsan

asan: build-asan/build.ninja
	cmake --build --preset asan -j $(JOBS)

test-default: build
	ctest --preset default -j $(JOBS)

test-asan: asan
	ctest --preset asan -j $(JOBS)

# ThreadSanitizer over the log library's queued writer thread.
tsan: build-tsan/build.ninja
	cmake --build --preset tsan -j $(JOBS)

test-tsan: tsan
	ctest --preset tsan -j $(JOBS)

test: test-default test-asan test-tsan

# Runs every fuzz target of the `fuzz` preset (clang + libFuzzer) for FUZZ_SECONDS each.
FUZZ_SECONDS ?= 60
.PHONY: fuzz
fuzz: $(SETUP_STAMP)
	scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf build build-asan build-tsan build-fuzz

.PHONY: package pictures
# The Debian package: build/package/dvo_<version>_amd64.deb (what `cmake --install` lays out,
# under /usr, stripped, with its dependencies computed).
package: build
	cd build && cpack --config CPackConfig.cmake

# Pictures of the real window for the README and the guide (docs/guide/images/): the window
# test's run on a virtual X server, then the guide PDF again with them.
pictures: build
	tests/ship/window-run.sh build /tmp/dvo-pictures docs/guide/images
	cmake --build --preset default --target guide

# The sources as clang-format leaves them (.clang-format); CI checks it before the tests.
format: $(SETUP_STAMP)
	scripts/check-format.sh --fix

check-format: $(SETUP_STAMP)
	scripts/check-format.sh
