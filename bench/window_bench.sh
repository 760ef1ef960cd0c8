#!/usr/bin/env bash
# Opens and validates the 100,000-transaction credit-transfer file in the checker window (offscreen)
# and compares it with pravik-check on the same file: the time ratio (target <= 2) and the window's
# peak memory over the file's size (target < 6); then the same for that file with 1,000 errors.
# Builds in Release, in its own build folder; exit status 1 when a target is missed.
# Usage: bench/window_bench.sh [build-dir] [transactions]   (defaults: build-release, 100000)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
# Runs never touch the real user's settings.
export PRAVIK_SETTINGS_DIR="${PRAVIK_SETTINGS_DIR:-$here/bench/out/settings}"
build="${1:-$here/build-release}"
transactions="${2:-100000}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target window_bench pravik-check >/dev/null

# The same realistic files as bench/compare.sh, from bench/generate_payments.py; the default one is shared.
out="$here/bench/out"
mkdir -p "$out"
if [ "$transactions" = 100000 ]; then file="$out/sct-100k-valid.xml"; else file="$out/sct-$transactions-valid.xml"; fi
if [ ! -f "$file" ]; then
  python3 "$here/bench/generate_payments.py" --type sct --transactions "$transactions" "$file.part"
  mv "$file.part" "$file"
fi
errors="$out/sct-$transactions-1000-errors.xml"
[ "$transactions" = 100000 ] && errors="$out/sct-100k-1000-errors.xml"
if [ ! -f "$errors" ]; then
  python3 "$here/bench/generate_payments.py" --type sct --transactions "$transactions" --errors 1000 --seed 2 "$errors.part"
  mv "$errors.part" "$errors"
fi

# Each run in a process of its own: the peak memory is the process's.
status=0
echo "== valid file"
"$build/bench/window_bench" "$file" "$build/app/pravik-check" 3 || status=1
echo "== the same with 1,000 schema errors"
"$build/bench/window_bench" "$errors" "$build/app/pravik-check" 3 || status=1
exit $status
