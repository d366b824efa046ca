# The two commands of the README: `make run` and `make test`. Both install what is missing, configure
# and build first.
BUILD_DIR := build
JOBS ?= $(shell nproc)

.PHONY: all bootstrap configure build run test test-asan test-tsan fuzz-smoke bench package test-package clean

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
# A recursive variable: it is expanded when the test recipe runs, after `bootstrap` may have just
# installed xvfb-run, not when the Makefile is read.
XVFB = $(if $(DISPLAY),,$(if $(shell command -v xvfb-run),xvfb-run -a -s "-screen 0 1280x800x24"))

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
