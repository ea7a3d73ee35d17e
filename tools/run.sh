#!/usr/bin/env bash
# Builds Marbelow and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARBELOW_TESTS=OFF
cmake --build build --target marbelow
exec ./build/app/marbelow
