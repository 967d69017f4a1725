# The two entry points: `make run` and `make test`. Both install what is
# missing on a fresh Debian machine, configure and build first.
PRESET ?= default
BUILD_DIR := build/$(PRESET)
URL ?=
MODE ?= duplicate
JOBS ?= $(shell nproc)

.PHONY: deps configure build test run bench clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	@ctest --preset $(PRESET) -j $(JOBS)

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

bench: build
	@bash scripts/install-deps.sh bench
	@for b in $(BUILD_DIR)/bench/*_bench; do $$b; done
	@bash bench/compare.sh 2000 5 $(BUILD_DIR)/src/kestrine-cli

clean:
	@rm -rf build
