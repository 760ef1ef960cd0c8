#!/usr/bin/env bash
# Sets up, builds and runs every test of Pravik through ctest.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
scripts/setup.sh
jobs="$(nproc)"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600
