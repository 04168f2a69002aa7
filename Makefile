# Entry points: `make test`, `make demo`, `make bench`. Each installs what the build needs first.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test demo bench sanitize clean format

all: build

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@$(BUILD)/cli/confluxtool demo

bench: build
	@for b in $$(cat $(BUILD)/bench/benchmarks.txt 2>/dev/null); do echo "== $$b"; $(BUILD)/bench/$$b || exit 1; done

# The tests under address and undefined-behaviour sanitizers, in their own build folder.
sanitize:
	@$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DCONFLUX_SANITIZE=ON -DCONFLUX_BUILD_BENCH=OFF"

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) build-sanitize
