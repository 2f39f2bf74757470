# The two commands of the README: `make test` and `make run`.
BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_ARGS ?=
SAMPLE     ?= examples/Tarvane_Display_Board_2064.hex
JOBS       ?= $(shell nproc)

.PHONY: all deps configure build test run bench clean test-sanitize package test-usb

all: build

deps:
	@scripts/deps/install-deps.sh

# CMake's warnings and its summary of what this build has go to standard
# error and show; its progress lines go to standard output and do not. A
# build configured before the test or window packages were installed takes
# them up when configured again.
CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS) --log-level=NOTICE > /dev/null

configure: deps
	@$(CONFIGURE)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@if [ "$(FUZZ_SMOKE)" = yes ]; then $(MAKE) --no-print-directory fuzz-smoke; fi

# The demonstration: the sample Display board file onto the simulated board.
# It installs and builds only the terminal tool and what it links.
run:
	@scripts/deps/install-deps.sh tool
	@$(CONFIGURE)
	@cmake --build $(BUILD) -j $(JOBS) --target tarvane-update
	$(BUILD)/bin/tarvane-update --board display --device sim $(SAMPLE)

# The window; TARVANE_DEVICE=sim tries it without a board.
.PHONY: gui
gui: build
	$(BUILD)/bin/tarvane-updater

bench: build
	@$(BUILD)/bin/tarvane-bench-image
	@$(BUILD)/bin/tarvane-bench-link
	@$(BUILD)/bin/tarvane-bench-boards
	@$(BUILD)/bin/tarvane-bench-trace

# Whole updates through the Linux kernel's USB HID stack, in a qemu guest
# booting Debian's kernel (downloaded into $(BUILD)/usb-vm, never installed).
# Started without a shell, so that it ends qemu when make itself is killed.
test-usb: build
	@scripts/usb-vm/test-usb.py $(BUILD)

# Sanitizer builds live beside the normal one so switching costs no rebuild.
test-sanitize: deps
	@$(MAKE) --no-print-directory test BUILD=build-asan BUILD_TYPE=Debug CMAKE_ARGS="-DTARVANE_ENABLE_ASAN=ON -DTARVANE_BUILD_BENCH=OFF"
	@$(MAKE) --no-print-directory test BUILD=build-tsan BUILD_TYPE=Debug CMAKE_ARGS="-DTARVANE_ENABLE_TSAN=ON -DTARVANE_BUILD_BENCH=OFF"

clean:
	rm -rf build build-asan build-tsan

# The Debian package in dist/, checked by lintian (packaging/build-deb.sh), and
# the Windows zips and installers.
package:
	@JOBS=$(JOBS) packaging/build-deb.sh
	@$(MAKE) --no-print-directory windows

# Fuzzing with clang's libFuzzer (fuzz/): `make fuzz` runs each target for
# FUZZ_SECONDS and keeps what it finds new in build-fuzz/corpus; `make test`
# runs each for FUZZ_SMOKE_SECONDS (once, not again for each sanitizer build).
FUZZ_SECONDS       ?= 60
FUZZ_SMOKE_SECONDS ?= 10
FUZZ_SMOKE         ?= $(if $(filter build,$(BUILD)),yes,no)

.PHONY: fuzz fuzz-smoke
fuzz: deps
	@JOBS=$(JOBS) fuzz/run.sh $(FUZZ_SECONDS) build-fuzz/corpus

fuzz-smoke: deps
	@rm -rf build-fuzz/smoke
	@JOBS=$(JOBS) fuzz/run.sh $(FUZZ_SMOKE_SECONDS) build-fuzz/smoke

# The Windows programs, cross-compiled with mingw-w64: `make windows` packs
# dist/tarvane-updater-windows-x86.zip and -x64.zip and the installers
# dist/tarvane-updater-VERSION-x86.msi and -x64.msi, `make msi` only the
# installers; `make test-windows` runs the 64-bit build's tests under Wine
# against the native tarvane-sim of $(BUILD).
.PHONY: windows msi test-windows
windows:
	@JOBS=$(JOBS) scripts/windows/build.sh

msi:
	@JOBS=$(JOBS) scripts/windows/build.sh --msi

test-windows:
	@JOBS=$(JOBS) NATIVE_BUILD=$(BUILD) scripts/windows/test.sh

# A release: every artefact and SHA256SUMS in dist/, signed when
# TARVANE_SIGN_P12 and TARVANE_SIGN_PASSWORD are set. `make check-reproducible`
# builds the commit twice from two clones and compares the artefacts;
# `make test-release` signs a release with a throwaway certificate and checks it.
.PHONY: release check-reproducible test-release
release:
	@JOBS=$(JOBS) scripts/release/release.sh

check-reproducible:
	@scripts/release/check-reproducible.sh

test-release:
	@JOBS=$(JOBS) tests/release/signing.sh
