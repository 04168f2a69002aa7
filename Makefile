# Entry points: `make test`, `make demo`, `make bench`, `make sanitize`, `make tsan`, `make fuzz`.
# Each installs what the build needs first.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
# Seconds each fuzzer runs for in `make fuzz`.
FUZZ_SECONDS ?= 60
CLANG := -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
# A compiler cache when one is installed: every build folder below shares it. base_dir makes paths
# relative, so another checkout of the same sources (a fresh clone, a worktree) hits the same entries;
# the size holds the gcc, sanitize, tsan and fuzz folders together.
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_MAXSIZE ?= 20G
export CCACHE_NOHASHDIR ?= true
# Looked up when a folder is configured, after `deps` may have installed it: looked up when the
# Makefile is read, a fresh machine's first build ran without the cache and the next configure,
# now with a launcher, rebuilt everything.
CCACHE = $(shell command -v ccache 2>/dev/null)
# Without it a folder configured with it before must forget it, or every compile fails.
LAUNCHER = $(if $(CCACHE),-DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE),\
	-UCMAKE_C_COMPILER_LAUNCHER -UCMAKE_CXX_COMPILER_LAUNCHER)
FUZZERS := fuzz_project_file fuzz_csv_reader fuzz_data_streams fuzz_neural_network_model fuzz_onnx_model fuzz_fmu_network
# The tests that run generation, checks, evaluations and the interpreter on several threads at once.
TSAN_TESTS := HostEntityModelTests HostScriptingTests HostAITests HostServicesTests ConfluxExchangeTests ConfluxChecksTests \
	ConfluxAIEvaluationTests ConfluxAITrainingTests FmuRuntimeTests
TSAN_FILTER := Thread|thread|Concurrent|SafeQThread|SeveralThreads|AcrossThreads

# The sanitizers' settings for every run below. Python's own allocator hides its blocks from
# LeakSanitizer; with malloc its process-lifetime allocations match the suppressions instead.
SANITIZER_ENV := PYTHONMALLOC=malloc \
	ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	TSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/tsan.supp:halt_on_error=1:second_deadlock_stack=1

.PHONY: all deps configure build test demo bench sanitize tsan fuzz clean format crosscheck

all: build

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(LAUNCHER) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@$(BUILD)/cli/confluxtool demo

bench: build
	@for b in $$(cat $(BUILD)/bench/benchmarks.txt 2>/dev/null); do echo "== $$b"; $(BUILD)/bench/$$b || exit 1; done

# The whole suite under the address and undefined-behaviour sanitizers, built with clang in its
# own folder (which also proves the clang build).
sanitize:
	@$(SANITIZER_ENV) $(MAKE) test BUILD=build-sanitize \
		CMAKE_FLAGS="$(CLANG) -DCONFLUX_SANITIZE=ON -DCONFLUX_BUILD_BENCH=OFF"

# The threaded tests under the thread sanitizer (clang, own folder).
tsan:
	@$(MAKE) configure BUILD=build-tsan CMAKE_FLAGS="$(CLANG) -DCONFLUX_TSAN=ON -DCONFLUX_BUILD_BENCH=OFF"
	@cmake --build build-tsan -j $(JOBS) --target $(TSAN_TESTS)
	@cd build-tsan && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS) -R '$(TSAN_FILTER)'

# Each libFuzzer target for FUZZ_SECONDS on its seed corpus; the corpus grows in build-fuzz/corpus.
fuzz:
	@$(MAKE) configure BUILD=build-fuzz CMAKE_FLAGS="$(CLANG) -DCONFLUX_FUZZ=ON -DCONFLUX_BUILD_BENCH=OFF"
	@cmake --build build-fuzz -j $(JOBS) --target fuzzers
	@FUZZ_SECONDS=$(FUZZ_SECONDS) $(SANITIZER_ENV) bash tests/fuzz/run-fuzzers build-fuzz $(FUZZERS)

# ONNX Runtime (onnxruntime-node from npm) against the project's ONNX import, on the models of
# tests/crosscheck/models.txt.
crosscheck: configure
	@cmake --build $(BUILD) -j $(JOBS) --target ONNXCrossCheckTests confluxtool ExportCrossCheckTests
	@bash tests/crosscheck/run $(BUILD)

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) build-sanitize build-tsan build-fuzz
