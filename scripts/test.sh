#!/usr/bin/env bash
# Sets up, builds and runs every test of Pravik through ctest: the formatting check, the plain build,
# the Debian package through lintian, the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, and each fuzz target briefly
# over its seeds. Any sanitizer report fails the run. The configurations are the presets of
# CMakePresets.json.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
scripts/setup.sh
jobs="$(nproc)"
fuzz_seconds="${PRAVIK_FUZZ_SECONDS:-20}"

echo "== formatting"
scripts/check-format.sh

echo "== plain build"
# Line tables only (-g1): a failure's backtrace keeps its files and lines, and compiling and linking
# handle a fraction of the debug information. The package strips it anyway.
cmake --preset plain -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
cmake --build --preset plain -j "$jobs"
ctest --preset plain -j "$jobs"

echo "== Debian package (lintian errors and warnings fail)"
scripts/package.sh build >/dev/null

echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

echo "== ThreadSanitizer (tests that use threads)"
cmake --preset tsan >/dev/null
tsan_tests=$(ctest --preset tsan -N | sed -n 's/^ *Test *#[0-9]*: //p')
if [ -n "$tsan_tests" ]; then
  # shellcheck disable=SC2086
  cmake --build --preset tsan -j "$jobs" --target $tsan_tests
  ctest --preset tsan -j "$jobs"
fi

echo "== fuzz targets, ${fuzz_seconds}s each"
PRAVIK_FUZZ_SECONDS="$fuzz_seconds" scripts/fuzz.sh
