#!/usr/bin/env bash
# Rewrites the golden outputs of tst_pravikcheck from the current pravik-check. Read the diff
# (git diff tests/data/checker/expected) before committing it.
# Usage: tests/data/checker/regenerate.sh [build-dir]   (default: build)
set -uo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
check="$(cd "$root" && realpath "${1:-build}")/app/pravik-check"
cd "$root"
"$check" examples/valid-credit-transfer.xml examples/invalid-credit-transfer.xml \
  tests/data/checker/not-payment.xml missing.xml examples/valid-direct-debit.xml \
  > tests/data/checker/expected/several-files.txt 2>/dev/null
echo "exit status $? (expected 2)"
