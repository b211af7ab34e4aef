# Set-up, build and test on a fresh Debian 12 machine (as root or with sudo).
PACKAGES := cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-declarative-dev \
            qt6-translations-l10n libgl-dev fonts-noto-cjk clang-format \
            pkgconf libmosquitto-dev mosquitto mosquitto-clients openssl \
            clang libclang-rt-14-dev
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
JOBS ?= $(shell nproc)

.PHONY: deps build build-asan build-tsan build-fuzz demo test test-asan test-tsan fuzz-smoke fuzz fuzz-long \
        format format-check bench soak soak-long clean

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: deps
	cmake --preset default
	cmake --build build -j $(JOBS)

build-asan: deps
	cmake --preset asan
	cmake --build build-asan -j $(JOBS)

build-tsan: deps
	cmake --preset tsan
	cmake --build build-tsan -j $(JOBS)

demo: deps
	cmake --preset default
	cmake --build build -j $(JOBS) --target tolvex
	./build/bin/tolvex --simulate

test: build build-asan
	ctest --test-dir build --output-on-failure -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

test-tsan: build-tsan
	TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --test-dir build-tsan --output-on-failure -j $(JOBS)

build-fuzz: deps
	cmake --preset fuzz
	cmake --build build-fuzz -j $(JOBS) --target fuzz_targets

# libFuzzer over the parsers (tests/fuzz): a fixed count and seed per target
# (CI), FUZZ_SECONDS per target on two workers, or 10^7 runs per target in
# ten processes, FUZZ_WORKERS (default 1) of them side by side;
# FUZZ_TARGETS="hex_text stp_file" runs only those.
FUZZ_SECONDS ?= 60
FUZZ_WORKERS ?= 1
fuzz-smoke: build-fuzz
	tests/fuzz/run-fuzzers.sh smoke $(FUZZ_TARGETS)

fuzz: build-fuzz
	FUZZ_SECONDS=$(FUZZ_SECONDS) tests/fuzz/run-fuzzers.sh time $(FUZZ_TARGETS)

fuzz-long: build-fuzz
	FUZZ_WORKERS=$(FUZZ_WORKERS) tests/fuzz/run-fuzzers.sh long $(FUZZ_TARGETS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

bench: build
	@# Benchmarks draw off screen: no display is needed, and none is disturbed.
	export QT_QPA_PLATFORM=offscreen; \
	./build/bin/bench_msv 5 && \
	./build/bin/bench_reconnect 10 && \
	./build/bin/bench_params 5 && \
	./build/bin/bench_patrol 100 && \
	./build/bin/bench_curves realtime 60 && \
	./build/bin/bench_curves demo 30 && \
	./build/bin/bench_curves history && \
	./build/bin/bench_terminal 600 && \
	./build/bin/bench_mqtt 50

# Soaks under faults (options: bench/SoakBench.cpp); the
# durations are parameters, SOAK_SECONDS=60 gives a quick round.
SOAK_SECONDS ?= 300
SOAK_LONG_SECONDS ?= 3600
soak: build
	export QT_QPA_PLATFORM=offscreen; status=0; \
	for n in 8 16 32; do \
	  ./build/bin/bench_soak --modules $$n --seconds $(SOAK_SECONDS) || status=1; \
	done; \
	./build/bin/bench_terminal soak $(SOAK_SECONDS) || status=1; exit $$status

soak-long: build
	export QT_QPA_PLATFORM=offscreen; status=0; \
	./build/bin/bench_soak --modules 32 --seconds $(SOAK_LONG_SECONDS) --realtime-every 300 || status=1; \
	./build/bin/bench_terminal soak $(SOAK_LONG_SECONDS) || status=1; exit $$status

clean:
	rm -rf build build-asan build-tsan build-fuzz
