#!/bin/sh
# What an upgrade costs against a check of its result: pravik-check --upgrade of a 100,000-transaction
# file in a retired version, then --rules of the file it wrote (with the default -j, in parts on
# several threads, and with -j 1, one pass), the three back to back in each round. Prints wall,
# user and system time and peak memory of every run, and the medians' ratios of wall and of
# processor time (user + system), which other load on the machine disturbs far less.
#   bench/upgrade.sh [build-dir] [runs] [sct|sdd]     default: build, 3 runs, sct
set -eu
build=${1:-build}
runs=${2:-3}
kind=${3:-sct}
here=$(dirname "$0")
out="$here/out"
mkdir -p "$out"
file="$out/$kind-100k-retired.xml"
[ -f "$file" ] || python3 "$here/generate_payments.py" --type "$kind" --retired --transactions 100000 "$file"
result="$out/$kind-100k-upgraded.xml"
check="$build/app/pravik-check"

measure() { # label command...: prints "label wall user sys maxrss-KB"
    label=$1
    shift
    /usr/bin/time -f "$label %e %U %S %M" "$@" 2>&1 >/dev/null | tail -1
}

rows=$(mktemp)
trap 'rm -f "$rows"' EXIT
i=0
while [ $i -lt "$runs" ]; do
    measure upgrade "$check" --no-history --upgrade --force -o "$result" "$file" >>"$rows" || true
    measure check "$check" --no-history --rules "$result" >>"$rows"
    measure check-j1 "$check" -j 1 --no-history --rules "$result" >>"$rows"
    i=$((i + 1))
done
echo "run        wall s  user s  sys s   peak KB"
awk '{printf "%-10s %6.2f  %6.2f  %5.2f  %8d\n", $1, $2, $3, $4, $5}' "$rows"
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
col() { awk -v l="$1" -v c="$2" '$1 == l {if (c == "cpu") print $3 + $4; else print $c}' "$rows" | median; }
uw=$(col upgrade 2); cw=$(col check 2); jw=$(col check-j1 2)
uc=$(col upgrade cpu); cc=$(col check cpu); jc=$(col check-j1 cpu)
um=$(col upgrade 5); cm=$(col check 5)
awk -v uw="$uw" -v cw="$cw" -v jw="$jw" -v uc="$uc" -v cc="$cc" -v jc="$jc" -v um="$um" -v cm="$cm" 'BEGIN {
    printf "upgrade / check (default -j): wall %.2f x, processor time %.2f x\n", uw / cw, uc / cc
    printf "upgrade / check -j 1:         wall %.2f x, processor time %.2f x\n", uw / jw, uc / jc
    printf "peak memory: upgrade %d KB, check %d KB (%+d KB)\n", um, cm, um - cm
}'
