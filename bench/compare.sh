#!/usr/bin/env bash
# Compares pravik-check with libxml2's own streaming validation (xmllint --stream) on the same files
# and schemas: wall time (hyperfine) and peak memory (GNU time), printed as ratios with targets.
#   1. a valid 100,000-transaction credit transfer (tens of MB)
#   2. the same with 1,000 schema errors, all of which must be reported
#   3. a batch of 100 credit transfers of 1,000 transactions: one pravik-check run against one
#      xmllint run over the same 100 files
#   4. the SEPA rules' cost: pravik-check --rules against pravik-check on the valid file of 1 and on
#      a direct-debit file of 100,000 transactions
# Usage: bench/compare.sh [build-dir] [runs]   (defaults: build-release, 10)
# Files and hyperfine's JSON go to bench/out/.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
# Runs never touch the real user's settings.
export PRAVIK_SETTINGS_DIR="${PRAVIK_SETTINGS_DIR:-$here/bench/out/settings}"
build="${1:-$here/build-release}"
runs="${2:-10}"
out="$here/bench/out"
schemas="$(sed -n 's/^PRAVIK_SCHEMA_DIR:PATH=//p' "$build/CMakeCache.txt" 2>/dev/null || true)"
schemas="${schemas:-$here/../shared/schemas}"
xsd="$schemas/pain.001.001.09_GBIC_5.xsd"

for tool in hyperfine xmllint /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing; run scripts/setup.sh" >&2; exit 2; }
done
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target pravik-check >/dev/null
check="$build/app/pravik-check"

