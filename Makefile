# The everyday entry points. run, test, bench and setup install what is
# missing first; build only builds.
BUILD      ?= build
GENERATOR  ?= Ninja
CMAKE_ARGS ?=
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
PREFIX     ?= /usr/local
DESTDIR    ?=
# What building the Debian package needs: dpkg-shlibdeps finds the
# dependencies, file(1) tells CPack which files are programs.
PACKAGE_TOOLS := dpkg-dev file

.PHONY: all setup configure build run test bench tsan asan fuzz layers screenshots clean install package \
        package-test

all: build

setup:
	@bash tools/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G $(GENERATOR) $(CMAKE_ARGS)

configure: $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: setup
	@$(MAKE) --no-print-directory build
	@bash tools/run-with-devsim.sh $(BUILD)

test: setup
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

bench: setup
	@$(MAKE) --no-print-directory build
	@bash tools/run-benchmarks.sh $(BUILD)

# The whole test suite under a sanitizer, in a build folder of its own; a
# unity build, since each is built whole once and then only run.
tsan: setup
	cmake -S . -B build-tsan -G $(GENERATOR) -DKESTRANA_SANITIZE=thread -DKESTRANA_BENCH=OFF -DCMAKE_UNITY_BUILD=ON $(CMAKE_ARGS)
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && QT_QPA_PLATFORM=offscreen \
	  TSAN_OPTIONS="halt_on_error=1 ignore_noninstrumented_modules=1 suppressions=$(CURDIR)/tools/sanitizers/tsan.supp" \
	  ctest --output-on-failure -j $(JOBS) --timeout 600

asan: setup
	cmake -S . -B build-asan -G $(GENERATOR) -DKESTRANA_SANITIZE=address,undefined -DKESTRANA_BENCH=OFF -DCMAKE_UNITY_BUILD=ON $(CMAKE_ARGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 600

# Every libFuzzer target for FUZZ_SECONDS each (clang, its own build folder).
fuzz: setup
	CXX=clang++ CC=clang cmake -S . -B build-fuzz -G $(GENERATOR) -DKESTRANA_FUZZ=ON \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRANA_BENCH=OFF $(CMAKE_ARGS)
	cmake --build build-fuzz -j $(JOBS) --target fuzzers
	@bash tools/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS)

layers:
	@bash tools/check-layers

# The README's pictures, in English and Korean, into docs/screenshots/.
screenshots: setup
	@$(MAKE) --no-print-directory build
	@bash tools/screenshots.sh $(BUILD)

# The programs, desktop entry, icons, manual pages and metainfo under
# $(DESTDIR)$(PREFIX).
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# kestrana_VERSION_ARCH.deb in $(BUILD)/.
package:
	@bash tools/setup.sh $(PACKAGE_TOOLS)
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && cpack -G DEB

# Builds the package, checks it with lintian, installs it on this machine
# with dpkg, tries the installed programs, and removes it again. The checks
# of make test that skip without the validators or rsvg-convert run here too.
package-test:
	@bash tools/setup.sh $(PACKAGE_TOOLS) lintian desktop-file-utils appstream man-db librsvg2-bin
	@$(MAKE) --no-print-directory package
	@bash tools/package-test.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-tsan build-asan build-fuzz
