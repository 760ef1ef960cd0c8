#!/usr/bin/env bash
# Sets up and builds Pravik, then checks a payment file (default: an example that ships with it).
# With a display the window opens; without one the headless checker prints the report.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
scripts="$here/scripts"
"$scripts/setup.sh"
(cd "$here" && cmake --preset plain >/dev/null && cmake --build --preset plain -j "$(nproc)" --target pravik pravik-check >/dev/null)

file="${1:-$here/examples/invalid-credit-transfer.xml}"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$here/build/app/pravik" ]; then
  exec "$here/build/app/pravik" "$file"
fi
exec "$here/build/app/pravik-check" "$file"
