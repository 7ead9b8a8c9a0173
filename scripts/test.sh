#!/usr/bin/env bash
# Sets up, builds and runs every test: the format check, the normal build, the Debian package (installed, started
# and purged), the non-GUI tests under AddressSanitizer and UndefinedBehaviorSanitizer, the threading tests under
# ThreadSanitizer, and a short run of each fuzzer.
source "$(dirname "$0")/common.sh"
bash "$ROOT/scripts/setup.sh"
cd "$ROOT"

echo "== format"
bash "$ROOT/scripts/check-format.sh"

echo "== build and test (RelWithDebInfo)"
configure_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$JOBS"
ctest --test-dir build --output-on-failure -j"$JOBS"

echo "== Debian package: install, start under Xvfb, purge"
bash "$ROOT/scripts/test-deb.sh" build

echo "== non-GUI tests under AddressSanitizer and UndefinedBehaviorSanitizer"
configure_build build-asan -DCMAKE_BUILD_TYPE=Debug -DTALLYSCOPE_WIDGETS=OFF \
  -DTALLYSCOPE_BENCH=OFF -DTALLYSCOPE_SANITIZE=address,undefined
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$JOBS" -L nongui

echo "== threading tests under ThreadSanitizer"
configure_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DTALLYSCOPE_WIDGETS=OFF \
  -DTALLYSCOPE_BENCH=OFF -DTALLYSCOPE_SANITIZE=thread
if ctest --test-dir build-tsan -N -L tsan | grep -q 'Total Tests: [1-9]'; then
  cmake --build build-tsan -j"$JOBS" --target tsan_tests
  # die_after_fork=0: device tests start socat from a threaded process; the
  # child only execs it. ignore_noninstrumented_modules=1: Qt is not built
  # with TSan, so its own thread hand-offs (QtTest's watchdog) are invisible
  # and would read as races; the project's code stays fully checked.
  TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 ignore_noninstrumented_modules=1" ctest --test-dir build-tsan --output-on-failure -L tsan
fi

echo "== fuzzers (short smoke run)"
CC=clang CXX=clang++ configure_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTALLYSCOPE_WIDGETS=OFF -DTALLYSCOPE_BENCH=OFF -DTALLYSCOPE_FUZZ=ON
if ctest --test-dir build-fuzz -N -L fuzz | grep -q 'Total Tests: [1-9]'; then
  cmake --build build-fuzz -j"$JOBS" --target fuzzers
  ctest --test-dir build-fuzz --output-on-failure -L fuzz
fi
