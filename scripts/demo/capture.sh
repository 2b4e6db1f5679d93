#!/usr/bin/env bash
# Demonstrates the capture helper's Linux stand-in: captures a few seconds of a private Xvfb screen
# on which a window keeps changing, writes the H.264 stream to dist/sample.h264 and shows what
# ffprobe makes of it.
#   scripts/demo/capture.sh [seconds]   (default 4)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
seconds="${1:-4}"
program="$root/dist/linux/vornakel_screen_capture"
mover="$root/build/linux/platform/macos/screen_capture/tests/screen_capture_test_mover"

if [ ! -x "$program" ] || [ ! -x "$mover" ]; then
  echo "== building the capture helper (preset linux)"
  (cd "$root" && cmake --preset linux >/dev/null &&
    cmake --build --preset linux -j2 --target vornakel_screen_capture screen_capture_test_mover >/dev/null)
fi

mkdir -p "$root/dist"
sample="$root/dist/sample.h264"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT

echo "== capturing ${seconds}s of a 2880x1800 Xvfb screen (scaled to fit 1920 wide)"
"$root/scripts/wine/with_xvfb.sh" --screen 2880x1800x24 bash -c '
  set -e
  "$1" --probe
  "$2" 900 500 & mover=$!
  "$1" >"$3" 2>"$4" & capture=$!
  sleep "$5"
  kill -TERM "$capture"
  status=0; wait "$capture" || status=$?
  kill "$mover"; wait "$mover" 2>/dev/null || true
  echo "capture ended with status $status"
  exit "$status"
' demo "$program" "$mover" "$sample" "$log" "$seconds"
echo "== what the helper wrote to standard error"
cat "$log"

echo "== ffprobe $sample"
ffprobe -v error -select_streams v -show_entries stream=codec_name,profile,level,width,height,pix_fmt \
  -of default=noprint_wrappers=1 "$sample"
frames="$(ffprobe -v error -select_streams v -show_entries frame=key_frame -of csv=p=0 "$sample")"
echo "frames=$(grep -c . <<<"$frames") key_frames=$(grep -c '^1' <<<"$frames") bytes=$(stat -c %s "$sample")"
if ffmpeg -v error -err_detect explode -xerror -i "$sample" -f null - ; then
  echo "decodes cleanly with ffmpeg -err_detect explode -xerror"
fi
