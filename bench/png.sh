#!/usr/bin/env bash
# PNG in, PNG out: `tintwright diffuse IN.png -o OUT.png --adaptive` against pngquant (default
# settings) on the same 24-bit PNG files of 2560 x 1600 photographs (Debian's
# plasma-workspace-wallpapers), timed side by side (hyperfine, decoding and encoding
# included), with the quality (bench/quality.py) and the size of each result.
#   bench/png.sh [NAME...]     (after `make build`)
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/native/tintwright
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
names=${*:-Autumn BytheWater ColorfulCups Path Kite summer_1am}
printf '%-13s %-8s %-8s %-6s %-22s %-22s %-10s %-10s %-6s\n' image tintwright pngquant ratio \
  "tintwright PSNR/blur/SSIM" "pngquant PSNR/blur/SSIM" "bytes" "pngquant" ratio
for name in $names; do
  jpeg=$(ls -S /usr/share/wallpapers/$name/contents/images/*.jpg | head -1)
  convert "$jpeg" -resize 2560x1600^ -gravity center -extent 2560x1600 -type TrueColor \
    "PNG24:$work/$name.png"
  hyperfine -N --warmup 1 --runs 7 --export-json "$work/t.json" \
    "$cli diffuse $work/$name.png -o $work/t.png --adaptive --quiet" \
    "pngquant --force --output $work/p.png 256 $work/$name.png" >/dev/null 2>&1
  read -r ours theirs < <(/usr/bin/python3 -c "import json; r=json.load(open('$work/t.json'))['results']; print(r[0]['median'], r[1]['median'])")
  q() { bench/quality.py "$work/$name.png" "$1" --no-butteraugli | cut -d' ' -f1-3; }
  a=$(stat -c %s "$work/t.png") b=$(stat -c %s "$work/p.png")
  printf '%-13s %-8.3f %-8.3f %-6.2f %-22s %-22s %-10s %-10s %-6.3f\n' "$name" "$ours" "$theirs" \
    "$(echo "$ours / $theirs" | bc -l)" "$(q "$work/t.png")" "$(q "$work/p.png")" "$a" "$b" \
    "$(echo "$a / $b" | bc -l)"
done
