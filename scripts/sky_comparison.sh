#!/usr/bin/env bash
# Draws docs/sky-and-ui-comparison.png: a crop of a photograph's sky (Debian's summer_1am
# wallpaper, 2560 x 1600) and of a UI-like image that bench/graphics.py makes, each as the
# original, pngquant's result (default settings) and 誤差拡散（高画質）'s, side by side and
# enlarged two times, pixel for pixel.
#   scripts/sky_comparison.sh      (after `make build`; installs what it needs if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/need.sh
need plasma-workspace-wallpapers imagemagick pngquant python3-pil python3-numpy
out=${1:-docs/sky-and-ui-comparison.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
font=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
convert /usr/share/wallpapers/summer_1am/contents/images/2560x1600.jpg -type TrueColor \
  "BMP3:$work/sky.bmp"
/usr/bin/python3 bench/graphics.py "$work"
cp "$work/Screenshot.bmp" "$work/ui.bmp"
row() { # row NAME GEOMETRY: the three crops of one image, labelled, in a row
  convert "$work/$1.bmp" "$work/$1.png"
  pngquant --force --output "$work/$1-pngquant.png" 256 "$work/$1.png"
  build/native/tintwright diffuse "$work/$1.bmp" -o "$work/$1-adaptive.bmp" --adaptive
  local i=0
  for pair in "$1.png:原画" "$1-pngquant.png:pngquant" "$1-adaptive.bmp:誤差拡散（高画質）"; do
    convert "$work/${pair%%:*}" -crop "$2" +repage -filter point -resize 200% \
      -background white -gravity north -splice 0x28 -font "$font" -pointsize 18 \
      -annotate +0+4 "${pair#*:}" "$work/$1-$i.png"
    i=$((i + 1))
  done
  convert "$work/$1-0.png" "$work/$1-1.png" "$work/$1-2.png" -bordercolor white -border 4 \
    +append "$work/$1-row.png"
}
row sky 240x150+1500+300
row ui 240x150+240+40
convert "$work/sky-row.png" "$work/ui-row.png" -append "$out"
echo "comparison: $out"
