#!/usr/bin/env bash
# One large file on 1 and 2 threads: pravik-check -j 1 (one pass) against -j 2 (chunks), and
# xmllint --stream for scale, on a valid 100,000-transaction credit transfer and on the same with
# 1,000 errors. Each run is timed with GNU time; the minimum of wall, user and system time over the
# runs, the largest peak memory and the page faults are printed, then chunk_profile's per-chunk CPU
# times and the wall time they predict for 8 threads.
# With a baseline (another build's pravik-check), its runs alternate with this build's, back to back,
# so that both see the same machine: on a shared machine only such pairs compare.
# Usage: bench/chunked.sh [build-dir] [runs] [baseline-pravik-check]   (defaults: build, 5). Files go
# to bench/out/.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
export PRAVIK_SETTINGS_DIR="${PRAVIK_SETTINGS_DIR:-$here/bench/out/settings}"
build="${1:-$here/build}"
runs="${2:-5}"
baseline="${3:-}"
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

# summary LABEL LOG: the minimum wall, user and system seconds, the largest peak memory and the
# minor page faults of the runs logged by GNU time.
summary() {
  awk -v label="$1" '/^[0-9.]+ [0-9.]+ [0-9.]+ [0-9]+ [0-9]+$/ {
      if (n == 0 || $1 < w) w = $1; if (n == 0 || $2 < u) u = $2; if (n == 0 || $3 < s) s = $3
      if ($4 > m) m = $4; if (n == 0 || $5 < f) f = $5; n++ }
    END { printf "%-34s wall %6.2f s  user %6.2f s  sys %5.2f s  cpu %6.2f s  peak %5d MB  faults %6d\n", label, w, u, s, u + s, m / 1024, f }' "$2"
}

# measure LABEL COMMAND...: each run timed; with a baseline and a pravik-check command, the same
# command with the baseline's program right after each run.
measure() {
  local label="$1"; shift
  local log old; log="$(mktemp)"; old="$(mktemp)"
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S %M %R" -a -o "$log" "$@" >/dev/null 2>&1 || true
    if [ -n "$baseline" ] && [ "$1" = "$check" ]; then
      /usr/bin/time -f "%e %U %S %M %R" -a -o "$old" "$baseline" "${@:2}" >/dev/null 2>&1 || true
    fi
  done
  summary "$label" "$log"
  [ -s "$old" ] && summary "  baseline, same runs" "$old"
  rm -f "$log" "$old"
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