mkdir -p "$out/batch"
: >"$out/hyperfine.log"
gen="$here/bench/generate_payments.py"
[ -f "$out/sct-100k-valid.xml" ] || "$gen" --type sct --transactions 100000 "$out/sct-100k-valid.xml"
[ -f "$out/sdd-100k-valid.xml" ] || "$gen" --type sdd --transactions 100000 "$out/sdd-100k-valid.xml"
[ -f "$out/sct-100k-1000-errors.xml" ] || "$gen" --type sct --transactions 100000 --errors 1000 --seed 2 "$out/sct-100k-1000-errors.xml"
for i in $(seq -w 1 100); do
  [ -f "$out/batch/sct-1k-$i.xml" ] || "$gen" --type sct --transactions 1000 --errors $((10#$i % 4)) --seed "$((10#$i + 100))" "$out/batch/sct-1k-$i.xml"
done
batch=("$out"/batch/sct-1k-*.xml)

# Both must agree on the verdicts before their speed means anything.
errors_pravik="$("$check" "$out/sct-100k-1000-errors.xml" | grep -c '^ErrorCode:' || true)"
errors_xmllint="$(xmllint --noout --stream --schema "$xsd" "$out/sct-100k-1000-errors.xml" 2>&1 | grep -c 'validity error' || true)"
"$check" "$out/sct-100k-valid.xml" >/dev/null || { echo "compare.sh: pravik-check finds the valid file invalid" >&2; exit 1; }
echo "errors reported in the 1,000-error file: pravik-check $errors_pravik, xmllint $errors_xmllint"

# The median, which other load on the machine disturbs less than the mean, and the fastest run, which
# shows what the programs do when nothing else competes for the processors.
figure() { python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][int(sys.argv[2])][sys.argv[3]])' "$@"; }

compare() { # name, pravik command, xmllint command
  local name="$1"
  hyperfine --style none --warmup 1 --runs "$runs" -i --export-json "$out/$name.json" \
    -n pravik-check "$2" -n xmllint "$3" >/dev/null 2>>"$out/hyperfine.log"
  echo "$(figure "$out/$name.json" 0 median) $(figure "$out/$name.json" 1 median) $(figure "$out/$name.json" 0 min) $(figure "$out/$name.json" 1 min)"
}

report() { # label, pravik median, xmllint median, pravik fastest, xmllint fastest, target kind, target
  python3 - "$@" <<'PY'
import sys
label = sys.argv[1]
p, x, pmin, xmin = (float(v) for v in sys.argv[2:6])
kind, target = sys.argv[6], float(sys.argv[7])
if kind == "slower":
    ratio, best = p / x, pmin / xmin
    verdict = "meets" if ratio <= target else "MISSES"
    what, goal = "time ratio", f"(target <= {target}) {verdict}"
else:
    ratio, best = x / p, xmin / pmin
    verdict = "meets" if ratio >= target else "MISSES"
    what, goal = "speed-up", ("" if kind == "info" else f"(target >= {target}) {verdict}")
print(f"{label:<34} pravik-check {p:6.3f} s  xmllint {x:6.3f} s  {what} {ratio:5.2f} "
      f"[fastest runs {pmin:6.3f} s / {xmin:6.3f} s: {best:5.2f}] {goal}")
PY
}

memory() { # label, file
  local size_kb peak_p peak_x
  size_kb=$(( $(stat -c %s "$2") / 1024 ))
  /usr/bin/time -f '%M' -o "$out/.peak" "$check" "$2" >/dev/null 2>&1 || true
  peak_p=$(tail -n 1 "$out/.peak")
  /usr/bin/time -f '%M' -o "$out/.peak" xmllint --noout --stream --schema "$xsd" "$2" >/dev/null 2>&1 || true
  peak_x=$(tail -n 1 "$out/.peak")
  python3 - "$1" "$size_kb" "$peak_p" "$peak_x" <<'PY'
import sys
label, size, p, x = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
budget = size + 64 * 1024
verdict = "meets" if p <= budget else "MISSES"
print(f"{label:<34} file {size/1024:6.1f} MB  peak pravik-check {p/1024:6.1f} MB  xmllint {x/1024:6.1f} MB  "
      f"(target <= file + 64 MB = {budget/1024:.1f} MB) {verdict}")
PY
}

echo "machine: $(nproc) processors, load average $(cut -d' ' -f1-3 /proc/loadavg); median of $runs runs after one warm-up"
read -r p x pm xm < <(compare valid "$check '$out/sct-100k-valid.xml'" "xmllint --noout --stream --schema '$xsd' '$out/sct-100k-valid.xml'")
report "100,000 transactions, valid" "$p" "$x" "$pm" "$xm" slower 1.1
read -r p x pm xm < <(compare errors "$check '$out/sct-100k-1000-errors.xml'" "xmllint --noout --stream --schema '$xsd' '$out/sct-100k-1000-errors.xml'")
report "100,000 transactions, 1,000 errors" "$p" "$x" "$pm" "$xm" slower 1.1
read -r p x pm xm < <(compare batch "$check ${batch[*]}" "xmllint --noout --stream --schema '$xsd' ${batch[*]}")
report "100 files of 1,000 transactions" "$p" "$x" "$pm" "$xm" faster 1.6
read -r p x pm xm < <(compare batch-serial "$check -j 1 ${batch[*]}" "xmllint --noout --stream --schema '$xsd' ${batch[*]}")
report "the same batch with -j 1" "$p" "$x" "$pm" "$xm" info 0
# The rules run in the engine's pass; their cost is what they add to validation alone. The two commands
# take turns, run by run, so that a change in the machine's load falls on both alike.
rules_cost() { # label, file
  python3 - "$1" "$check" "$2" "$runs" <<'PY'
import os, statistics, subprocess, sys, time
label, check, path, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
def run(args):
    start = time.perf_counter()
    p = subprocess.Popen([check, *args, path], stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    return time.perf_counter() - start, usage.ru_utime
times = {"plain": [], "rules": []}
run([]); run(["--rules"])  # warm-up
for _ in range(runs):
    times["plain"].append(run([]))
    times["rules"].append(run(["--rules"]))
med = lambda k, i: statistics.median(t[i] for t in times[k])
low = lambda k, i: min(t[i] for t in times[k])
ratio = med("rules", 0) / med("plain", 0)
verdict = "meets" if ratio <= 1.2 else "MISSES"
print(f"{label:<34} validation {med('plain', 0):6.3f} s  with --rules {med('rules', 0):6.3f} s  time ratio {ratio:5.2f} "
      f"[fastest runs {low('rules', 0) / low('plain', 0):5.2f}; user time {med('rules', 1) / med('plain', 1):5.2f}] "
      f"(target <= 1.2) {verdict}")
PY
}
if "$check" --help | grep -q -- '--rules'; then
  rules_cost "SEPA rules, credit transfers" "$out/sct-100k-valid.xml"
  rules_cost "SEPA rules, direct debits" "$out/sdd-100k-valid.xml"
fi
memory "peak memory, valid file" "$out/sct-100k-valid.xml"
memory "peak memory, 1,000-error file" "$out/sct-100k-1000-errors.xml"
rm -f "$out/.peak"
