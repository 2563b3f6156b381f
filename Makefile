# Entry points: `make run` (simulated devices and the client) and `make test` (every test).
BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)

.PHONY: deps configure build test format format-check run bench soak fuzz fuzz-smoke asan screenshots clean

deps:
	@scripts/install-deps.sh

configure: deps
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@$(MAKE) --no-print-directory format-check
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory fuzz-smoke

# Every C++ file of the repository follows .clang-format; `make format` applies it.
FORMAT_FILES = git ls-files -z '*.cpp' '*.h'
format-check: deps
	@$(FORMAT_FILES) | xargs -0 clang-format --dry-run --Werror && echo "clang-format: the tree is formatted"

format: deps
	@$(FORMAT_FILES) | xargs -0 clang-format -i

run: build
	@scripts/run.sh $(BUILD)

bench: build
	@scripts/bench.sh $(BUILD)

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
screenshots: build
	@scripts/screenshots.sh $(BUILD)

# Every test under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	@test -f build-asan/build.ninja || cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLEX_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j $(JOBS)
	cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) build-asan
