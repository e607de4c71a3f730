# Two entry points do all the set-up on a fresh Debian machine:
#   make demo   build, then rotate the bundled sample and show its pages
#   make test   build normally and with sanitizers, run every test in both
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
SAMPLE     := samples/sample.pdf
ROTATED    := $(BUILD)/sample-rotated.pdf

BENCH_BUILD ?= build-bench

.PHONY: all build demo test test-release test-asan bench deps clean

all: build

deps:
	@sh scripts/deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@echo "== pages of $(SAMPLE) before"
	$(BUILD)/leafturn info $(SAMPLE)
	$(BUILD)/leafturn rotate $(SAMPLE) $(ROTATED) --degrees 90
	@echo "== pages of $(ROTATED) after turning every page by 90"
	$(BUILD)/leafturn info $(ROTATED)

test:
	@sh scripts/deps.sh test
	$(MAKE) test-release test-asan

test-release:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DLEAFTURN_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DLEAFTURN_BUILD_BENCH=ON \
	  -DLEAFTURN_BUILD_TESTS=OFF >/dev/null
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	$(BENCH_BUILD)/bench/bench_inflate

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD)
