#!/usr/bin/env bash
# Sets up, builds and runs every test of Pravik through ctest: the plain build, the whole suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, and
# each fuzz target briefly over its seeds. Any sanitizer report fails the run.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
scripts/setup.sh
jobs="$(nproc)"
fuzz_seconds="${PRAVIK_FUZZ_SECONDS:-50}"

configure() { # folder, extra cmake arguments...
  local dir="$1"; shift
  cmake -S . -B "$dir" -G Ninja -DWARNINGS_AS_ERRORS=ON "$@" >/dev/null
}

echo "== plain build"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DPRAVIK_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions="$here/scripts/lsan.supp" \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900 -LE nosanitize

echo "== ThreadSanitizer (tests that use threads)"
configure build-tsan -DCMAKE_BUILD_TYPE=Debug -DPRAVIK_TSAN=ON
tsan_tests=$(ctest --test-dir build-tsan -N -L threads | sed -n 's/^ *Test *#[0-9]*: //p')
if [ -n "$tsan_tests" ]; then
  # shellcheck disable=SC2086
  cmake --build build-tsan -j "$jobs" --target $tsan_tests
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions="$here/scripts/tsan.supp" \
    ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 900 -L threads
fi

echo "== fuzz targets, ${fuzz_seconds}s each"
PRAVIK_FUZZ_SECONDS="$fuzz_seconds" scripts/fuzz.sh
