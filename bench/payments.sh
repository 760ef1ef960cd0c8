#!/bin/sh
# What collecting the payments costs: pravik-check on a 100,000-transaction credit transfer, plain
# (validation only) against --summary (validation with the rules' pass, which collects the payments,
# and the summary printed), the two taking turns run by run; then peak memory of both and the bytes
# the collected records take per transaction beside their texts. Last the window's page offscreen
# (bench/payments_fill): the validation's end to the page filled against the validation, and the
# memory the page adds. Processor time throughout: on a busy machine wall time says little.
#   bench/payments.sh [build-dir] [runs]        default: build, 5 runs
set -eu
build=${1:-build}
runs=${2:-5}
here=$(dirname "$0")
out="$here/out"
mkdir -p "$out"
file="$out/sct-100k.xml"
[ -f "$file" ] || python3 "$here/generate_payments.py" --type sct --transactions 100000 "$file"
check="$build/app/pravik-check"
export PRAVIK_NO_HISTORY=1

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Processor time (user and system), which other load on the machine disturbs far less than wall time.
seconds() { /usr/bin/time -f '%U %S' "$@" 2>&1 >/dev/null | tail -1 | awk '{print $1 + $2}'; }

plain=""; summary=""
i=0
while [ $i -lt "$runs" ]; do
    plain="$plain $(seconds "$check" "$file")"
    summary="$summary $(seconds "$check" --summary "$file")"
    i=$((i + 1))
done
p=$(echo $plain | tr ' ' '\n' | median)
s=$(echo $summary | tr ' ' '\n' | median)
echo "validation only:             $p s processor time (median of $runs)"
echo "with rules and collection:   $s s"
echo "extra / validation:          $(echo "scale=3; ($s - $p) / $p" | bc)"

rss() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
echo "peak memory, validation only:  $(rss "$check" "$file") KB"
echo "peak memory, with --summary:   $(rss "$check" --summary "$file") KB"
# The texts the records point into: every field and its ending zero byte, from the CSV list.
"$check" --list "$file" | LC_ALL=C awk -F';' 'NR > 1 {
    n++; for (i = 3; i <= 13; i++) if (i != 6 && i != 7) t += length($i) + 1 }
    END { printf "transactions: %d, texts: %.1f bytes per transaction, records: 24 bytes each\n", n, t / n }'

echo "the window's page (payments_fill, median of $runs):"
"$build/bench/payments_fill" "$file" "$runs" 2>/dev/null
