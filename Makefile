# Thin wrapper over CMake: `make run`, `make test`, `make bench`; `make help` lists all.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

.PHONY: all build run test bench sanitize tsan fuzz format format-check tidy deps test-deps clean help

all: build

help:
	@echo "make run           build, then fold a tRNA with the classic program"
	@echo "make test          build, then run every test suite"
	@echo "make bench         speed and memory of the fold on fixed-seed random sequences"
	@echo "make sanitize      the test suite under AddressSanitizer and UBSan ($(BUILD)-sanitize)"
	@echo "make tsan          the threaded tests under ThreadSanitizer ($(BUILD)-tsan)"
	@echo "make fuzz          libFuzzer targets for FUZZ_SECONDS seconds each (needs clang)"
	@echo "make format        clang-format every source file in place"
	@echo "make format-check  fail when a source file is not clang-formatted"
	@echo "make tidy          clang-tidy over the library, programs and tools"
	@echo "make clean         remove the build folders"

# Install what the build needs from Debian's packages when running as root;
# otherwise name the missing package in one line and stop.
INSTALL_MISSING = \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else \
	    echo "missing packages, install with: apt-get install$$missing"; exit 1; \
	  fi; \
	fi

deps:
	@missing=""; \
	command -v cmake >/dev/null 2>&1 || missing="$$missing cmake"; \
	command -v g++ >/dev/null 2>&1 || missing="$$missing g++"; \
	[ -f /usr/include/gtest/gtest.h ] || missing="$$missing libgtest-dev"; \
	$(INSTALL_MISSING)

# What only the tests need: Snakemake, for the workflow's test.
test-deps:
	@missing=""; \
	command -v snakemake >/dev/null 2>&1 || missing="$$missing snakemake"; \
	$(INSTALL_MISSING)

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/stemloop y GCGGAUUUAGCUCAGUUGGGAGAGCGCCAGACUGAAGAUCUGGAGGUCCUGUGUUCGAUCCACAGAAUUCGCACCA

test: build test-deps
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bench/stemloop_bench

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps test-deps
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTEMLOOP_SANITIZE=ON
	cmake --build $(BUILD)-sanitize -j $(JOBS)
	cd $(BUILD)-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# The threaded fill and the tools' threads under ThreadSanitizer.
tsan: deps
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTEMLOOP_TSAN=ON
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
