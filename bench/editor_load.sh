#!/usr/bin/env bash
# Loads a large credit-transfer file into the editor (offscreen) and reports the time and the peak
# memory of loading it, of taking its text for validation, of a jump to its end and of saving it;
# the saved file must equal the loaded one.
# Usage: bench/editor_load.sh [build-dir] [transactions]   (defaults: build, 100000)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
# Runs never touch the real user's settings.
export PRAVIK_SETTINGS_DIR="${PRAVIK_SETTINGS_DIR:-$here/bench/out/settings}"
build="${1:-$here/build}"
transactions="${2:-100000}"

cmake --build "$build" --target bench_editor_load >/dev/null

data="${TMPDIR:-/tmp}/pravik-bench"
mkdir -p "$data"
file="$data/editor-pain001-$transactions.xml"
if [ ! -f "$file" ]; then
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
with open(target, "w", encoding="utf-8", newline="\n") as out:
    out.write(head)
    for i in range(count):
        out.write(re.sub(r"<EndToEndId>[^<]*</EndToEndId>", f"<EndToEndId>E2E-{i:08d}</EndToEndId>", block))
    out.write(text[end:])
PY
fi

"$build/tests/editor/bench_editor_load" "$file" "$data/editor-saved.xml"
cmp -s "$file" "$data/editor-saved.xml" && echo "saved file is byte-identical" || { echo "saved file differs"; exit 1; }
rm -f "$data/editor-saved.xml"
