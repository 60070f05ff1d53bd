#!/usr/bin/env bash
# The choices of --adaptive against the other tools: fewer colours (--colours 16 and 64
# against pngquant and ImageMagick's Floyd-Steinberg with as many colours), and the three
# ditherings' times and quality side by side. Photographs of Debian's
# plasma-workspace-wallpapers at 2560 x 1600, as bench/images.sh makes them.
#   bench/choices.sh [NAME...]     (after `make build`)
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/native/tintwright
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
names=${*:-Autumn BytheWater ColorfulCups Path Kite summer_1am}
for name in $names; do
  jpeg=$(ls -S /usr/share/wallpapers/$name/contents/images/*.jpg | head -1)
  convert "$jpeg" -resize 2560x1600^ -gravity center -extent 2560x1600 -type TrueColor \
    "BMP3:$work/$name.bmp"
  convert "$work/$name.bmp" "$work/$name.png"
done
q() { bench/quality.py "$1" "$2" --no-butteraugli | cut -d' ' -f1-3; }
printf '%-13s %-7s %-22s %-22s %-22s\n' image colours "adaptive (PSNR blur SSIM)" pngquant "ImageMagick FS"
for name in $names; do
  for n in 16 64; do
    "$cli" diffuse "$work/$name.bmp" -o "$work/a.bmp" --adaptive --colours $n --quiet
    pngquant --force --output "$work/p.png" $n "$work/$name.png"
    convert "$work/$name.bmp" -dither FloydSteinberg -colors $n "BMP3:$work/m.bmp"
    printf '%-13s %-7s %-22s %-22s %-22s\n' "$name" "$n" "$(q "$work/$name.bmp" "$work/a.bmp")" \
      "$(q "$work/$name.bmp" "$work/p.png")" "$(q "$work/$name.bmp" "$work/m.bmp")"
  done
done
echo
printf '%-13s %-28s %-28s %-28s\n' image "fs (time PSNR blur SSIM)" ordered none
for name in $names; do
  row=()
  for d in fs ordered none; do
    t=$(hyperfine -N --warmup 1 --runs 5 --export-json "$work/t.json" \
          "$cli diffuse $work/$name.bmp -o $work/$d.bmp --adaptive --dither $d --quiet" >/dev/null 2>&1 &&
        /usr/bin/python3 -c "import json; print('%.3f' % json.load(open('$work/t.json'))['results'][0]['median'])")
    row+=("$t $(q "$work/$name.bmp" "$work/$d.bmp")")
  done
  printf '%-13s %-28s %-28s %-28s\n' "$name" "${row[@]}"
done
