# Two commands on a fresh machine: `make demo` and `make test`. `make` alone builds.
comma := ,
BUILD ?= build
JOBS ?= 2
RUNS ?= 7
FUZZ_SECONDS ?= 60

.PHONY: all configure build programs demo test test-sanitize test-libcxx test-fallback test-cmake-3.22 test-windows test-crlf-checkout fuzz bench coverage package test-package clean

# One target at a time, so that two never configure or build one directory at once (`make -j2
# demo test`); each build runs its own jobs in parallel.
.NOTPARALLEL:

# Each directory is configured with its compiler named, so that a directory first configured with
# another one cannot keep it (CMake starts that directory afresh when the compiler changes). The
# default is CMake's own first choice, c++.
ifeq ($(origin CXX),default)
CXX = c++
endif

# The build shows CMake's own progress lines, not make's "Entering directory" for every level.
MAKEFLAGS += --no-print-directory

all: build

# $(call configure,DIR,ENV,OPTIONS): configures quietly; CMake's output stays in DIR/configure.log
# and is shown in full when configuring fails.
configure = mkdir -p $(1) && $(2) cmake -S . -B $(1) $(3) > $(1)/configure.log 2>&1 || { cat $(1)/configure.log; exit 1; }

# Development builds treat warnings as errors; a plain `cmake` build from source does not.
configure:
	@$(call configure,$(BUILD),,-DCMAKE_CXX_COMPILER=$(CXX) -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON $(CMAKE_ARGS))

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only the programs, for the demo: the tests are built when they run.
programs: configure
	@cmake --build $(BUILD) -j $(JOBS) --target quenvar quenvar-report barwright

demo: programs
	@echo "=== quenvar on examples/energy_MM.xvg at 298.15 K (answers piped in: the file name, the temperature, Enter)"
	@printf 'examples/energy_MM.xvg\n298.15\n\n' | $(BUILD)/bin/quenvar
	@echo
	@echo "=== quenvar-report -T 298.15 examples/energy_MM.xvg"
	@$(BUILD)/bin/quenvar-report -T 298.15 examples/energy_MM.xvg
	@echo
	@echo "=== barwright on examples/summary_energy.dat in $(BUILD)/demo/ (answer piped in: the file name)"
	@rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo && cp examples/summary_energy.dat $(BUILD)/demo/
	@cd $(BUILD)/demo && printf 'summary_energy.dat\n' | ../bin/barwright
	@cd $(BUILD)/demo && if command -v gracebat > /dev/null; then \
	  for chart in sum_*.xvg; do gracebat -hdevice PNG -printfile "$${chart%.xvg}.png" "$$chart"; done; \
	  echo "Rendered with gracebat: $$(ls sum_*.png | tr '\n' ' ')in $(BUILD)/demo/"; \
	else echo "(gracebat not installed: no PNG renderings)"; fi

# Without GoogleTest the configure step says so, and this stops with that line.
test: configure
	@if [ -f $(BUILD)/tests_not_built.txt ]; then cat $(BUILD)/tests_not_built.txt; exit 1; fi
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite again, built by clang++ with AddressSanitizer and UndefinedBehaviorSanitizer;
# the first report ends the test that caused it.
test-sanitize:
	@$(call configure,$(BUILD)-sanitize,,-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON -DSANITIZERS=address$(comma)undefined)
	@cmake --build $(BUILD)-sanitize -j $(JOBS)
	@cd $(BUILD)-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# GoogleTest built from Debian's sources, for the legs whose standard library or target differs
# from the installed one.
GTEST_SOURCES ?= /usr/src/googletest

# The whole suite built by clang++ 16 against libc++ (as on macOS).
test-libcxx:
	@$(call configure,$(BUILD)-libcxx,,-DCMAKE_CXX_COMPILER=clang++-16 -DCMAKE_CXX_FLAGS=-stdlib=libc++ -DCMAKE_BUILD_TYPE=Release \
	  -DWARNINGS_AS_ERRORS=ON -DGTEST_SOURCE_DIR=$(GTEST_SOURCES))
	@cmake --build $(BUILD)-libcxx -j $(JOBS)
	@cd $(BUILD)-libcxx && ctest --output-on-failure -j $(JOBS)

