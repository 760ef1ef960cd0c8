#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what the committed .clang-format makes of it, and
# prints the command that fixes it.
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
else
  mapfile -t files < <(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
differing=()
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || differing+=("$f")
done
if [ ${#differing[@]} -ne 0 ]; then
  echo "These files are not formatted as .clang-format says:" >&2
  printf '  %s\n' "${differing[@]}" >&2
  echo "Fix with: clang-format -i ${differing[*]}" >&2
  exit 1
fi
echo "${#files[@]} files formatted as .clang-format says"
