#!/usr/bin/env bash
# One large file on 1 and 2 threads: pravik-check -j 1 (one pass) against -j 2 (chunks), and
# xmllint --stream for scale, on a valid 100,000-transaction credit transfer and on the same with
# 1,000 errors. Each run is timed with GNU time; the minimum of wall, user and system time over the
# runs and the largest peak memory are printed, then chunk_profile's per-chunk CPU times and the
# wall time they predict for 8 threads.
# Usage: bench/chunked.sh [build-dir] [runs]   (defaults: build, 5). Files go to bench/out/.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
export PRAVIK_SETTINGS_DIR="${PRAVIK_SETTINGS_DIR:-$here/bench/out/settings}"
build="${1:-$here/build}"
runs="${2:-5}"
out="$here/bench/out"
schemas="$(sed -n 's/^PRAVIK_SCHEMA_DIR:PATH=//p' "$build/CMakeCache.txt" 2>/dev/null || true)"
schemas="${schemas:-$here/../shared/schemas}"
xsd="$schemas/pain.001.001.09_GBIC_5.xsd"
cmake --build "$build" --target pravik-check chunk_profile >/dev/null
check="$build/app/pravik-check"
mkdir -p "$out"
valid="$out/sct-100k.xml"
errors="$out/sct-100k-1000-errors.xml"
[ -f "$valid" ] || python3 "$here/bench/generate_payments.py" --type sct --transactions 100000 "$valid"
[ -f "$errors" ] || python3 "$here/bench/generate_payments.py" --type sct --transactions 100000 --errors 1000 "$errors"

# measure LABEL COMMAND...: the minimum wall, user and system seconds and the largest peak memory.
measure() {
  local label="$1"; shift
  local log; log="$(mktemp)"
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S %M" -a -o "$log" "$@" >/dev/null 2>&1 || true
  done
  awk -v label="$label" '/^[0-9.]+ [0-9.]+ [0-9.]+ [0-9]+$/ {
      if (n == 0 || $1 < w) w = $1; if (n == 0 || $2 < u) u = $2; if (n == 0 || $3 < s) s = $3
      if ($4 > m) m = $4; n++ }
    END { printf "%-34s wall %6.2f s  user %6.2f s  sys %5.2f s  cpu %6.2f s  peak %5d MB\n", label, w, u, s, u + s, m / 1024 }' "$log"
  rm -f "$log"
}

for f in "$valid" "$errors"; do
  echo "== $(basename "$f") ($(( $(stat -c %s "$f") / 1000000 )) MB), minimum of $runs runs"
  measure "pravik-check -j 1 (one pass)" "$check" --no-history -j 1 "$f"
  measure "pravik-check -j 2 (chunks)" "$check" --no-history -j 2 "$f"
  if command -v xmllint >/dev/null; then
    measure "xmllint --stream" xmllint --noout --stream --schema "$xsd" "$f"
  fi
  "$build/bench/chunk_profile" "$f" 2 8
done
