#!/usr/bin/env bash
# Builds the Debian package of Pravik with CPack: its dependencies come from the binaries
# (dpkg-shlibdeps). The bank schemas are embedded in the executables, so the package is for internal
# use only. Usage: scripts/package.sh [BUILD_DIR]; default build-release (the release preset).
# Prints the path of the .deb on its last line; runs lintian on it when lintian is installed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
scripts/setup.sh
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$here")}"
build="${1:-build-release}"
if [ "$build" = build-release ]; then
  cmake --preset release >/dev/null
elif [ ! -f "$build/CMakeCache.txt" ]; then
  echo "package: $build is not a configured build folder" >&2
  exit 2
fi
cmake --build "$build" -j "$(nproc)" --target pravik pravik-check pravik_icons pravik_docs >/dev/null
rm -f "$build"/pravik_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/pravik_*.deb)"
if command -v lintian >/dev/null; then
  # Errors and warnings fail; the tags of dist/lintian-expected are expected of an internal package.
  lintian --fail-on error,warning --suppress-tags-from-file "$here/dist/lintian-expected" "$deb" >&2
fi
echo "$deb"
