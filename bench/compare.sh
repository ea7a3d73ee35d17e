#!/usr/bin/env bash
# bench/compare.sh [-r RUNS] [-s SIZE] [BUILD_DIR]
#     Times our thumbnail step (BUILD_DIR/bench/thumbnail_bench, one thread, no pause) against
#     the single-thread peers and the decode floors of /work/shared/bench/peers.sh, on each
#     corpus of /tmp/bench-corpora (built first with make-corpora.sh when missing). Every round
#     runs each command once, in turn, so that a busy neighbour slows them all alike; figures
#     are medians over RUNS rounds (default 5). Prints per corpus: ms per picture, ratio to the
#     best peer and to the floor, peak RSS; then the PSNR of shrink-on-load against a full
#     decode, and a whole GalleryRun over a copy of the camera corpus against the benchmark
#     plus the 10 ms pause per picture.
#     Outputs go to a temporary folder that is removed at the end; the corpora are only read.
# BUILD_DIR defaults to build beside this folder (what tools/test.sh builds); it must be an
# optimised build. The shared bench scripts are looked for in ../shared/bench beside the checkout.
set -euo pipefail

RUNS=5
S=150
while getopts r:s: opt; do
  case $opt in
    r) RUNS=$OPTARG ;;
    s) S=$OPTARG ;;
    *) sed -n '2,12p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=$(readlink -f "${1:-$HERE/../build}")
SHARED=$(cd "$HERE/../.." && pwd)/shared/bench
CORPORA=/tmp/bench-corpora
OURS=$BUILD/bench/thumbnail_bench
RUN_BENCH=$BUILD/bench/gallery_run_bench
PEER_LIST="gm-mogrify-size-1t vips-1t pillow-draft im-mogrify-hint-1t"

[ -x "$OURS" ] && [ -x "$RUN_BENCH" ] || { echo "build $BUILD first (thumbnail_bench, gallery_run_bench)" >&2; exit 2; }
for c in camera wallpapers alpha; do
  [ -d "$CORPORA/$c" ] || { bash "$SHARED/make-corpora.sh" "$CORPORA"; break; }
done
eval "$(bash "$SHARED/peers.sh" --env)"

