# The two commands a new user needs: `make run` and `make test`.
JOBS ?= $(shell nproc)
RELEASE_DIR := build/release
TEST_DIR := build/test
BENCH_DIR := build/bench
FUZZ_DIR := build/fuzz
# The example that make run shows: make run EXAMPLE=crate shows examples/crate.vxa.
EXAMPLE ?= welcome
# Seconds each fuzz target runs for under make fuzz; FUZZ_TARGETS picks some (all by default).
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=
# CMake's own makefiles run without this make's flags.
CMAKE := env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS cmake

.PHONY: run test build deps clean bench compare fuzz

deps:
	@scripts/install-deps

build: deps
	@$(CMAKE) -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DVX_TESTS=OFF -DVX_BENCH=OFF >/dev/null
	@$(CMAKE) --build $(RELEASE_DIR) -j $(JOBS)

run: build
	@$(RELEASE_DIR)/vorlix run examples/$(EXAMPLE).vxa

test: deps
	@$(CMAKE) -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DVX_SANITIZE=ON -DVX_BENCH=OFF >/dev/null
	@$(CMAKE) --build $(TEST_DIR) -j $(JOBS)
	@cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)

bench: deps
	@$(CMAKE) -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DVX_TESTS=OFF -DVX_BENCH=ON >/dev/null
	@$(CMAKE) --build $(BENCH_DIR) -j $(JOBS) --target vx_bench
	@$(BENCH_DIR)/bench/vx_bench

# Where the speed stands against its targets, beside Lua 5.4 (installed here, left out when that fails).
compare: deps
	@scripts/install-deps --compare || echo "compare: lua5.4 could not be installed; the Lua figures are left out" >&2
	@$(CMAKE) -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DVX_TESTS=OFF -DVX_BENCH=ON >/dev/null
	@$(CMAKE) --build $(BENCH_DIR) -j $(JOBS) --target vx_bench vorlix
	@python3 bench/compare/compare.py --vorlix $(BENCH_DIR)/vorlix --bench $(BENCH_DIR)/bench/vx_bench

# libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer needs clang: a build of its own.
fuzz:
	@scripts/install-deps --fuzz
	@CC=clang CXX=clang++ $(CMAKE) -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_SANITIZE=ON -DVX_FUZZ=ON \
		-DVX_TESTS=OFF -DVX_BENCH=OFF >/dev/null
	@$(CMAKE) --build $(FUZZ_DIR) -j $(JOBS) --target vx_fuzz
	@FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run_fuzzers.sh $(FUZZ_DIR)/fuzz/vx_fuzz $(FUZZ_TARGETS)

clean:
	@rm -rf build
