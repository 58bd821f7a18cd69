# The front door. Each target installs what the machine lacks, configures, builds and runs.
RELEASE := build/release
SIM := $(RELEASE)/tools/brivane-sim
CTL := $(RELEASE)/cli/brivanectl

.PHONY: all deps check demo bench package format clean

all: check

deps:
	@scripts/install-deps

# Every test: the whole suite with AddressSanitizer and UndefinedBehaviorSanitizer, the
# application core again under ThreadSanitizer, then the Windows build cross-built with
# mingw-w64, its suites and its end-to-end runs under wine; then the packages and their checks,
# and last the real uvcvideo driver: Debian's kernel booted under QEMU with the emulated camera
# attached over USB/IP.
check: deps
	cmake --workflow --preset check
	cmake --workflow --preset check-tsan
	cmake --workflow --preset check-win64
	$(MAKE) --no-print-directory package
	version=$$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $(RELEASE)/CMakeCache.txt); \
	BRIVANE_WINEPREFIX=$(CURDIR)/build/win64/wineprefix bash tests/packaging/package_test.sh \
	    $(RELEASE)/packages/brivane_$${version}_amd64.deb \
	    build/win64/packages/brivane-$${version}-win64.zip $$version scripts/wine-run
	bash tests/kernel/run.sh $(CTL) $(RELEASE)/tools/brivane-usbip \
	    $(RELEASE)/tests/kernel/uvc_query $(SIM) $(RELEASE)/kernel

# The packages a user installs: build/release/packages/brivane_VERSION_amd64.deb and
# build/win64/packages/brivane-VERSION-win64.zip.
package: deps
	cmake --preset release >/dev/null
	cmake --build --preset release
	cd $(RELEASE) && cpack
	cmake --preset win64 >/dev/null
	cmake --build --preset win64
	cd build/win64 && cpack

# The updater run against the emulated camera, at a realistic pace: in the Qt dialog when a
# display is available; otherwise brivanectl's update with its progress bar in the terminal
# (its backup goes to the build folder).
demo: deps
	cmake --preset release >/dev/null
	cmake --build --preset release --target brivane-sim brivanectl
	$(SIM) --write-images $(RELEASE)/tools >/dev/null
	@if [ -n "$${DISPLAY}$${WAYLAND_DISPLAY}" ]; then $(SIM) --gui --latency-us 300; \
	else XDG_DATA_HOME=$(RELEASE)/demo-data $(CTL) --emulated --latency-us 300 update \
	    --image-dir $(RELEASE)/tools; fi

# Benchmarks (never part of make check, which only builds them). Tables go to the terminal and
# to $(RELEASE)/bench-report.txt; a figure it could not take fails the target.
bench: deps
	cmake --preset release >/dev/null
	cmake --build --preset release --target brivane-bench brivane-sim
	$(RELEASE)/bench/brivane-bench --report=$(RELEASE)/bench-report.txt --sim=$(SIM)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