WORK=$(mktemp -d /tmp/compare.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# Hard links of one kind of picture, for the floors that read only JPEG or only PNG.
subset() {  # subset CORPUS jpg|png -> folder
  local out=$WORK/subset-$(basename "$1")-$2 f
  mkdir -p "$out"
  for f in "$1"/*; do
    case "${f,,}" in
      *.jpg|*.jpeg) [ "$2" = jpg ] && ln "$f" "$out/" ;;
      *.png) [ "$2" = png ] && ln "$f" "$out/" ;;
    esac
  done
  echo "$out"
}

count() { find "$1" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' -o -iname '*.gif' -o -iname '*.bmp' \) | wc -l; }

# timed NAME CMD... : one run, appends "seconds peak_kib" to $WORK/NAME.times
timed() {
  local name=$1; shift
  rm -rf "$WORK/out" "$WORK/scratch"; mkdir -p "$WORK/out"
  /usr/bin/time -f '%e %M' -o "$WORK/t" "$@" > /dev/null 2>&1 || { echo "$name failed" >&2; return 1; }
  cat "$WORK/t" >> "$WORK/$name.times"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
med() { cut -d' ' -f1 "$WORK/$1.times" | median; }
peak() { cut -d' ' -f2 "$WORK/$1.times" | sort -n | tail -1; }

# rounds LABEL "name|command" ... : RUNS alternating rounds after one warm-up round.
rounds() {
  local label=$1 r spec; shift
  for spec in "$@"; do rm -f "$WORK/${spec%%|*}.times"; done
  for ((r = 0; r <= RUNS; r++)); do
    for spec in "$@"; do
      timed "${spec%%|*}" bash -c "${spec#*|}"
    done
    if [ $r -eq 0 ]; then for spec in "$@"; do rm -f "$WORK/${spec%%|*}.times"; done; fi
    echo "  $label: round $r of $RUNS done" >&2
  done
}

ms() { awk -v t="$1" -v n="$2" 'BEGIN { printf "%.1f", 1000 * t / n }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2fx", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }

peer_specs() {  # peer_specs CORPUS
  local p
  for p in $PEER_LIST; do echo "$p|bash $SHARED/peers.sh -s $S --run $p $1 $WORK/out"; done
}

# best_peer: the fastest peer of the last rounds, by median
best_peer() {
  local p best='' best_t=''
  for p in $PEER_LIST; do
    local t; t=$(med "$p")
    if [ -z "$best_t" ] || awk -v a="$t" -v b="$best_t" 'BEGIN { exit !(a < b) }'; then best=$p; best_t=$t; fi
  done
  echo "$best"
}

REPORT=$WORK/report
echo "| corpus | pictures | ours ms/picture | best peer (ms/picture) | ours / best peer | floor (ms/picture) | ours / floor | our peak RSS |" > "$REPORT"
echo "|---|---|---|---|---|---|---|---|" >> "$REPORT"

row() {  # row LABEL N OURS_NAME FLOOR_NAME FLOOR_LABEL [PEER]
  local label=$1 n=$2 ours=$3 floor=$4 floor_label=$5 peer=${6:-}
  local t f; t=$(med "$ours"); f=$(med "$floor")
  local peer_cells="| – | –"
  if [ -n "$peer" ]; then
    local p; p=$(med "$peer")
    peer_cells="| $peer $(ms "$p" "$n") | $(ratio "$t" "$p")"
  fi
  echo "| $label | $n | $(ms "$t" "$n") $peer_cells | $floor_label $(ms "$f" "$n") | $(ratio "$t" "$f") | $(mib "$(peak "$ours")") |" >> "$REPORT"
}

cd "$WORK"

# camera: every picture a baseline JPEG
C=$CORPORA/camera; N=$(count "$C")
mapfile -t P < <(peer_specs "$C")
rounds camera "ours-camera|$OURS $C $WORK/out $S" "floor-camera|bash $SHARED/peers.sh -s $S --run floor-jpeglib-scale8 $C $WORK/out" "${P[@]}"
row camera "$N" ours-camera floor-camera floor-jpeglib-scale8 "$(best_peer)"

# wallpapers: the whole corpus against the peers, then each kind against its own floor
C=$CORPORA/wallpapers; N=$(count "$C")
J=$(subset "$C" jpg); NJ=$(count "$J"); G=$(subset "$C" png); NG=$(count "$G")
mapfile -t P < <(peer_specs "$C")
rounds wallpapers "ours-wall|$OURS $C $WORK/out $S" "ours-wall-jpg|$OURS $J $WORK/out $S" \
  "floor-wall-jpg|bash $SHARED/peers.sh -s $S --run floor-jpeglib-scale8 $J $WORK/out" \
  "ours-wall-png|$OURS $G $WORK/out $S" \
  "floor-wall-png|bash $SHARED/peers.sh -s $S --run floor-libpng $G $WORK/out" "${P[@]}"
BEST=$(best_peer)
echo "| wallpapers (all) | $N | $(ms "$(med ours-wall)" "$N") | $BEST $(ms "$(med "$BEST")" "$N") | $(ratio "$(med ours-wall)" "$(med "$BEST")") | jpeglib-scale8 + libpng $(ms "$(awk -v a="$(med floor-wall-jpg)" -v b="$(med floor-wall-png)" 'BEGIN { print a + b }')" "$N") | $(ratio "$(med ours-wall)" "$(awk -v a="$(med floor-wall-jpg)" -v b="$(med floor-wall-png)" 'BEGIN { print a + b }')") | $(mib "$(peak ours-wall)") |" >> "$REPORT"
row "wallpapers, JPEG only" "$NJ" ours-wall-jpg floor-wall-jpg floor-jpeglib-scale8
row "wallpapers, PNG only" "$NG" ours-wall-png floor-wall-png floor-libpng

# alpha: RGBA PNGs through the cubic
C=$CORPORA/alpha; N=$(count "$C")
mapfile -t P < <(peer_specs "$C")
rounds alpha "ours-alpha|$OURS $C $WORK/out $S" "floor-alpha|bash $SHARED/peers.sh -s $S --run floor-libpng $C $WORK/out" "${P[@]}"
row alpha "$N" ours-alpha floor-alpha floor-libpng "$(best_peer)"

# A whole run with thumbnails on, over links to the camera pictures, against the benchmark.
C=$CORPORA/camera; N=$(count "$C")
rounds "gallery run" "run|$RUN_BENCH $C $WORK/scratch $S" "bench|$OURS $C $WORK/out $S"
RUN_T=$(med run); BENCH_T=$(med bench)
ALLOWED=$(awk -v b="$BENCH_T" -v n="$N" 'BEGIN { print (b + 0.010 * n) * 1.05 }')

echo
echo "Thumbnails at $S px, one thread, medians of $RUNS alternating rounds; $(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')."
echo
cat "$REPORT"
echo
echo "Peers tried (one thread each): $PEER_LIST. Peak RSS is the largest of any round."
echo
echo "GalleryRun over the camera corpus, thumbnails on: $(ms "$RUN_T" "$N") ms/picture (peak $(mib "$(peak run)")); benchmark $(ms "$BENCH_T" "$N") ms/picture + 10 ms pause = $(ms "$(awk -v b="$BENCH_T" -v n="$N" 'BEGIN { print b + 0.010 * n }')" "$N"); run / (benchmark + pauses) = $(ratio "$RUN_T" "$(awk -v b="$BENCH_T" -v n="$N" 'BEGIN { print b + 0.010 * n }')") (allowed up to 1.05x: $(ms "$ALLOWED" "$N") ms/picture)."
echo
echo "Shrink-on-load PSNR against a full decode + exact area averaging (decoded pixels, before encoding):"
for c in camera wallpapers; do
  echo "- $c: $("$OURS" --psnr "$CORPORA/$c" "$S" | grep -E '^(PSNR|decoded)' | tr -s ' ' | paste -sd ';' -)"
done
