#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Marbelow need. Idempotent.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-translations-l10n libgl-dev
  libjpeg-dev libpng-dev zlib1g-dev libgif-dev
  libgtest-dev
  xvfb xauth xdotool x11-utils fonts-dejavu-core
  desktop-file-utils appstream dpkg-dev chromium
  "$@"
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
