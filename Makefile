# Thin wrapper over CMake: `make run`, `make test`, `make bench`, `make install PREFIX=...`;
# `make help` lists all.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
PREFIX ?= /usr/local
# Debian's interpreter, for which python3-numpy and python3-pytest are installed.
PYTHON ?= $(firstword $(wildcard /usr/bin/python3) $(shell command -v python3))

.PHONY: all build run test bench install sanitize tsan fuzz format format-check tidy deps python-deps test-deps clean help

all: build

help:
	@echo "make run           build, then fold a tRNA with the classic program"
	@echo "make test          build, then run every test suite"
	@echo "make install       programs, headers, libraries, CMake and pkg-config files, man"
	@echo "                   pages and the Python module under PREFIX (default $(PREFIX))"
	@echo "make bench         speed and memory of the fold on fixed-seed random sequences"
	@echo "make sanitize      the test suite under AddressSanitizer and UBSan ($(BUILD)-sanitize)"
	@echo "make tsan          the threaded tests under ThreadSanitizer ($(BUILD)-tsan)"
	@echo "make fuzz          libFuzzer targets for FUZZ_SECONDS seconds each (needs clang)"
	@echo "make format        clang-format every source file in place"
	@echo "make format-check  fail when a source file is not clang-formatted"
	@echo "make tidy          clang-tidy over the library, programs and tools"
	@echo "make clean         remove the build folders"

# Debian packages by what needs them, each with the command that finds it installed.
# Only the tests need a browser: Chromium renders a drawing.
# librsvg2-dev (with cairo) renders the PNG and PDF drawings; CMake finds it with pkg-config.
BUILD_PACKAGES = cmake g++ zlib1g-dev pkg-config librsvg2-dev
PYTHON_PACKAGES = pybind11-dev python3-dev python3-numpy
# pip installs the package into a virtual environment (python3-venv) in the tests;
# python3-build makes wheels and sdists (python3 -m build --no-isolation).
TEST_PACKAGES = libgtest-dev python3-pytest python3-venv python3-build pkg-config snakemake chromium
found_cmake = command -v cmake
found_g++ = command -v g++
found_zlib1g-dev = test -f /usr/include/zlib.h
found_librsvg2-dev = test -f /usr/include/librsvg-2.0/librsvg/rsvg.h
found_pybind11-dev = test -f /usr/include/pybind11/pybind11.h
found_python3-dev = command -v $(PYTHON)-config
found_python3-numpy = $(PYTHON) -c 'import numpy'
found_libgtest-dev = test -f /usr/include/gtest/gtest.h
found_python3-pytest = $(PYTHON) -c 'import pytest'
found_python3-venv = $(PYTHON) -c 'import ensurepip, venv'
found_python3-build = $(PYTHON) -I -c 'import build.__main__'
found_pkg-config = command -v pkg-config
found_snakemake = command -v snakemake
found_chromium = command -v chromium

# $(call ensure,PACKAGES): installs the missing ones with apt-get when running as root
# (and configures an existing build folder again, so it finds them); otherwise names
# them in one line and stops.
define ensure
@missing=""; \
$(foreach p,$(1),$(found_$(p)) >/dev/null 2>&1 || missing="$$missing $(p)";) \
if [ -n "$$missing" ]; then \
  if [ "$$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then \
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
      -o DPkg::Lock::Timeout=600 $$missing && \
    if [ -f $(BUILD)/CMakeCache.txt ]; then cmake $(BUILD) >/dev/null; fi; \
  else \
    echo "missing packages, install with: apt-get install$$missing"; exit 1; \
  fi; \
fi
endef

deps:
	$(call ensure,$(BUILD_PACKAGES))
python-deps: deps
	$(call ensure,$(PYTHON_PACKAGES))
test-deps: python-deps
	$(call ensure,$(TEST_PACKAGES))

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DPython3_EXECUTABLE=$(PYTHON)

build: python-deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The classic program alone: needs neither GoogleTest nor Python.
run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target stemloop_cli
	@$(BUILD)/stemloop y GCGGAUUUAGCUCAGUUGGGAGAGCGCCAGACUGAAGAUCUGGAGGUCCUGUGUUCGAUCCACAGAAUUCGCACCA

test: test-deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bench/stemloop_bench
	PYTHONPATH=$(BUILD)/python $(PYTHON) bench/python_batch.py $(BUILD) 2000

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The test suite under AddressSanitizer and UndefinedBehaviorSanitizer; the Python module
# and the installed tree are left out, as the interpreter and consumers are not sanitized.
sanitize: test-deps
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTEMLOOP_SANITIZE=ON \
	  -DSTEMLOOP_PYTHON=OFF -DSTEMLOOP_INSTALL=OFF
	cmake --build $(BUILD)-sanitize -j $(JOBS)
	cd $(BUILD)-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan_suppressions.txt:print_suppressions=0 \
	  ctest --output-on-failure -j $(JOBS)

# The threaded fill and the tools' threads under ThreadSanitizer.
tsan: test-deps
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTEMLOOP_TSAN=ON \
	  -DSTEMLOOP_PYTHON=OFF -DSTEMLOOP_INSTALL=OFF
	cmake --build $(BUILD)-tsan -j $(JOBS)
	cd $(BUILD)-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --output-on-failure -R 'Thread|cli_tools_fold'

# libFuzzer targets built with clang in build-fuzz, each run for FUZZ_SECONDS seconds.
FUZZ_SECONDS ?= 60
fuzz:
	FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) bash fuzz/run.sh $(CURDIR)/build-fuzz

FORMATTED = $(shell git ls-files '*.cpp' '*.hpp' '*.h' '*.c')
format:
	clang-format -i $(FORMATTED)

format-check:
	clang-format --dry-run --Werror $(FORMATTED)

# clang-tidy with the checks of .clang-tidy, on the compile commands of the build.
tidy: build
	cmake -S . -B $(BUILD) -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
	clang-tidy -p $(BUILD) --quiet $(filter lib/% tools/% driver/%,$(filter %.cpp,$(FORMATTED)))

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-tsan
