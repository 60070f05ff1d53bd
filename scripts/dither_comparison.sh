#!/usr/bin/env bash
# Draws docs/dither-comparison.png: a crop of a photograph (scikit-image's coffee.png, CC0,
# 600 x 400) reduced to 16 colours by 誤差拡散（高画質） with each of its ditherings (and fs in
# linear light), beside the original, enlarged four times, pixel for pixel, four to a row.
#   scripts/dither_comparison.sh [OUT.png]   (after `make build`; installs what it needs)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/need.sh
need python3-skimage imagemagick fonts-ipafont-gothic
out=${1:-docs/dither-comparison.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
font=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
coffee=$(/usr/bin/python3 -c 'import os, skimage.data; print(os.path.dirname(skimage.data.__file__))')/coffee.png
convert "$coffee" -type TrueColor "BMP3:$work/coffee.bmp"
crop=100x75+190+95
panels=()
for dither in original fs fs+linear atkinson sierra sierra2 sierra-lite jjn stucki burkes \
              bayer2 bayer4 bayer8 bayer16 blue-noise none; do
  name=${dither%+linear}
  if [ "$dither" = original ]; then
    cp "$work/coffee.bmp" "$work/$dither.bmp"
  else
    build/native/tintwright diffuse "$work/coffee.bmp" -o "$work/$dither.bmp" --adaptive \
      --colours 16 --dither "$name" $([ "$name" = "$dither" ] || echo --linear) --quiet
  fi
  convert "$work/$dither.bmp" -crop "$crop" +repage -filter point -resize 400% \
    -background white -gravity north -splice 0x28 -font "$font" -pointsize 18 \
    -annotate +0+4 "${dither/+linear/ --linear}" "$work/$dither.png"
  panels+=("$work/$dither.png")
done
montage "${panels[@]}" -tile 4x -geometry +4+4 -background white "$out"
echo "comparison: $out ($(stat -c %s "$out") bytes)"
