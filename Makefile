# The two quick-start commands: `make demo` and `make test`.
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS ?= $(shell nproc)
# The cross builds for Windows (mingw-w64), whose tests run under Wine.
WIN64_BUILD ?= build-win64
WIN32_BUILD ?= build-win32
WIN_BUILD_TYPE ?= Release
# Empty: everything, the unit tests and the in-process server included.
WIN_TARGETS ?=

.PHONY: demo test test-asan test-tsan test-windows windows build deps bench clean

deps:
	@sh tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory test-windows

# Whether this machine starts 32-bit programs. Some kernels refuse them
# ("Exec format error"); there the x86 DLL is still built, with the IDL of
# the x64 build, but nothing of it can run.
WINE32_RUNS = /usr/lib/wine/wine --version > /dev/null 2>&1

# The Windows tests of both architectures under Wine, then the two servers
# registered side by side.
test-windows: windows
	ctest --test-dir $(WIN64_BUILD) --output-on-failure -j $(JOBS)
	@if $(WINE32_RUNS); then \
	  ctest --test-dir $(WIN32_BUILD) --output-on-failure -j $(JOBS) && \
	  bash tests/com/both_views_test.sh $(WIN32_BUILD)/com/vexlor.dll $(WIN64_BUILD)/com/vexlor.dll; \
	else \
	  echo "x86 tests skipped: this machine does not start 32-bit programs (the x86 DLL is built)"; \
	fi

# Programs of the build and the tests run in the project's own Wine prefix
# (tools/wine-prefix.sh makes it when missing).
windows: deps
	@sh tools/wine-prefix.sh > /dev/null
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_BUILD_TYPE=$(WIN_BUILD_TYPE) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake > /dev/null
	cmake --build $(WIN64_BUILD) -j $(JOBS) $(if $(WIN_TARGETS),--target $(WIN_TARGETS))
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_BUILD_TYPE=$(WIN_BUILD_TYPE) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
	  -DVEXLOR_IDL_FROM=$$($(WINE32_RUNS) || echo $(abspath $(WIN64_BUILD))/com/vexlor.idl) > /dev/null
	cmake --build $(WIN32_BUILD) -j $(JOBS) $(if $(WIN_TARGETS),--target $(WIN_TARGETS))

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVEXLOR_SANITIZE=ON -DVEXLOR_PYTHON=OFF -DVEXLOR_BENCH=OFF > /dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The table tests, whose batch methods share work with threads, under
# ThreadSanitizer; only those are built.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXLOR_TSAN=ON -DVEXLOR_PYTHON=OFF -DVEXLOR_BENCH=OFF -DVEXLOR_CLI=OFF > /dev/null
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target tables_tests
	VEXLOR_THREADS=4 TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tables_tests --gtest_brief=1

# The demo needs the command alone: it installs and builds only that, in
# the full build when one is there, else in a lean one of its own.
DEMO_BUILD = $(if $(wildcard $(BUILD)/CMakeCache.txt),$(BUILD),build-demo)
demo:
	@sh tools/install-deps.sh demo
	@[ "$(DEMO_BUILD)" = "$(BUILD)" ] || cmake -S . -B $(DEMO_BUILD) \
	  -DCMAKE_BUILD_TYPE=Release -DVEXLOR_TESTS=OFF -DVEXLOR_PYTHON=OFF \
	  -DVEXLOR_BENCH=OFF -DVEXLOR_WITH_REVIEW=OFF > /dev/null
	cmake --build $(DEMO_BUILD) -j $(JOBS) --target vexlor_command
	@sh examples/demo.sh $(DEMO_BUILD)/vexlor

bench: build
	@sh bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-demo $(ASAN_BUILD) $(TSAN_BUILD) $(WIN64_BUILD) $(WIN32_BUILD) build-wine
