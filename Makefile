# Thin wrapper over CMake. `make run` and `make test` first install what is missing.
BUILD ?= build
WINDOWS_BUILD ?= build-windows
WINDOWS_X86_BUILD ?= build-windows-i686
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
# CI passes WERROR=ON: every compiler warning fails the build.
WERROR ?= OFF

PACKAGES := cmake g++ make pkg-config libgtest-dev libgmock-dev \
	qt6-base-dev qt6-translations-l10n libgl-dev fonts-arphic-uming fonts-liberation \
	xvfb xauth openbox x11-utils desktop-file-utils appstream time bc locales \
	scdoc dpkg-dev fakeroot file lintian man-db bash-completion acl e2fsprogs clang-format clang-tidy
# The Windows builds, 64- and 32-bit: MinGW-w64 with POSIX threads (std::thread; never the win32
# thread model), wine to run their tests (wine32 from the i386 architecture for the 32-bit ones),
# NSIS for the installer.
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386 nsis

, := ,
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all setup configure build run test format format-check bench package install clean \
	windows-configure windows sanitize asan tsan lint fuzz fuzz-smoke

all: build

# What could not be installed (a mirror mid-sync) is noted for an hour, so that every target after
# the first does not ask the mirror again.
SETUP_MISSED := build-setup/missed

setup:
	@uninstalled() { for p in "$$@"; do \
		dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	done; }; \
	missing=$$(uninstalled $(PACKAGES) $(WINDOWS_PACKAGES)); \
	if [ -n "$$missing" ] && [ "$$(cat $(SETUP_MISSED) 2>/dev/null)" = "$$(echo $$missing)" ] && \
		[ -n "$$(find $(SETUP_MISSED) -mmin -60 2>/dev/null)" ]; then \
		echo "Not installed (tried within the hour; rm -r $(dir $(SETUP_MISSED)) to try now):" $$missing; \
	elif [ -n "$$missing" ]; then \
		echo "Installing:" $$missing; \
		if ! dpkg --print-foreign-architectures | grep -qx i386; then $(SUDO) dpkg --add-architecture i386; fi && \
		for try in 1 2 3; do $(SUDO) apt-get update && break; \
			echo "apt-get update failed (a mirror may be syncing); trying again"; sleep 10; done; \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing || { \
			echo "Installing without wine32:i386 (its packages do not fit this machine's lists today):" \
				"the tests of the 32-bit edition will be skipped"; \
			DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends \
				$$(echo $$missing | tr ' ' '\n' | grep -vx 'wine32:i386') || exit 1; }; \
		left=$$(uninstalled $$missing); \
		mkdir -p $(dir $(SETUP_MISSED)) && if [ -n "$$left" ]; then echo $$left > $(SETUP_MISSED); \
		else rm -f $(SETUP_MISSED); fi; \
	fi

# The bench's drivers are built with the rest, so that a change they no longer fit fails here,
# not at the next `make bench`.
configure: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTEPWICK_BUILD_UI=ON -DSTEPWICK_BUILD_TESTS=ON \
		-DSTEPWICK_BUILD_BENCH=ON -DSTEPWICK_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The 32-bit edition first: the installer, built with the 64-bit one, holds both.
