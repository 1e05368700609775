# make dist   builds dist/setup.exe (DICTIONARY=<folder> for another dictionary,
#             DIST=<folder> for another output folder, SIGN_CERT= SIGN_KEY= to sign)
# make inspect  prints what an installer carries (SETUP=<path>, default dist/setup.exe)
# make test   runs every test: unit tests, build checks, end to end under Wine, and
#             prints each stage's time (DIST= or SETUP= tests that installer)
# make unit   the fast loop: native unit tests and the sweep of this payload
# make e2e    the end-to-end tests (CASES="test_end_to_end.py -k typical_road" for one)
# make demo   runs the installer under Wine against a sample host folder
# make bench  measures the installer against a peer on a 64 MiB payload
# make fuzz   fuzzes the extraction for ten minutes and keeps what it finds new
# make sweep  fails every platform call in turn and cuts the power after every call
# Each target installs the Debian packages it needs first.

DICTIONARY ?= $(CURDIR)/resources/payload
# DIST names the output folder (default dist/, in scripts/cmake_build.py). SETUP names
# the installer that inspect, demo and screenshots take; without it, the one of DIST,
# which they build first.
# The build reads these from the environment, so that paths with spaces and names
# with quotes arrive exactly as typed.
export DICTIONARY VENDOR_SITE COMPANY_NAME DIST SETUP SIGN_CERT SIGN_KEY SIGN_PASS_FILE \
  SIGN_TIMESTAMP_URL SIGN_TSA_CERTS SIGN_TSA_KEY
# Only when it is set: the linker reads an empty one as a time and warns.
ifneq ($(SOURCE_DATE_EPOCH),)
export SOURCE_DATE_EPOCH
else
unexport SOURCE_DATE_EPOCH
endif
NATIVE := build/native
FUZZ := build/fuzz
FUZZ_SECONDS ?= 10
# The build folder of the default output folder, where the tests find the driver.
WIN32 := build/win32
# The installer of DIST where this machine runs it natively under Wine; where the kernel
# runs no 32-bit code, the end-to-end tests build and run a 64-bit build of the same
# sources, and the shipped-image stage, the demo and the screenshots run DIST's under
# an emulator (or, where that cannot be, the 64-bit build too).
RUNNABLE_DIST := $(shell ./scripts/runs-32-bit-code.sh && echo dist)
# Debian's Python, which has the packages the scripts and tests use (pefile, pytest).
PYTHON := /usr/bin/python3
# A build run by this make takes its share of the job server when there is one (make
# -jN, as make test runs its stages); otherwise two jobs, for two cores. A recipe that
# builds is marked + so that the job server reaches it.
JOBS = $(if $(findstring jobserver,$(MAKEFLAGS)),,-j2)
SOURCES := $(shell git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'tests/*.c' \
  'scripts/*.cpp' 'scripts/wine/*.c' 2>/dev/null)

.PHONY: all deps native unit dist inspect e2e e2e-bench shipped-image build-checks format \
  format-check test test-stages demo bench screenshots fuzz fuzz-build fuzz-check sweep clean

all: dist

# Everything the tests need; each target below installs only what it needs itself.
deps:
	@./scripts/install-deps.sh --test

native: deps
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug -DPython3_EXECUTABLE=$(PYTHON) >/dev/null
	+cmake --build $(NATIVE) $(JOBS)

unit: native
	$(call STAGE_START)
	cd $(NATIVE) && ctest --output-on-failure -j2
	$(call STAGE_END)

dist:
	@./scripts/install-deps.sh $(if $(SIGN_CERT)$(SIGN_KEY),--sign)
	+$(PYTHON) scripts/dist.py

inspect: $(if $(SETUP),,dist)
	@./scripts/install-deps.sh --sign
	$(PYTHON) scripts/setup_contents.py

# Each end-to-end test runs in a Wine of its own; E2E_JOBS of them run side by side.
# They run the installer SETUP names, else DIST's (the Wine runner reads both), but
# where the kernel runs no 32-bit code a 64-bit build of the same sources, which
# scripts/wine/wine.py --build makes. CASES picks the tests (pytest's arguments).
E2E_JOBS ?= 2
E2E_ARGS = -p no:cacheprovider -rs --durations=8
# The longest first, so that no worker is left with it at the end.
CASES ?= test_readme_commands.py test_hostile_folder.py test_existing_files.py test_faults.py \
  test_end_to_end.py
# The installer the stages test, when it is not DIST's: refused in one line where missing.
SETUP_GIVEN = $(if $(SETUP),setup-given)
.PHONY: setup-given
setup-given:
	@[ -f "$(SETUP)" ] || { echo "error: SETUP=$(SETUP) names no file; name an installer, \
	  or leave SETUP= out to test the one of DIST" >&2; exit 1; }
e2e-bench: $(if $(SETUP),$(SETUP_GIVEN),$(RUNNABLE_DIST))
	@./scripts/install-deps.sh --test
	+$(PYTHON) scripts/wine/wine.py --build
e2e: e2e-bench
	$(call STAGE_START)
	cd tests/e2e && $(PYTHON) -m pytest $(E2E_ARGS) -n $(E2E_JOBS) $(CASES)
	$(call STAGE_END)

