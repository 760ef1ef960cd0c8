#!/usr/bin/env bash
# Installs what building and testing Pravik needs, from Debian packages only. Quiet and idempotent:
# the package lists are refreshed only when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libqscintilla2-qt6-dev
  libxml2-dev libxml2-utils
  xvfb xauth xfonts-base fonts-dejavu-core xdotool x11-utils libxcb1-dev
  clang libclang-rt-14-dev clang-format lld
  hyperfine time
  librsvg2-bin desktop-file-utils appstream dpkg-dev fakeroot lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "setup: installing ${missing[*]}" >&2
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
