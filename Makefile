# Two commands on a fresh machine: `make demo` and `make test`. `make` alone builds.
BUILD ?= build
JOBS ?= 2
RUNS ?= 7
FUZZ_SECONDS ?= 60

.PHONY: all build demo test test-sanitize test-libcxx test-fallback test-windows fuzz bench clean

all: build

# Development builds treat warnings as errors; a plain `cmake` build from source does not.
build:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON $(CMAKE_ARGS) > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@echo "=== quenvar on examples/energy_MM.xvg at 298.15 K (answers piped in: the file name, the temperature, Enter)"
	@printf 'examples/energy_MM.xvg\n298.15\n\n' | $(BUILD)/bin/quenvar
	@echo
	@echo "=== barwright on examples/summary_energy.dat in $(BUILD)/demo/ (answer piped in: the file name)"
	@rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo && cp examples/summary_energy.dat $(BUILD)/demo/
	@cd $(BUILD)/demo && printf 'summary_energy.dat\n' | ../bin/barwright
	@cd $(BUILD)/demo && if command -v gracebat > /dev/null; then \
	  for chart in sum_*.xvg; do gracebat -hdevice PNG -printfile "$${chart%.xvg}.png" "$$chart"; done; \
	  echo "Rendered with gracebat: $$(ls sum_*.png | tr '\n' ' ')in $(BUILD)/demo/"; \
	else echo "(gracebat not installed: no PNG renderings)"; fi

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite again, built by clang++ with AddressSanitizer and UndefinedBehaviorSanitizer;
# the first report ends the test that caused it.
test-sanitize:
	@CXX=clang++ cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON -DSANITIZERS=address,undefined > /dev/null
	@cmake --build $(BUILD)-sanitize -j $(JOBS)
	@cd $(BUILD)-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# GoogleTest built from Debian's sources, for the legs whose standard library or target differs
# from the installed one.
GTEST_SOURCES ?= /usr/src/googletest

# The whole suite built by clang++ 16 against libc++ (as on macOS).
test-libcxx:
	@CXX=clang++-16 CXXFLAGS=-stdlib=libc++ cmake -S . -B $(BUILD)-libcxx -DCMAKE_BUILD_TYPE=Release \
	  -DWARNINGS_AS_ERRORS=ON -DGTEST_SOURCE_DIR=$(GTEST_SOURCES) > /dev/null
	@cmake --build $(BUILD)-libcxx -j $(JOBS)
	@cd $(BUILD)-libcxx && ctest --output-on-failure -j $(JOBS)

# The whole suite with decimal text converted by strtod, as where from_chars lacks doubles.
test-fallback:
	@cmake -S . -B $(BUILD)-fallback -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON -DSTRTOD_FALLBACK=ON > /dev/null
	@cmake --build $(BUILD)-fallback -j $(JOBS)
	@cd $(BUILD)-fallback && ctest --output-on-failure -j $(JOBS)

# The Windows programs and tests, cross-built with MinGW-w64 and run under wine in a prefix of
# their own; one wineserver serves every test, so that none races another to start it.
WINE_ENV = WINEPREFIX=$(abspath $(BUILD)-windows)/wineprefix WINEDEBUG=-all
test-windows:
	@cmake -S . -B $(BUILD)-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DWARNINGS_AS_ERRORS=ON -DGTEST_SOURCE_DIR=$(GTEST_SOURCES) > /dev/null
	@mkdir -p $(BUILD)-windows/wineprefix && $(WINE_ENV) wineserver --kill || true
	@$(WINE_ENV) wineserver --persistent && $(WINE_ENV) wineboot --init > /dev/null 2>&1
	@$(WINE_ENV) cmake --build $(BUILD)-windows -j $(JOBS)
	@cd $(BUILD)-windows && $(WINE_ENV) ctest --output-on-failure -j $(JOBS); status=$$?; \
	  $(WINE_ENV) wineserver --kill; exit $$status

# Every libFuzzer harness for FUZZ_SECONDS seconds (clang++, with the sanitizers).
fuzz:
	@CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON -DSANITIZERS=address,undefined \
	  -DBUILD_FUZZERS=ON -DBUILD_TESTING=OFF > /dev/null
	@cmake --build $(BUILD)-fuzz -j $(JOBS)
	@bash fuzz/run.sh $(BUILD)-fuzz $(FUZZ_SECONDS)

# Times quenvar against its peers on a generated 1,000,000-frame file (kept in $(BUILD)/bench/).
bench: build
	@python3 bench/run.py $(BUILD) $(RUNS)

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-fuzz $(BUILD)-libcxx $(BUILD)-fallback $(BUILD)-windows
