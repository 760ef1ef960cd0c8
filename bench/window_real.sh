#!/usr/bin/env bash
# The checker window's real path to its verdict, under a private X server, against pravik-check on
# the same files, run back to back with hyperfine:
#   launch  `pravik FILE` until the verdict's window ("Information" or "Error") is mapped
#   menu    in a running window whose file dialog holds the file's name: Return, then F5, until the
#           verdict's window is mapped (the window's start and the typing are not timed)
# The verdict's window is seen through the X server's own MapNotify events (xev on the root window),
# so the window runs unchanged. Each timed run ends by killing the window, which is counted against it.
# Also printed: the processor time (user + system) of the window's process up to its verdict, from
# /proc when the verdict is seen, against pravik-check's whole; on a busy machine the figure to trust.
# Usage: bench/window_real.sh [build-dir] [runs] FILE...   (defaults: build, 3; files: the 100,000-
#        transaction credit transfer of bench/out/)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

# Waits for the verdict's window on display $1, reading xev's events from fd $2.
wait_verdict() {
  local line window name
  while read -r line <&"$2"; do
    [[ $line == MapNotify* ]] || continue
    read -r line <&"$2"
    window=${line#*window }
    window=${window%%,*}
    name=$(xprop -display "$1" -id "$window" WM_NAME 2>/dev/null || true)
    case $name in *'"Information"' | *'"Error"') return 0 ;; esac
  done
  return 1
}

# Timed steps, called by hyperfine through this script.
case "${1:-}" in
  --launch) # display pravik file [file for the processor time in ms]
    coproc XEV { exec stdbuf -oL xev -display "$2" -root -event substructure; }
    DISPLAY="$2" "$3" "$4" >/dev/null 2>&1 &
    window=$!
    wait_verdict "$2" "${XEV[0]}" || { echo "window_real.sh: no verdict" >&2; exit 1; }
    # Fields 14 and 15 of stat: user and system time in clock ticks (the name holds no space).
    read -r -a stat <"/proc/$window/stat"
    kill -KILL "$window" "$XEV_PID"
    wait "$window" 2>/dev/null || true
    [ -z "${5:-}" ] || echo "$(((stat[13] + stat[14]) * 1000 / $(getconf CLK_TCK)))" >>"$5"
    exit 0
    ;;
  --menu-prepare) # display pravik file pidfile: a window with the file's name typed in its open dialog
    cd "$(dirname "$4")"
    DISPLAY="$2" setsid "$3" >/dev/null 2>&1 &
    echo $! >"$5"
    main=$(DISPLAY="$2" xdotool search --sync --onlyvisible --name '^Pravik$' 2>/dev/null | head -1)
    DISPLAY="$2" xdotool windowfocus --sync "$main" key ctrl+o
    DISPLAY="$2" xdotool search --sync --onlyvisible --name '^(Open|Öffnen)' >/dev/null
    DISPLAY="$2" xdotool type --delay 0 "$(basename "$4")"
    exit 0
    ;;
  --menu) # display pidfile
    coproc XEV { exec stdbuf -oL xev -display "$2" -root -event substructure; }
    main=$(DISPLAY="$2" xdotool search --onlyvisible --name '^Pravik$' | head -1)
    xdotool key Return
    # The dialog gone, F5 every 50 ms until the verdict, as soon as the loaded text lets it act (a
    # key that arrives while the file loads finds the action still disabled).
    # Polled rather than read from xev: the dialog may close before xev listens.
    while DISPLAY="$2" xdotool search --onlyvisible --name '^(Open|Öffnen)' >/dev/null 2>&1; do sleep 0.01; done
    xdotool windowfocus "$main"
    (while xdotool key F5; do sleep 0.05; done) &
    keys=$!
    wait_verdict "$2" "${XEV[0]}" || { echo "window_real.sh: no verdict" >&2; exit 1; }
    kill "$keys"
    kill -KILL "$(cat "$3")" "$XEV_PID"
    exit 0
    ;;
esac

export PRAVIK_SETTINGS_DIR="${PRAVIK_SETTINGS_DIR:-$here/bench/out/settings}"
build="$(cd "${1:-$here/build}" && pwd)"
runs="${2:-3}"
shift $(($# < 2 ? $# : 2))
for tool in Xvfb xev xprop xdotool hyperfine python3; do
  command -v "$tool" >/dev/null || { echo "window_real.sh: $tool is missing; run scripts/setup.sh" >&2; exit 2; }
done
out="$here/bench/out"
mkdir -p "$out"
if [ $# -eq 0 ]; then
  [ -f "$out/sct-100k-valid.xml" ] || python3 "$here/bench/generate_payments.py" --type sct --transactions 100000 "$out/sct-100k-valid.xml"
  set -- "$out/sct-100k-valid.xml"
fi
cmake --build "$build" --target pravik pravik-check >/dev/null

tmp=$(mktemp -d)
mkfifo "$tmp/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$tmp"' EXIT
read -r number <"$tmp/display"
display=":$number"
export DISPLAY="$display"
self="$here/bench/window_real.sh"

for file in "$@"; do
  file="$(cd "$(dirname "$file")" && pwd)/$(basename "$file")"
  echo "== $file, $(($(stat -c %s "$file") / 1048576)) MiB"
  hyperfine -N --runs "$runs" --style basic --export-json "$tmp/launch.json" \
    -n pravik-check "$build/app/pravik-check $file" \
    -n "pravik FILE" "$self --launch $display $build/app/pravik $file $tmp/cpu" -i >/dev/null
  hyperfine -N --runs "$runs" --style basic --export-json "$tmp/menu.json" \
    --prepare "$self --menu-prepare $display $build/app/pravik $file $tmp/pid" \
    -n "open + F5" "$self --menu $display $tmp/pid" >/dev/null
  python3 - "$tmp/launch.json" "$tmp/menu.json" "$tmp/cpu" <<'EOF'
import json, sys
launch = json.load(open(sys.argv[1]))["results"]
menu = json.load(open(sys.argv[2]))["results"]
window_cpu = [int(line) / 1000 for line in open(sys.argv[3])]
cli = launch[0]
for x in launch + menu:
    print(f"{x['command']:14} mean {x['mean']:.3f} s  min {x['min']:.3f} s  max {x['max']:.3f} s")
for x in (launch[1], menu[0]):
    print(f"{x['command']:14} / pravik-check = {x['mean'] / cli['mean']:.2f} (means), {x['min'] / cli['min']:.2f} (best runs)")
cli_cpu = cli["user"] + cli["system"]
mean_cpu = sum(window_cpu) / len(window_cpu)
print(f"processor time: pravik-check {cli_cpu:.2f} s, pravik FILE to its verdict {mean_cpu:.2f} s"
      f" (means, {mean_cpu / cli_cpu:.2f} x)")
EOF
  rm -f "$tmp/cpu"
done
