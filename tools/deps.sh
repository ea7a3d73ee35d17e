#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Marbelow need. Idempotent.
set -euo pipefail
# Building and running need these; --tests adds what the test suite drives: GoogleTest, a
# virtual X server with a synthetic mouse, the desktop-file checkers and a headless browser.
packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev
  qt6-base-dev qt6-translations-l10n libgl-dev
  libjpeg-dev libpng-dev zlib1g-dev libgif-dev
)
if [[ "${1:-}" == "--tests" ]]; then
  packages+=(
    libgtest-dev
    xvfb xauth xdotool x11-utils fonts-dejavu-core
    desktop-file-utils appstream chromium
  )
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