# Where the kernel runs 32-bit code, the stage above runs dist/setup.exe itself. Elsewhere
# this one runs the cases marked shipped_image on dist/setup.exe, with Wine's 32-bit side
# under an emulator in a namespace of its own (scripts/emulated-wine.sh, which the
# package step prepares); where user namespaces are refused it says so and is skipped.
shipped-image: $(if $(RUNNABLE_DIST),,$(if $(SETUP),$(SETUP_GIVEN),dist))
ifeq ($(RUNNABLE_DIST),)
	@./scripts/install-deps.sh --test
	$(call STAGE_START)
	+@./scripts/emulated-wine.sh run sh -ec '$(PYTHON) scripts/wine/wine.py --build; \
	  cd tests/e2e; $(PYTHON) -m pytest $(E2E_ARGS) -n 2 \
	  -m shipped_image test_end_to_end.py test_hostile_folder.py test_existing_files.py' \
	  || [ $$? -eq 77 ]
	$(call STAGE_END)
	@[ ! -e /proc/sys/fs/binfmt_misc/torvix-i386 ] || { echo "error: the emulator's handler \
	  is registered outside the stage's namespace (/proc/sys/fs/binfmt_misc/torvix-i386)" >&2; exit 1; }
endif

build-checks: deps
	$(call STAGE_START)
	cd tests/build && $(PYTHON) -m pytest -p no:cacheprovider -n 2 -rs --durations=5 \
	  test_payload_resources.py test_reproducible.py test_shipping.py test_install_deps.py \
	  test_emulated_wine.py \
	  test_mutants.py
	$(call STAGE_END)

format:
	clang-format -i $(SOURCES)

format-check:
	$(call STAGE_START)
	clang-format --dry-run -Werror $(SOURCES)
	$(call STAGE_END)

fuzz-build: deps
	cmake -S . -B $(FUZZ) -DCMAKE_CXX_COMPILER=clang++ -DWITH_FUZZER=ON -DWITH_SANITIZERS=OFF \
	  -DPython3_EXECUTABLE=$(PYTHON) \
	  >/dev/null
	+cmake --build $(FUZZ) --target payload_fuzzer $(JOBS)

# The kept corpus replayed, then a bounded run from it; what it finds new stays in the
# build folder.
fuzz-check: fuzz-build
	$(call STAGE_START)
	mkdir -p $(FUZZ)/corpus
	$(FUZZ)/payload_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  $(FUZZ)/corpus tests/fuzz/corpus
	$(call STAGE_END)

# A longer run (FUZZ_SECONDS=600 by default here) whose new inputs join the kept corpus.
fuzz: FUZZ_SECONDS = 600
fuzz: fuzz-check
	$(FUZZ)/payload_fuzzer -merge=1 tests/fuzz/corpus $(FUZZ)/corpus

# The stages run side by side in two rounds (test-stages); each prints its output whole
# when it ends.
# The build checks build the same sources many times over: ccache compiles each once, in
# the user's cache (scripts/emulated-wine.sh cache), where every clone finds it (the
# debug builds' too: their folder's name is left out of the key).
# Everything the tests need is installed once, before the stages start side by side.
test: deps
	@rm -rf build/stage-times && mkdir -p build/stage-times && date +%s > build/stage-times/.start
	@cache=$$(./scripts/emulated-wine.sh cache) && \
	  CCACHE_DIR=$${CCACHE_DIR:-$$cache/ccache} CCACHE_BASEDIR=$(CURDIR) CCACHE_NOHASHDIR=1 \
	  CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache \
	  $(MAKE) --no-print-directory -j4 --output-sync=target test-stages
	@echo "Stage times (each stage's own run; done at, from the start of make test):"
	@for stage in $(STAGES); do [ -f build/stage-times/$$stage ] && \
	  printf '  %-14s %s\n' $$stage "$$(cat build/stage-times/$$stage)"; done; true

NATIVE_STAGES := format-check unit fuzz-check build-checks
WINE_STAGES := e2e shipped-image
STAGES := $(NATIVE_STAGES) $(WINE_STAGES)
# The native stages and the builds first, side by side; then the Wine stages, which wait on
# the Wine server at every call and so run well behind busy compilers.
test-stages:
	+@$(MAKE) --no-print-directory $(NATIVE_STAGES) e2e-bench $(if $(RUNNABLE_DIST)$(SETUP),,dist)
	+@$(MAKE) --no-print-directory $(WINE_STAGES)

# Each stage notes its own time and when it ended, for make test to print.
STAGE_START = @mkdir -p build/stage-times && date +%s > build/stage-times/$@.begun
STAGE_END = @begun=$$(cat build/stage-times/$@.begun); now=$$(date +%s); \
  start=$$(cat build/stage-times/.start 2>/dev/null || echo $$begun); \
  echo "$$((now - begun)) s, done at $$((now - start)) s" > build/stage-times/$@

# Every platform call failed in turn and a power cut after every call, for this build's
# payload and a 255-file one, and the kept mutants they must catch (make test runs the
# first of them, under the sanitizers, with the unit tests).
sweep: deps
	+$(PYTHON) tests/sweep/run_sweeps.py

demo: $(if $(SETUP),,dist)
	@./scripts/install-deps.sh --wine
	+$(PYTHON) scripts/demo.py

screenshots: $(if $(SETUP),,dist)
	@./scripts/install-deps.sh --wine
	+$(PYTHON) scripts/screenshots.py

bench:
	@./scripts/install-deps.sh --bench
	+$(PYTHON) scripts/bench.py

clean:
	rm -rf build dist
