# Entry points: `make` (build), `make run` (simulated devices and the client),
# `make test` (every test, the Debian package and its checks), `make package`.
BUILD         ?= build
PACKAGE_BUILD ?= build-package
FUZZ_BUILD    ?= build-fuzz
JOBS          ?= $(shell nproc)
# ccache, where present, also shares objects between the build trees.
LAUNCHER      := $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR ?= $(CURDIR)
# Objects are shared between checkouts in other folders too (debug builds
# would otherwise hash the build folder into every object).
export CCACHE_NOHASHDIR ?= true

.PHONY: all deps configure build test format format-check run bench bench-growth soak fuzz fuzz-smoke asan screenshots package check-package clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build check-package
	@$(MAKE) --no-print-directory format-check
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory fuzz-smoke

# Every C++ file of the repository follows .clang-format; `make format` applies it.
FORMAT_FILES = git ls-files -z '*.cpp' '*.h'
format-check: deps
	@$(FORMAT_FILES) | xargs -0 clang-format --dry-run --Werror && echo "clang-format: the tree is formatted"

format: deps
	@$(FORMAT_FILES) | xargs -0 clang-format -i

run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target quillex quillex-cli quillex-devsim
	@scripts/run.sh $(BUILD)

BENCH_TARGETS = quillex-bench-content quillex-bench-device quillex-bench-window quillex-bench-history quillex-bench-statuslog quillex-bench-deflate quillex-bench-firstpaint quillex-bench-sharedhistory quillex-bench-dnc quillex-bench-toolpathview quillex quillex-cli quillex-devsim quillex-dnc

bench: configure
	@cmake --build $(BUILD) -j $(JOBS) --target $(BENCH_TARGETS)
	@scripts/bench.sh $(BUILD)

# The same figures at 1, 32 and 256 MiB and how they grow; takes minutes.
bench-growth: configure
	@cmake --build $(BUILD) -j $(JOBS) --target $(BENCH_TARGETS)
	@scripts/bench-growth.sh $(BUILD)

# The Debian packages, from their own build tree: installed under /usr, no
# tests, no self-update (the package manager updates the program), built with
# Debian's hardening flags; SOURCE_DATE_EPOCH (the commit's time) makes two
# builds of one commit byte-equal.
export SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null || echo 0)
HARDENING := DEB_BUILD_MAINT_OPTIONS=hardening=+all
PACKAGE_CXXFLAGS = $(shell $(HARDENING) dpkg-buildflags --get CPPFLAGS) $(shell $(HARDENING) dpkg-buildflags --get CXXFLAGS)
PACKAGE_CFLAGS = $(shell $(HARDENING) dpkg-buildflags --get CPPFLAGS) $(shell $(HARDENING) dpkg-buildflags --get CFLAGS)
PACKAGE_LDFLAGS = $(shell $(HARDENING) dpkg-buildflags --get LDFLAGS)

package: deps
	@cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF -DQUILLEX_SELF_UPDATE=OFF $(LAUNCHER) \
	  "-DCMAKE_CXX_FLAGS=$(PACKAGE_CXXFLAGS)" "-DCMAKE_C_FLAGS=$(PACKAGE_CFLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$(PACKAGE_LDFLAGS)" "-DCMAKE_SHARED_LINKER_FLAGS=$(PACKAGE_LDFLAGS)" >/dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	@rm -f $(PACKAGE_BUILD)/quillex_*.deb $(PACKAGE_BUILD)/quillex-tools_*.deb
	@cd $(PACKAGE_BUILD) && cpack -G DEB >/dev/null
	@ls $(PACKAGE_BUILD)/quillex_*.deb $(PACKAGE_BUILD)/quillex-tools_*.deb

# The package's file list, desktop entry, metainfo, lintian, and its programs
# run from an unpacked copy (nothing is installed on this machine).
check-package: package
	@grep -q '^QUILLEX_SELF_UPDATE:BOOL=OFF' $(PACKAGE_BUILD)/CMakeCache.txt || { echo "FAIL: the package is built with the self-update" >&2; exit 1; }
	@scripts/check-package.sh $(PACKAGE_BUILD)/quillex_*.deb $(PACKAGE_BUILD)/quillex-tools_*.deb
	@scripts/check-reproducible.sh $(PACKAGE_BUILD)

# Hostile devices and senders at full size: a table of case, time, peak memory, outcome.
soak: configure
	@scripts/soak.sh $(BUILD)

# libFuzzer targets under AddressSanitizer and UndefinedBehaviorSanitizer (clang).
$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLEX_FUZZ=ON >/dev/null

fuzz: deps $(FUZZ_BUILD)/build.ninja
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@scripts/fuzz.sh $(FUZZ_BUILD) 60

# A few seconds per target, part of `make test` when clang is present.
fuzz-smoke:
	@if command -v clang++ >/dev/null; then \
	  $(MAKE) --no-print-directory $(FUZZ_BUILD)/build.ninja && cmake --build $(FUZZ_BUILD) -j $(JOBS) && scripts/fuzz.sh $(FUZZ_BUILD) 5; \
	else echo "clang++ not found: fuzz smoke runs skipped"; fi

# Pictures of the window with simulated devices, under Xvfb, into screenshots/.
screenshots: configure
	@cmake --build $(BUILD) -j $(JOBS) --target quillex-screenshots quillex-cli quillex-devsim
	@scripts/screenshots.sh $(BUILD)

# Every test under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	@test -f build-asan/build.ninja || cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLEX_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j $(JOBS)
	cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(PACKAGE_BUILD) $(FUZZ_BUILD) build-asan
