# The two entry points: `make run` and `make test`. Both install what is
# missing on a fresh Debian machine, configure and build first.
PRESET ?= default
BUILD_DIR := build/$(PRESET)
URL ?=
MODE ?= duplicate
JOBS ?= $(shell nproc)

FUZZ_SECONDS ?= 60

.PHONY: deps configure build test run bench fuzz sanitizers tidy package screenshots clean

deps:
	@bash scripts/install-deps.sh

# Extra cache settings, as CI's -DKESTRINE_WERROR=ON.
CMAKE_FLAGS ?=

configure: deps
	@cmake --preset $(PRESET) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	@ctest --preset $(PRESET) -j $(JOBS)
	@# The fuzz targets are built (not run) wherever clang and its fuzzing
	@# runtime are, so they cannot fall behind the code they read.
	@if [ "$(PRESET)" = default ] && command -v clang++ >/dev/null && \
	    [ -n "$$(find /usr/lib/llvm-*/lib/clang -name 'libclang_rt.fuzzer*.a' 2>/dev/null | head -1)" ]; then \
	  cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j $(JOBS) >/dev/null && \
	  echo "Fuzz targets built (build/fuzz/tests/fuzz)"; \
	fi

run: build
ifneq ($(strip $(URL)),)
	@# Status 1 means some downloads failed: the run itself went through.
	@$(BUILD_DIR)/src/kestrine-cli --mode $(MODE) "$(URL)"; status=$$?; [ $$status -le 1 ] || exit $$status
else
	@if [ -x $(BUILD_DIR)/src/kestrine ] && [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD_DIR)/src/kestrine; \
	else \
	  echo "Usage: make run URL=http://host/path  (mirrors that site with kestrine-cli)"; \
	  $(BUILD_DIR)/src/kestrine-cli --help; \
	fi
endif

# The Debian package, written to build/ (kestrine_<version>_<arch>.deb).
package: build
	@cd $(BUILD_DIR) && cpack -B $(CURDIR)/build >/dev/null
	@rm -rf build/_CPack_Packages
	@ls build/kestrine_*.deb

# The README's pictures of the window, taken offscreen during a copy of
# python3-doc served on 127.0.0.1.
screenshots: build
	@bash scripts/install-deps.sh bench
	@$(BUILD_DIR)/tests/window_screenshots /usr/share/doc/python3-doc/html /index.html docs/screenshots

bench: build
	@bash scripts/install-deps.sh bench
	@for b in $(BUILD_DIR)/bench/*_bench; do $$b; done
	@python3 bench/hostile_inputs.py $(BUILD_DIR)/src/kestrine-cli
	@bash bench/compare.sh 2000 5 $(BUILD_DIR)/src/kestrine-cli
	@bash bench/real_site.sh /usr/share/doc/python3-doc/html 3 $(BUILD_DIR)/src/kestrine-cli
	@bash bench/latency.sh 3 $(BUILD_DIR)/src/kestrine-cli 25 100

# Every libFuzzer target for FUZZ_SECONDS from a copy of its committed corpus.
fuzz:
	@bash scripts/install-deps.sh fuzz
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@set -e; for target in address_chain_fuzzer scanner_fuzzer charset_fuzzer charset_sniffer_fuzzer; do \
	  corpus=$$(mktemp -d); cp tests/fuzz/corpus/$$target/* $$corpus/; \
	  echo "== $$target ($(FUZZ_SECONDS) s)"; \
	  build/fuzz/tests/fuzz/$$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build/fuzz/ $$corpus 2>&1 | grep -E "ERROR|SUMMARY|Done|stat::number_of_executed_units" || true; \
	  rm -rf $$corpus; \
	done; \
	if ls build/fuzz/crash-* >/dev/null 2>&1; then echo "Findings in build/fuzz/"; exit 1; fi

# The core tests under AddressSanitizer with UndefinedBehaviorSanitizer, and
# under ThreadSanitizer.
# The checks of .clang-tidy over src; any finding fails.
tidy: build
	@bash scripts/install-deps.sh tidy
	@bash scripts/tidy.sh $(BUILD_DIR)

sanitizers:
	@$(MAKE) --no-print-directory test PRESET=asan
	@$(MAKE) --no-print-directory test PRESET=tsan

clean:
	@rm -rf build
