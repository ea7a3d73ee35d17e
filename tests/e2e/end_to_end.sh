#!/usr/bin/env bash
# The real program under a virtual X server: started in a folder of pictures with no folder
# chosen, "Visualiser" switched off and "Générer la page" clicked with the mouse, then closed as a
# window manager closes a window. Usage: end_to_end.sh MARBELOW WM_CLOSE PICTURE.jpg
set -euo pipefail
marbelow=$(realpath "$1")
wm_close=$(realpath "$2")
picture=$(realpath "$3")  # any real JPEG
work=$(mktemp -d)
trap '[ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT

cp "$picture" "$work/photo.jpg"
printf 'not a picture' > "$work/notes.txt"
printf 'broken' > "$work/broken.png"

export QT_QPA_PLATFORM=xcb
cd "$work"
"$marbelow" > "$work/out.log" 2>&1 &
pid=$!

window=""
for _ in $(seq 100); do
  window=$(xdotool search --name '^Marbelow$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "FAIL: the window did not appear"; cat "$work/out.log"; exit 1; }
sleep 0.5

click() {  # client-area coordinates
  xdotool mousemove --window "$window" "$1" "$2" click 1
  sleep 0.3
}
click 656 398  # "Visualiser" off: no browser in a test
click 374 464  # "Générer la page"

for _ in $(seq 100); do
  [ -f "$work/fond.jpg" ] && break
  sleep 0.1
done
sleep 0.3
fail=0
check() { if eval "$1"; then echo "ok: $2"; else echo "FAIL: $2"; fail=1; fi; }
check '[ -f index.html ]' "index.html written"
check 'grep -q "<a href=\"photo.jpg\"" index.html' "the page links photo.jpg"
check 'grep -q "<a href=\"broken.png\"" index.html' "the page links broken.png"
check '! grep -q notes.txt index.html' "notes.txt is no picture"
check '[ -s mini/photo.jpg.jpg ]' "the thumbnail of photo.jpg"
check '[ ! -e mini/broken.png.jpg ]' "no thumbnail for a broken picture"
check '[ -s fond.jpg ]' "fond.jpg written"
check '[ "$(head -c 2 mini/photo.jpg.jpg | od -An -tx1 | tr -d " ")" = ffd8 ]' "the thumbnail is a JPEG"

"$wm_close" "$window"
status=""
for _ in $(seq 50); do
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid" && status=0 || status=$?
    break
  fi
  sleep 0.1
done
check '[ "$status" = 0 ]' "closing the window ends the program with status 0 (got '${status:-still running}')"
pid=""
exit "$fail"
