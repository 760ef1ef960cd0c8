#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer on) and runs
# each for PRAVIK_FUZZ_SECONDS (default 60) from its seeds, as many at once as there are processors.
# New inputs go to fuzz/out/<target>/; an input that fails is written to fuzz/out/crashes/ and fails
# the run: keep it as a regression test in tests/data/fuzz/<target>/.  Usage: scripts/fuzz.sh [target...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
seconds="${PRAVIK_FUZZ_SECONDS:-60}"
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(engine chunked rules tostrings textfile versionresource)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

mkdir -p fuzz/out/crashes
# One fuzzer is one process on one processor: as many run side by side as there are processors, each
# for its full time.
fuzz_one() {
  local t="$1"
  local regressions=()
  [ -d "tests/data/fuzz/$t" ] && regressions=("tests/data/fuzz/$t")
  mkdir -p "fuzz/out/$t"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="fuzz/out/crashes/$t-" \
      "fuzz/out/$t" "fuzz/corpus/$t" "${regressions[@]}" >"fuzz/out/$t.log" 2>&1
}
declare -A pid
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n || true; done
  fuzz_one "$t" &
  pid[$t]=$!
done
failed=0
for t in "${targets[@]}"; do
  status=0
  wait "${pid[$t]}" || status=$?
  log="fuzz/out/$t.log"
  echo "-- fuzz_$t for ${seconds}s"
  grep -E '^#[0-9]+ +(DONE|pulse)|stat::number_of_executed_units|stat::peak_rss_mb' "$log" | tail -3 || true
  if [ "$status" -ne 0 ]; then
    grep -E '^==[0-9]+==|SUMMARY|Test unit written|runtime error' "$log" | head -20 || true
    echo "fuzz_$t found a failing input (see $log and fuzz/out/crashes/)"
    failed=1
  fi
done
exit "$failed"
