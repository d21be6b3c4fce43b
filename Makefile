# Two commands on a fresh machine: `make demo` and `make test`. `make` alone builds.
BUILD ?= build
JOBS ?= 2
RUNS ?= 7

.PHONY: all build demo test bench clean

all: build

build:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release > /dev/null
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

# Times quenvar against its peers on a generated 1,000,000-frame file (kept in $(BUILD)/bench/).
bench: build
	@python3 bench/run.py $(BUILD) $(RUNS)

clean:
	rm -rf $(BUILD)
