# One-command set-up on a fresh Debian 12 machine: every target installs what it needs first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
BENCH_BUILD ?= build-bench
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
PREFIX     ?= /usr/local

.PHONY: all deps build test test-fast test-asan test-tsan format-check abi-check abi-update run bench fuzz install deb \
        deb-check clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The format check, the library's ABI check, the core and library tests under ASan and UBSan, the
# archive handles' tests (threads reading at once) under ThreadSanitizer, then the whole suite.
test: format-check abi-check test-asan test-tsan test-fast

# Every tracked C++ file as .clang-format has it.
format-check: deps
	git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run --Werror

# libPackage.so.0 against abi/libPackage.so.0.abi, the ABI of the last release: additions pass,
# changes and removals fail (scripts/abi-check, abigail-tools).
abi-check: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target Package
	scripts/abi-check $(BUILD)/bin/libPackage.so.0

# Writes abi/libPackage.so.0.abi from the library as built now. Run it for a release, after any
# change to the library that is meant to be part of it (new exports, or a new soname), and commit
# the file with the release.
abi-update: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target Package
	scripts/abi-check --update $(BUILD)/bin/libPackage.so.0

test-fast: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRANE_SANITIZE=ON -DVELTRANE_VIEWER=OFF \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"

test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

$(TSAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRANE_TSAN=ON -DVELTRANE_VIEWER=OFF \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"

test-tsan: deps $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_package
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(TSAN_BUILD)/bin/test_package --gtest_filter='Handle*'

run: build
	scripts/run-viewer $(BUILD)/bin

$(BENCH_BUILD)/build.ninja: | deps
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRANE_BENCH=ON -DVELTRANE_TESTS=OFF -DVELTRANE_VIEWER=OFF

bench: deps $(BENCH_BUILD)/build.ninja
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	scripts/run-benchmarks $(BENCH_BUILD)

fuzz: deps
	scripts/run-fuzzers $(FUZZ_SECONDS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Debian packages veltrane, libpackage0 and libpackage-dev in build-deb/, checked by lintian.
deb: deps
	scripts/build-deb build-deb

# Installs the packages on this machine with apt, starts the installed viewer under Xvfb,
# removes and purges them again and checks that nothing is left (needs root).
deb-check: deb
	tests/install/check-deb.sh build-deb

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(BENCH_BUILD) build-fuzz build-deb
