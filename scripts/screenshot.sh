#!/usr/bin/env bash
# Takes a screenshot of the program with a sample image dropped on it: a 900 x 700 24-bit BMP
# in a window smaller than the image, so both scroll bars show. Writes docs/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=$(scripts/wine-arch.sh)
out=${1:-docs/screenshot.png}
mkdir -p "$(dirname "$out")"
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT

convert -seed 11 -size 900x700 plasma:fractal -blur 0x2 -type TrueColor "BMP3:$work/sample.bmp"

# Creates the Wine prefix first, so that the delay below is the program's alone.
"build/$arch/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=$display TW_USE_DISPLAY=1 "build/$arch/wine-run.sh" "build/$arch/tw_showcase.exe" \
  "Z:${work//\//\\}\\sample.bmp" >/dev/null 2>&1 &
program=$!
sleep "${TW_SHOT_DELAY:-6}"
xwd -root -display "$display" | convert xwd:- "$out"
kill $program 2>/dev/null || true
echo "screenshot: $out"
