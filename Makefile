# The two commands of the README: `make run` and `make test`. Both install what is missing, configure
# and build first.
BUILD_DIR := build
JOBS ?= $(shell nproc)

.PHONY: all bootstrap configure build run test test-asan test-tsan fuzz-smoke bench clean

all: build

bootstrap:
	@./scripts/bootstrap

$(BUILD_DIR)/build.ninja:
	cmake --preset default

configure: bootstrap $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@./scripts/run-demo

# Without a display, the suite runs inside a private Xvfb server so the tray and hotkey tests run too.
XVFB := $(if $(DISPLAY),,$(if $(shell command -v xvfb-run),xvfb-run -a -s "-screen 0 1280x800x24"))

test: build
	$(XVFB) ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

test-asan: bootstrap
	cmake --preset asan
	cmake --build build-asan -j $(JOBS)
	$(XVFB) ctest --test-dir build-asan --output-on-failure -j $(JOBS)

test-tsan: bootstrap
	cmake --preset tsan
	cmake --build build-tsan -j $(JOBS) --target store_tests
	ctest --test-dir build-tsan --output-on-failure -R '^store$$'

fuzz-smoke: bootstrap
	cmake --preset fuzz
	cmake --build build-fuzz -j $(JOBS)
	./scripts/fuzz-smoke build-fuzz

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-fuzz