# The whole suite with decimal text converted by strtod, as where from_chars lacks doubles.
test-fallback:
	@$(call configure,$(BUILD)-fallback,,-DCMAKE_CXX_COMPILER=$(CXX) -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON \
	  -DSTRTOD_FALLBACK=ON)
	@cmake --build $(BUILD)-fallback -j $(JOBS)
	@cd $(BUILD)-fallback && ctest --output-on-failure -j $(JOBS)

# The whole suite configured, built and run by the oldest CMake the project takes, 3.22 (Ubuntu
# 22.04's), unpacked from the archive that the machines running CI keep beside the project.
CMAKE_3_22 ?= ../shared/tools/cmake-3.22.6-linux-x86_64.tar.xz
test-cmake-3.22: export PATH := $(abspath $(BUILD)-cmake-3.22)/cmake/bin:$(PATH)
test-cmake-3.22:
	@if [ ! -f $(CMAKE_3_22) ]; then echo "Skipped: no CMake 3.22 archive at $(CMAKE_3_22) (set CMAKE_3_22 to one)"; exit 0; fi; \
	  mkdir -p $(BUILD)-cmake-3.22/cmake && tar -xJf $(CMAKE_3_22) -C $(BUILD)-cmake-3.22/cmake --strip-components=1 && \
	  cmake --version | head -n 1 && \
	  $(call configure,$(BUILD)-cmake-3.22,,-DCMAKE_CXX_COMPILER=$(CXX) -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON) && \
	  cmake --build $(BUILD)-cmake-3.22 -j $(JOBS) && \
	  cd $(BUILD)-cmake-3.22 && ctest --output-on-failure -j $(JOBS)

# The Windows programs and tests, cross-built with MinGW-w64 and run under wine in a prefix of
# their own; one wineserver serves every test, so that none races another to start it. Now and
# then wine fails to start a process at all (no output, or cmd.exe's status 9009): the tests that
# failed run once more, so that only a test failing twice fails the leg. Then quenvar.exe at a
# console, typed into through tmux.
WINDOWS_PROGRAM_OPTIONS = -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON
WINDOWS_OPTIONS = $(WINDOWS_PROGRAM_OPTIONS) -DGTEST_SOURCE_DIR=$(GTEST_SOURCES)
WINE_ENV = WINEPREFIX=$(abspath $(BUILD)-windows)/wineprefix WINEDEBUG=-all
test-windows:
	@$(call configure,$(BUILD)-windows,,$(WINDOWS_OPTIONS))
	@mkdir -p $(BUILD)-windows/wineprefix && $(WINE_ENV) wineserver --kill || true
	@$(WINE_ENV) wineserver --persistent && $(WINE_ENV) wineboot --init > /dev/null 2>&1
	@$(WINE_ENV) cmake --build $(BUILD)-windows -j $(JOBS)
	@cd $(BUILD)-windows && { $(WINE_ENV) ctest --output-on-failure -j $(JOBS) || \
	  { echo "=== once more, the tests that failed under wine"; $(WINE_ENV) ctest --rerun-failed --output-on-failure; }; } && \
	  $(WINE_ENV) bash $(CURDIR)/tests/windows_console.sh $(abspath $(BUILD)-windows)/bin; status=$$?; \
	  $(WINE_ENV) wineserver --kill; exit $$status

