# Thin wrapper over CMake. `make run` and `make test` first install what is missing.
BUILD ?= build
WINDOWS_BUILD ?= build-windows
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

PACKAGES := cmake g++ make pkg-config libgtest-dev libgmock-dev \
	qt6-base-dev qt6-translations-l10n libgl-dev fonts-arphic-uming fonts-liberation \
	xvfb xauth openbox x11-utils desktop-file-utils appstream time bc locales \
	scdoc dpkg-dev fakeroot file lintian man-db bash-completion acl e2fsprogs clang-format
# The Windows build: MinGW-w64 with POSIX threads (std::thread; never the win32 thread model), wine
# to run its tests, NSIS for its installer.
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix wine wine64 nsis

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all setup configure build run test format format-check bench package install clean \
	windows-configure windows

all: build

setup:
	@missing=$$(for p in $(PACKAGES) $(WINDOWS_PACKAGES); do \
		dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
		echo "Installing:" $$missing; \
		$(SUDO) apt-get update && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

configure: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTEPWICK_BUILD_UI=ON -DSTEPWICK_BUILD_TESTS=ON

build: configure
	cmake --build $(BUILD) -j $(JOBS)

windows-configure: setup
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTEPWICK_BUILD_TESTS=ON

# stepwick-cli.exe, its tests, and the release archive build-windows/stepwick-VERSION-windows-x86_64.zip.
windows: windows-configure
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# The windows need a desktop session: say so before building rather than let Qt abort.
run:
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
		echo "make run: no display. Stepwick's windows need a desktop session;" \
			"without one, use 'xvfb-run make run' or build/stepwick-cli." >&2; \
		exit 1; \
	fi
	@$(MAKE) --no-print-directory build
	./$(BUILD)/stepwick

# The Linux tests, then the Windows ones under wine, beside one wine server for the whole run.
test: build windows format-check
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(WINDOWS_BUILD) && ./wine-session ctest --output-on-failure -j $(JOBS)

SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

format: setup
	clang-format -i $(SOURCES)

# Every C++ file as .clang-format writes it; lists the files that are not.
format-check: setup
	@bad=$$(for f in $(SOURCES); do clang-format "$$f" | cmp -s - "$$f" || echo "$$f"; done); \
	if [ -n "$$bad" ]; then echo "Not formatted (run 'make format'):" $$bad >&2; exit 1; fi

bench: setup
	bash bench/run.sh

package: build
	cd $(BUILD) && cpack -G DEB

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(WINDOWS_BUILD)
