#!/bin/sh
# What the SEPA rules' pass costs beside the validation it rides on: pravik-check -j1 (one pass) on a
# 100,000-transaction credit transfer, plain against --rules --no-history, the two taking turns run by
# run; processor time (user + system, median) and peak memory. Then the same pair under callgrind on
# 10,000-transaction files (a credit transfer and a direct debit): instructions, which the machine's
# other load does not disturb. Use a release build (cmake --preset release).
#   bench/rules.sh [build-dir] [runs]        default: build-release, 5 runs
set -eu
build=${1:-build-release}
runs=${2:-5}
here=$(dirname "$0")
out="$here/out"
mkdir -p "$out"
large="$out/sct-100k.xml"
[ -f "$large" ] || python3 "$here/generate_payments.py" --type sct --transactions 100000 "$large"
check="$build/app/pravik-check"
# Dates are judged against a fixed clock, so every run finds the same.
export PRAVIK_NOW=2026-12-10T10:00:00

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
seconds() { /usr/bin/time -f '%U %S' "$@" 2>&1 >/dev/null | tail -1 | awk '{print $1 + $2}'; }
rss() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

plain=""; rules=""
i=0
while [ $i -lt "$runs" ]; do
    plain="$plain $(seconds "$check" -j1 "$large")"
    rules="$rules $(seconds "$check" -j1 --rules --no-history "$large")"
    i=$((i + 1))
done
p=$(echo $plain | tr ' ' '\n' | median)
r=$(echo $rules | tr ' ' '\n' | median)
echo "$(basename "$large"), processor time (user + system, median of $runs):"
echo "  one pass:                $p s"
echo "  one pass with the rules: $r s"
echo "  the rules' own cost:     $(echo "scale=3; ($r - $p) / $p" | bc) of one pass"
echo "  peak memory:             $(rss "$check" -j1 "$large") KB, with the rules $(rss "$check" -j1 --rules --no-history "$large") KB"

command -v valgrind >/dev/null || { echo "no valgrind: instruction counts left out"; exit 0; }
instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null \
        | sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}
for type in sct sdd; do
    small="$out/$type-10k.xml"
    [ -f "$small" ] || python3 "$here/generate_payments.py" --type $type --transactions 10000 "$small"
    p=$(instructions "$check" -j1 "$small")
    r=$(instructions "$check" -j1 --rules --no-history "$small")
    echo "$(basename "$small"), instructions (callgrind):"
    echo "  one pass:                $p"
    echo "  one pass with the rules: $r"
    echo "  the rules' own cost:     $(echo "scale=3; ($r - $p) / $p" | bc) of one pass," \
        "$(echo "($r - $p) / 10000" | bc) per transaction"
done