# The checkout a Windows runner makes (core.autocrlf=true), reproduced here and stricter, since
# nothing strips a CR: every file must arrive as committed, and the whole suite must pass. It is
# built by Ninja Multi-Config, which names the test lists as Visual Studio does, and a case added
# after the build must be picked up by the next ctest, as with one configuration.
CRLF_CHECKOUT = $(BUILD)-crlf-checkout
test-crlf-checkout: SHELL := bash
test-crlf-checkout:
	@rm -rf $(CRLF_CHECKOUT) && git -c core.autocrlf=true clone -q . $(CRLF_CHECKOUT)
	@cd $(CRLF_CHECKOUT) && git ls-files -z | while IFS= read -r -d '' f; do \
	  git cat-file -p "HEAD:$$f" | cmp -s - "$$f" || { echo "Checked out unlike the commit: $$f"; exit 1; }; done
	@cd $(CRLF_CHECKOUT) && $(call configure,build,,-G "Ninja Multi-Config" -DCMAKE_CXX_COMPILER=$(CXX) -DWARNINGS_AS_ERRORS=ON)
	@cmake --build $(CRLF_CHECKOUT)/build --config Release -j $(JOBS)
	@cd $(CRLF_CHECKOUT)/build && ctest -C Release --output-on-failure -j $(JOBS)
	@cp -r $(CRLF_CHECKOUT)/tests/cases/quenvar/worked_example $(CRLF_CHECKOUT)/tests/cases/quenvar/added_after_the_build
	@cd $(CRLF_CHECKOUT)/build && ctest -C Release -R added_after_the_build --no-tests=error --output-on-failure

# Every libFuzzer harness for FUZZ_SECONDS seconds (clang++, with the sanitizers).
fuzz:
	@$(call configure,$(BUILD)-fuzz,,-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON \
	  -DSANITIZERS=address$(comma)undefined -DBUILD_FUZZERS=ON -DBUILD_TESTING=OFF)
	@cmake --build $(BUILD)-fuzz -j $(JOBS)
	@bash fuzz/run.sh $(BUILD)-fuzz $(FUZZ_SECONDS)

# Times quenvar against its peers on a generated 1,000,000-frame file (kept in $(BUILD)/bench/).
bench: build
	@python3 bench/run.py $(BUILD) $(RUNS)

# How often quenvar-report's intervals hold the true value, on simulated series: REPLICATES a cell,
# about 1.1 s each on two cores. `make coverage > bench/COVERAGE.md` keeps the table.
REPLICATES ?= 400
coverage: configure
	@cmake --build $(BUILD) -j $(JOBS) --target coverage 1>&2
	@$(BUILD)/bin/coverage $(REPLICATES)

# The packages, in $(BUILD)/packages/: a .deb of the Linux build (linked dynamically, as Debian
# wants), a .tar.gz of a statically linked build (it runs on any x86-64 Linux), and a .zip of the
# Windows cross-build where MinGW-w64 is installed (the compiler is all it needs).
package: build
	@cd $(BUILD) && cpack -G DEB -B $(abspath $(BUILD))/packages > cpack.log 2>&1 || { cat cpack.log; exit 1; }
	@$(call configure,$(BUILD)-static,,-DCMAKE_CXX_COMPILER=$(CXX) -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON \
	  -DSTATIC_PROGRAMS=ON -DBUILD_TESTING=OFF)
	@cmake --build $(BUILD)-static -j $(JOBS)
	@cd $(BUILD)-static && cpack -G TGZ -B $(abspath $(BUILD))/packages > cpack.log 2>&1 || { cat cpack.log; exit 1; }
	@if command -v x86_64-w64-mingw32-g++-posix > /dev/null; then \
	  $(call configure,$(BUILD)-windows,,$(WINDOWS_PROGRAM_OPTIONS)) && \
	  cmake --build $(BUILD)-windows -j $(JOBS) --target quenvar quenvar-report barwright && \
	  cd $(BUILD)-windows && { cpack -B $(abspath $(BUILD))/packages > cpack.log 2>&1 || { cat cpack.log; exit 1; }; }; \
	else echo "(no MinGW-w64 cross-compiler: no Windows .zip)"; fi
	@rm -rf $(BUILD)/packages/_CPack_Packages
	@ls -1 $(BUILD)/packages/

# The packages checked as a user would meet them: contents, lintian, the demo run from the
# unpacked .deb, the manual pages rendered, and the .zip's file list.
test-package: package
	@bash packaging/check_packages.sh $(BUILD)/packages

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-fuzz $(BUILD)-libcxx $(BUILD)-fallback $(BUILD)-windows $(BUILD)-static \
	  $(BUILD)-cmake-3.22 $(CRLF_CHECKOUT)