windows-configure: setup
	cmake -S . -B $(WINDOWS_X86_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTEPWICK_BUILD_TESTS=ON -DSTEPWICK_WERROR=$(WERROR)
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTEPWICK_BUILD_TESTS=ON -DSTEPWICK_WERROR=$(WERROR) \
		-DSTEPWICK_X86_BUILD=$(abspath $(WINDOWS_X86_BUILD))

# Both editions of stepwick.exe and stepwick-cli.exe with their tests (the windows are driven in the
# 64-bit one only), an archive of each edition's stepwick-cli.exe with the README and the licence
# ($(WINDOWS_BUILD)/stepwick-VERSION-windows-x86_64.zip, $(WINDOWS_X86_BUILD)/...-windows-x86.zip)
# and the installer $(WINDOWS_BUILD)/stepwick-VERSION-setup.exe, which holds both editions.
windows: windows-configure
	cmake --build $(WINDOWS_X86_BUILD) -j $(JOBS)
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

# The Linux tests, then those of both Windows editions under wine, each beside one wine server.
test: build windows format-check
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(WINDOWS_BUILD) && ./wine-session ctest --output-on-failure -j $(JOBS)
	cd $(WINDOWS_X86_BUILD) && ./wine-session ctest --output-on-failure -j $(JOBS)

# The core, the command line and their tests without the windows, built with the sanitizers, then
# their ctest. Each sanitizer writes its reports to <build>/sanitizer-reports/ as well, so that a
# report from a stepwick-cli that a test script started fails the run even where the script
# expects the program to fail. No -Werror here: GCC's flow warnings (maybe-uninitialized) misfire on
# the sanitizers' instrumented code; the plain builds hold the warnings to account.
SANITIZE_CONFIGURE = cmake -S . -B $(1) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	-DSTEPWICK_BUILD_UI=OFF -DSTEPWICK_BUILD_TESTS=ON -DSTEPWICK_WERROR=OFF -DSTEPWICK_SANITIZE=$(2)
# $(call SANITIZED_CTEST,build,environment,ctest arguments): the reports are shown, and fail the
# run, whether the tests passed or not.
SANITIZED_CTEST = rm -rf $(1)/sanitizer-reports && mkdir -p $(1)/sanitizer-reports && \
	rc=0; (cd $(1) && $(2) ctest --output-on-failure -j $(JOBS) $(3)) || rc=$$?; \
	find $(1)/sanitizer-reports -type f -empty -delete; \
	if [ -n "$$(ls $(1)/sanitizer-reports)" ]; then cat $(1)/sanitizer-reports/* >&2; \
		echo "Sanitizer reports in $(1)/sanitizer-reports/" >&2; rc=1; fi; exit $$rc
SANITIZER_COMMON = halt_on_error=1:print_stacktrace=1:log_exe_name=1
ASAN_ENV = ASAN_OPTIONS=$(SANITIZER_COMMON):abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:log_path=$(CURDIR)/$(ASAN_BUILD)/sanitizer-reports/asan \
	UBSAN_OPTIONS=$(SANITIZER_COMMON):log_path=$(CURDIR)/$(ASAN_BUILD)/sanitizer-reports/ubsan
TSAN_ENV = TSAN_OPTIONS=$(SANITIZER_COMMON):second_deadlock_stack=1:log_path=$(CURDIR)/$(TSAN_BUILD)/sanitizer-reports/tsan
# No suppressions: nothing of ours or of a library has needed one.
# Left out under ASan: the kill tests (crash_kill_points_*, crash_random_kill_*). They start the
# program at every file-system call and a hundred times into 2000-file runs, which the sanitizer
# slows ten- to twentyfold (a kill-point test 4 s -> 60 s; the random kills pass their 150 s limit),
# past CI's half hour; a program killed with SIGKILL leaves no report either, and the code they
# drive runs sanitized in the core and black-box tests. The disk-full tests (loop devices, as root)
# stay. The black-box table runs its no-/proc case and its memory bounds only unsanitized.
ASAN_EXCLUDE = '^crash_(kill_points|random_kill)_'
# TSan runs the tests that drive the threads directly: the core's (the batch run's pipeline, its
# side threads and queues) and the platform's (the signal handler and the stop flags). The
# black-box tests start the same pipeline through the program, only slower.
TSAN_TARGETS = core_test_batch_run core_test_code_place core_test_file_safety platform_test_seam platform_test_side_queue \
	platform_interrupts

sanitize: asan tsan

asan: setup
	$(call SANITIZE_CONFIGURE,$(ASAN_BUILD),address$(,)undefined)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	$(call SANITIZED_CTEST,$(ASAN_BUILD),$(ASAN_ENV),-E $(ASAN_EXCLUDE))

tsan: setup
	$(call SANITIZE_CONFIGURE,$(TSAN_BUILD),thread)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TARGETS)
	$(call SANITIZED_CTEST,$(TSAN_BUILD),$(TSAN_ENV),-L 'core|platform')

# libFuzzer over the core's byte parsers, in a clang build of its own with ASan and UBSan: each
# target runs FUZZ_SECONDS from its seeds (tests/fuzz/corpus/, left as they are) and what it found
# before (build-fuzz/corpus/). A crash, a leak, a sanitizer report, a broken property, an input
# slower than 10 s or a process over 2 GB fails the run and leaves the input in build-fuzz/.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 300
FUZZ_TARGETS = fuzz_encoding fuzz_line_breaks fuzz_marker fuzz_names fuzz_preamble fuzz_round_trip
PACKAGES += clang libclang-rt-14-dev

fuzz: setup
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
		-DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DSTEPWICK_BUILD_UI=OFF -DSTEPWICK_BUILD_TESTS=OFF -DSTEPWICK_FUZZ=ON \
		-DSTEPWICK_SANITIZE=fuzzer-no-link$(,)address$(,)undefined -DSTEPWICK_WERROR=$(WERROR)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGETS)
	for t in $(FUZZ_TARGETS); do mkdir -p $(FUZZ_BUILD)/corpus/$$t && \
		ASAN_OPTIONS=$(SANITIZER_COMMON) UBSAN_OPTIONS=$(SANITIZER_COMMON) ./$(FUZZ_BUILD)/$$t \
			-max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
			-artifact_prefix=$(FUZZ_BUILD)/$$t- -print_final_stats=1 \
			$(FUZZ_BUILD)/corpus/$$t tests/fuzz/corpus/$$t || exit 1; \
	done

# CI's short run: about 20 s of each target.
fuzz-smoke:
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=20

# clang-tidy with .clang-tidy's checks over the product's sources and its own headers: the Linux
# ones with the compile commands of the Linux build, the Windows ones (the Win32 platform, the
# native windows, wmain) with those of the MinGW build, parsed for that target against MinGW's own
# C++ library. Configured builds are enough: nothing includes a generated file but the version
# header, which configuring writes. Any finding fails; core/, cli/ and platform/ also hold every
# function to 40 lines (their own .clang-tidy).
LINT_SOURCES = $(shell git ls-files 'core/*.cpp' 'forms/*.cpp' 'cli/*.cpp' 'platform/*.cpp' 'ui/*.cpp' 'app/*.cpp' \
	2>/dev/null | grep -v -e '^platform/win32' -e '^cli/main_windows.cpp$$')
WINDOWS_LINT_SOURCES = $(shell git ls-files 'platform/win32/*.cpp' 'platform/win32desktop/*.cpp' 'win32/*.cpp' \
	'cli/main_windows.cpp' 2>/dev/null)
MINGW_CXX = $(firstword $(wildcard /usr/lib/gcc/x86_64-w64-mingw32/*-posix/include/c++))
LINT = clang-tidy --quiet --warnings-as-errors='*' --header-filter='^$(CURDIR)/(core|forms|cli|platform|ui|app|win32)/'
WINDOWS_LINT = --extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++ \
	--extra-arg=-isystem$(MINGW_CXX) --extra-arg=-isystem$(MINGW_CXX)/x86_64-w64-mingw32 \
	--extra-arg=-isystem$(MINGW_CXX)/backward

lint: configure windows-configure
	@command -v clang-tidy >/dev/null || { echo "make lint needs clang-tidy" >&2; exit 1; }
	printf '%s\n' $(LINT_SOURCES) | xargs -P $(JOBS) -n 1 $(LINT) -p $(BUILD)
	printf '%s\n' $(WINDOWS_LINT_SOURCES) | xargs -P $(JOBS) -n 1 $(LINT) -p $(WINDOWS_BUILD) $(WINDOWS_LINT)

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
	rm -rf $(dir $(SETUP_MISSED)) $(BUILD) $(WINDOWS_BUILD) $(WINDOWS_X86_BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
