# The two commands of the README: `make run` and `make test`. Both install what is missing, configure
# and build first. CMAKE_ARGS is passed to the first configure (CI sets -DKG_WERROR=ON).
BUILD_DIR := build
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all bootstrap configure build run test test-asan test-tsan fuzz-smoke fuzz-long bench format format-check package test-package clean

all: build

bootstrap:
	@./scripts/bootstrap

$(BUILD_DIR)/build.ninja:
	cmake --preset default $(CMAKE_ARGS)

configure: bootstrap $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@./scripts/run-demo

# Without a display, the suite runs inside a private Xvfb server so the tray and hotkey tests run too.
# Looked up when the recipe runs, after the bootstrap has installed xvfb-run.
XVFB = $(if $(DISPLAY),,$(if $(shell command -v xvfb-run),xvfb-run -a -s "-screen 0 1280x800x24"))

test: build
	$(XVFB) ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

test-asan: bootstrap
	cmake --preset asan $(CMAKE_ARGS)
	cmake --build build-asan -j $(JOBS)
	$(XVFB) ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# Every test executable that runs threads: the schedulers (platform), the store over the threaded
# scheduler, the live input sources and the CLI's store session.
TSAN_TESTS := platform store input input_linux
test-tsan: bootstrap
	cmake --preset tsan $(CMAKE_ARGS)
	cmake --build build-tsan -j $(JOBS) --target $(addsuffix _tests,$(TSAN_TESTS))
	ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -R '^(platform|store|input|input_linux)$$'

fuzz-smoke: bootstrap
	cmake --preset fuzz
	cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	./scripts/fuzz-smoke build-fuzz

# A longer fuzzing session for a person: FUZZ_MINUTES per target (default 5).
fuzz-long: bootstrap
	cmake --preset fuzz
	cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	FUZZ_RUNS=-1 FUZZ_SECONDS=$$(( $${FUZZ_MINUTES:-5} * 60 )) ./scripts/fuzz-smoke build-fuzz

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do echo "== $$b"; $$b; done

format: configure
	cmake --build $(BUILD_DIR) --target format

format-check: configure
	cmake --build $(BUILD_DIR) --target format-check

# A Debian package of the app, the CLI, their data, desktop integration and the udev rule, built in a
# tree of its own that installs into /usr.
PACKAGE_DIR := build-package

package: bootstrap
	cmake -S . -B $(PACKAGE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
		-DKG_BUILD_TESTS=OFF -DKG_BUILD_BENCH=OFF
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	cd $(PACKAGE_DIR) && cpack -G DEB

# Builds the package and runs both programs from it, unpacked into a throwaway root.
test-package:
	./scripts/test-package

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-fuzz $(PACKAGE_DIR)
