#!/usr/bin/env bash
# Draws docs/diffusion-comparison.png: one of Debian's wallpaper photographs (2560 x 1600)
# is converted whole by 誤差拡散 and by 誤差拡散（高画質）; the same crop of the original and of
# both results is shown side by side at its natural size.
#   scripts/comparison.sh      (after `make build`; installs the wallpapers if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if ! dpkg-query -W -f='${Status}' plasma-workspace-wallpapers 2>/dev/null | grep -q 'install ok installed'; then
  $SUDO apt-get update -q && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends plasma-workspace-wallpapers
fi
out=${1:-docs/diffusion-comparison.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
font=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
convert /usr/share/wallpapers/BytheWater/contents/images/2560x1600.jpg -type TrueColor \
  "BMP3:$work/photo.bmp"
build/native/tintwright diffuse "$work/photo.bmp" -o "$work/basic.bmp"
build/native/tintwright diffuse "$work/photo.bmp" -o "$work/adaptive.bmp" --adaptive
label() { # label IMAGE TEXT OUTPUT: the crop, with the text above it
  convert "$1" -crop 360x280+1180+560 +repage -background white -gravity north -splice 0x28 \
    -font "$font" -pointsize 18 -annotate +0+4 "$2" "$3"
}
label "$work/photo.bmp" "原画" "$work/a.png"
label "$work/basic.bmp" "誤差拡散" "$work/b.png"
label "$work/adaptive.bmp" "誤差拡散（高画質）" "$work/c.png"
convert "$work/a.png" "$work/b.png" "$work/c.png" -bordercolor white -border 4 +append "$out"
echo "comparison: $out"
