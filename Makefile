# Top-level entry points.  `make` builds everything into build/; `make test`
# builds and runs every test, in the normal and in the sanitizer build.
JOBS ?= $(shell nproc)
# ccache, where the machine has it, speeds up rebuilds; nothing depends on it.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Under CI (CI=true) a compiler warning fails either build.
WERROR := $(if $(filter true 1,$(CI)),-DINV_WERROR=ON)
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: all deps configure test test-fast test-asan demo install package bench fuzz clean format format-check

all: configure
	cmake --build $(BUILD) -j $(JOBS)

# The Debian packages the build, tests and demo use, installed where missing.
deps:
	@bash tools/deps.sh

configure: deps
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(LAUNCHER) $(WERROR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -g"

test-fast: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@test -f $(ASAN_BUILD)/CMakeCache.txt || cmake -S . -B $(ASAN_BUILD) $(LAUNCHER) $(WERROR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DINV_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

test: test-fast test-asan

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz demo

# A sample store in demo/, one report run over it and rendered: builds only the
# programs it runs.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target invreport invdb invrender invsql
	BUILD=$(BUILD) bash tools/demo.sh

# The programs, the library with its headers, CMake and pkg-config files, the
# manual pages and the bash completion, under PREFIX.
PREFIX ?= /usr/local
install: all
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package of what `install` installs, under /usr, in $(BUILD)/package/.
package: all
	cmake --build $(BUILD) --target package

# Times every report over a large sample store.
bench: all
	BUILD=$(BUILD) bash bench/run.sh

# Fuzzes the indexed-file reader for FUZZ_SECONDS (needs clang's libFuzzer).
FUZZ_SECONDS ?= 60
fuzz:
	bash fuzz/run.sh $(FUZZ_SECONDS)

# Every C++ source formatted by the committed .clang-format.
FORMAT_FILES = $(shell git ls-files '*.cc' '*.h')
format: deps
	clang-format -i $(FORMAT_FILES)

format-check: deps
	@clang-format --dry-run --Werror $(FORMAT_FILES)
