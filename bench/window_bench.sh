#!/usr/bin/env bash
# Opens and validates the 100,000-transaction credit-transfer file in the checker window (offscreen)
# and compares it with pravik-check on the same file: the time ratio (target <= 2) and the window's
# peak memory over the file's size (target < 6). Builds in Release, in its own build folder.
# Usage: bench/window_bench.sh [build-dir] [transactions]   (defaults: build-release, 100000)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build-release}"
transactions="${2:-100000}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target window_bench pravik-check >/dev/null

data="${TMPDIR:-/tmp}/pravik-bench"
mkdir -p "$data"
file="$data/window-pain001-$transactions.xml"
if [ ! -f "$file" ]; then
  # The valid example with its one transaction repeated, end-to-end ids numbered, totals adjusted.
  python3 - "$here/examples/valid-credit-transfer.xml" "$transactions" "$file" <<'PY'
import re, sys
source, count, target = sys.argv[1], int(sys.argv[2]), sys.argv[3]
text = open(source, encoding="utf-8").read()
start = text.index("      <CdtTrfTxInf>")
end = text.rindex("</CdtTrfTxInf>") + len("</CdtTrfTxInf>\n")
block = text[start:text.index("</CdtTrfTxInf>", start) + len("</CdtTrfTxInf>\n")]
amount = float(re.search(r'<InstdAmt Ccy="EUR">([0-9.]+)<', block).group(1))
head = re.sub(r"<NbOfTxs>\d+</NbOfTxs>", f"<NbOfTxs>{count}</NbOfTxs>", text[:start])
head = re.sub(r"<CtrlSum>[0-9.]+</CtrlSum>", f"<CtrlSum>{amount * count:.2f}</CtrlSum>", head)
with open(target + ".part", "w", encoding="utf-8", newline="\n") as out:
    out.write(head)
    for i in range(count):
        out.write(re.sub(r"<EndToEndId>[^<]*</EndToEndId>", f"<EndToEndId>E2E-{i:08d}</EndToEndId>", block))
    out.write(text[end:])
PY
  mv "$file.part" "$file"
fi

"$build/bench/window_bench" "$file" "$build/app/pravik-check" 3
