#!/bin/sh
# Builds the decoder fuzzer and its seed corpus outside CMake:
#   sh tests/fuzz/build.sh [OUT]            (OUT defaults to /tmp/marbelow-fuzz)
# then, for example:
#   OUT/decode_fuzzer OUT/corpus OUT/seeds -max_total_time=600 -rss_limit_mb=2048 -timeout=10
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-/tmp/marbelow-fuzz}
mkdir -p "$out/corpus" "$out/seeds"

codecs="$root/platform/image.cpp $root/platform/codecs.cpp $root/platform/codec_bmp.cpp
        $root/platform/codec_jpeg.cpp $root/platform/codec_png.cpp $root/platform/codec_gif.cpp
        $root/platform/files.cpp $root/gallery/resample.cpp $root/gallery/thumbnail_maker.cpp"
flags="-std=c++20 -g -O1 -I$root -Wall -Wextra -Wpedantic"

# shellcheck disable=SC2086
clang++-14 $flags -DFUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  $codecs "$root/tests/fuzz/decode_fuzzer.cpp" -ljpeg -lpng -lz -lgif -o "$out/decode_fuzzer"

# shellcheck disable=SC2086
clang++-14 $flags "$root/tests/fuzz/make_seeds.cpp" "$root/tests/support/fixtures.cpp" \
  "$root/platform/image.cpp" -ljpeg -lpng -lz -lgif -o "$out/make_seeds"
"$out/make_seeds" "$out/seeds"
cp "$root"/tests/fuzz/regressions/* "$out/seeds/" 2>/dev/null || true
rm -f "$out/seeds/README.md"
echo "built $out/decode_fuzzer; seeds in $out/seeds"
