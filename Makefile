# One-command set-up on a fresh Debian 12 machine (as root, or with sudo):
#   make demo    installs what is missing, builds, starts the demo with the emulated instrument
#   make test    installs what is missing, builds, runs every test (GUI tests under Xvfb)
#   make run     builds and starts the application for a real instrument
#   make benchmark   Release build in build-bench, every figure under Xvfb (BENCHMARKS.md)
#   make package     the Debian package in $(BUILD) (docs/user-guide.md, Install)
#   make test-alsa   the real application on a real ALSA sequencer, in User-Mode Linux guests
#   make soak        a long randomized soak of the whole program (SOAK_ACTIONS, SOAK_SEED)
# Re-running any of them is incremental.

BUILD ?= build

# Builds of other checkouts on the same machine share the compiler cache. CMake takes the
# compiler launcher from these variables when it configures a build folder (here and in the
# scripts below); without ccache installed the builds go without it.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
ifneq ($(shell command -v ccache),)
export CMAKE_C_COMPILER_LAUNCHER := ccache
export CMAKE_CXX_COMPILER_LAUNCHER := ccache
endif
JOBS ?= $(shell nproc)
BENCH_BUILD ?= build-bench
CMAKE_FLAGS ?=

.PHONY: deps configure build demo run check-format test test-sanitizers test-alsa soak fuzz artwork benchmark package clean

deps:
	./scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	$(BUILD)/bin/TarnovelleConnectionDemo

run: build
	$(BUILD)/bin/TarnovelleConnection

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 900

# The whole suite with AddressSanitizer and UndefinedBehaviorSanitizer, then the threaded
# suites with ThreadSanitizer.
test-sanitizers: deps
	./scripts/run-sanitizers.sh

# The real application and tarnovelle-emulator on a real ALSA sequencer, each test in a
# User-Mode Linux guest (scripts/alsa-guest.sh; its kernel is built once, in about 15 minutes,
# into ~/.cache/tarnovelle). Screenshots and logs in $(BUILD)/alsa.
# The whole application against the emulated instrument under Xvfb, driven by SOAK_ACTIONS
# random user actions and instrument faults drawn from SOAK_SEED (a new seed each run when
# none is given), an oracle checking after each (tests/soak). `make test` runs a short one.
SOAK_ACTIONS ?= 100000
SOAK_SEED ?=
soak: configure
	cmake --build $(BUILD) -j$(JOBS) --target tarnovelle_soak
	xvfb-run -a -s "-screen 0 1280x1024x24" $(BUILD)/bin/tarnovelle_soak --actions $(SOAK_ACTIONS) \
		$(if $(SOAK_SEED),--seed $(SOAK_SEED))

# Every C++ file as the tree's .clang-format has it (scripts/check-format.sh --fix formats them).
check-format: deps
	./scripts/check-format.sh

test-alsa: configure
	cmake --build $(BUILD) -j$(JOBS) --target TarnovelleConnection tarnovelle-emulator tarnovelle_firmware_file \
		tarnovelle_e2e_geometry
	./scripts/build-alsa-guest-kernel.sh >/dev/null
	python3 tests/alsa/alsa_e2e.py --build $(BUILD) --out $(BUILD)/alsa

# Every libFuzzer target for FUZZ_SECONDS each (clang 14), from the seeds in fuzz/corpus/.
FUZZ_SECONDS ?= 60
fuzz: deps
	./scripts/run-fuzzers.sh $(FUZZ_SECONDS)

artwork: configure
	cmake --build $(BUILD) --target tarnovelle_artwork -j$(JOBS)
	$(BUILD)/bin/tarnovelle_artwork resources

benchmark: deps
	./scripts/run-benchmark.sh $(BENCH_BUILD)

# Only what the package holds is built; CPack strips the programs.
package: configure
	cmake --build $(BUILD) -j$(JOBS) --target TarnovelleConnection TarnovelleConnectionDemo \
		tarnovelle_firmware_file tarnovelle-emulator tarnovelle-seq TarnovelleRecall_LV2 TarnovelleRecall_VST3
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) build-asan build-tsan
