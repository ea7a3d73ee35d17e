#!/usr/bin/env bash
# Builds Marbelow with warnings as errors and runs every test.
# With --sanitize, builds a second tree under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh --tests
dir=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARBELOW_WERROR=ON)
if [[ "${1:-}" == "--sanitize" ]]; then
  dir=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=Debug -DMARBELOW_WERROR=ON -DMARBELOW_SANITIZE=ON)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}"
cmake --build "$dir" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300
