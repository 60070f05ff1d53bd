#!/usr/bin/env bash
# Draws docs/dither-comparison.png: a crop of a photograph (Debian's ColorfulCups wallpaper at a quarter of its size) reduced
# to 16 colours by 誤差拡散（高画質） with each of its ditherings, 誤差拡散, 網点 and なし,
# beside the original, enlarged three times, pixel for pixel.
#   scripts/dither_comparison.sh      (after `make build`; installs what it needs if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
need=()
for p in plasma-workspace-wallpapers imagemagick fonts-ipafont-gothic; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  $SUDO apt-get update -q || true
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${need[@]}"
fi
out=${1:-docs/dither-comparison.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
font=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
convert /usr/share/wallpapers/ColorfulCups/contents/images/2560x1600.jpg -resize 25% -crop 200x130+300+150 +repage \
  -type TrueColor "BMP3:$work/crop.bmp"
panels=()
for pair in "none:原画" "fs:誤差拡散" "ordered:網点" "nearest:なし"; do
  dither=${pair%%:*}
  if [ "$dither" = none ]; then
    cp "$work/crop.bmp" "$work/$dither.bmp"
  else
    build/native/tintwright diffuse "$work/crop.bmp" -o "$work/$dither.bmp" --adaptive \
      --colours 16 --dither "${dither/nearest/none}" --quiet
  fi
  convert "$work/$dither.bmp" -filter point -resize 300% -background white -gravity north \
    -splice 0x30 -font "$font" -pointsize 20 -annotate +0+4 "${pair#*:}" "$work/$dither.png"
  panels+=("$work/$dither.png")
done
convert "${panels[@]}" -bordercolor white -border 4 +append "$out"
echo "comparison: $out"
