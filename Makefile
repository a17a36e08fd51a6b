# Two commands matter: `make demo` draws the bundled example, `make check` builds and runs every test.
# Both install the Debian packages the project needs when they are missing.

# librsvg2-bin renders the maps as PNG (rsvg-convert); the map tests read the SVG back with
# expat and the rendered PNG with libpng.
PACKAGES := cmake ninja-build g++ liblapack-dev libblas-dev googletest libgtest-dev libgmock-dev \
            libbenchmark-dev libtomlplusplus-dev nlohmann-json3-dev libcli11-dev libfmt-dev \
            librsvg2-bin libexpat1-dev libpng-dev
FUZZ_PACKAGES := clang libclang-rt-14-dev
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
JOBS ?= $(shell nproc)

.PHONY: deps demo check test asan bench fuzz format format-check clean

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi

build/release/build.ninja: | deps
	cmake --preset release

build/asan/build.ninja: | deps
	cmake --preset asan

# The main job on the bundled example.
demo: build/release/build.ninja
	cmake --build build/release -j $(JOBS)
	@if [ -x build/release/bin/distil ]; then \
	    ./scripts/demo.sh build/release/bin/distil; \
	else \
	    echo "The distil command-line program is not built yet; nothing to demonstrate."; \
	fi

# Unit tests in the optimised build, then the same tests under AddressSanitizer and UBSan.
check: test asan

test: build/release/build.ninja
	cmake --build build/release -j $(JOBS)
	ctest --test-dir build/release --output-on-failure -j $(JOBS)

asan: build/asan/build.ninja
	cmake --build build/asan -j $(JOBS)
	ctest --test-dir build/asan --output-on-failure -j $(JOBS)

bench: deps
	cmake --preset bench
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bin/*_bench; do [ -x "$$b" ] && "$$b" --benchmark_min_time=0.2; done; true

fuzz: deps
	@missing=$$(for p in $(FUZZ_PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then $(SUDO) apt-get update && $(SUDO) apt-get install -y $$missing; fi
	cmake --preset fuzz
	cmake --build build/fuzz -j $(JOBS)
	@for f in build/fuzz/bin/*_fuzzer; do echo "== $$f"; "$$f" -max_total_time=$${FUZZ_SECONDS:-60} -rss_limit_mb=2048 || exit 1; done

format:
	git ls-files '*.cpp' '*.hpp' '*.h' '*.c' | xargs -r clang-format -i

format-check:
	@command -v clang-format >/dev/null || ($(SUDO) apt-get update && $(SUDO) apt-get install -y clang-format)
	git ls-files '*.cpp' '*.hpp' '*.h' '*.c' | xargs -r clang-format --dry-run --Werror

clean:
	rm -rf build
