#!/usr/bin/env bash
# Times `tintwright diffuse` (the basic method and --adaptive) against ImageMagick, pngquant
# and Pillow on the same images, side by side in one run, and prints the ratios to Pillow;
# then the quality of each result: PSNR against the 24-bit original, and PSNR after a
# Gaussian blur of radius 1 (bench/quality.py). The images: real photographs (2560 x 1600,
# about 4 megapixels; Kite and summer_1am under a large sky) from Debian's
# plasma-workspace-wallpapers, and smooth and flat graphics that bench/graphics.py makes.
# This script installs the wallpapers and the other tools, and converts the photographs to
# 24-bit BMP itself. Pillow runs its fast octree and then Floyd-Steinberg onto that palette:
# a one-step quantize(..., dither=FLOYDSTEINBERG) does not dither with that method.
#   bench/compare.sh [NAME...]   (after `make build`; NAME: photographs or graphics to run)
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
need=()
for p in plasma-workspace-wallpapers imagemagick pngquant python3-pil python3-numpy hyperfine; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  $SUDO apt-get update -q && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${need[@]}"
fi

cli=build/native/tintwright
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/pillow.py" <<'PY'
import sys
from PIL import Image
image = Image.open(sys.argv[1])
palette = image.quantize(256, method=Image.Quantize.FASTOCTREE)
image.quantize(palette=palette, dither=Image.Dither.FLOYDSTEINBERG).save(sys.argv[2])
PY
photos="Autumn BytheWater ColorfulCups Path Kite summer_1am"
graphics="TwoColourGradient RadialGradient SkyGradient PhotoUnderSky Screenshot Stepped NarrowCube"
/usr/bin/python3 bench/graphics.py "$work" /usr/share/wallpapers/Path/contents/images/2560x1600.jpg
for name in $photos; do
  convert "/usr/share/wallpapers/$name/contents/images/2560x1600.jpg" -type TrueColor "BMP3:$work/$name.bmp"
done

printf '%-17s %10s %10s %10s %10s %10s\n' image tintwright adaptive pillow magick pngquant
for name in ${*:-$photos $graphics}; do
  [ -f "$work/$name.bmp" ] || continue
  convert "$work/$name.bmp" "$work/$name.png"
  hyperfine -N --warmup 1 --runs 7 --export-json "$work/$name.json" \
    "$cli diffuse $work/$name.bmp -o $work/basic.bmp" \
    "$cli diffuse $work/$name.bmp -o $work/adaptive.bmp --adaptive" \
    "/usr/bin/python3 $work/pillow.py $work/$name.bmp $work/pillow.bmp" \
    "convert $work/$name.bmp -dither FloydSteinberg -colors 256 BMP3:$work/magick.bmp" \
    "pngquant --force --output $work/pngquant.png 256 $work/$name.png" >/dev/null 2>&1
  quality=()
  for result in basic.bmp adaptive.bmp pillow.bmp magick.bmp pngquant.png; do
    quality+=("$(bench/quality.py "$work/$name.bmp" "$work/$result")")
  done
  /usr/bin/python3 - "$work/$name.json" "$name" "${quality[@]}" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
times = [r["median"] for r in results]
psnr = [q.split() for q in sys.argv[3:]]
print("%-17s %9.3fs %9.3fs %9.3fs %9.3fs %9.3fs" % (sys.argv[2], *times))
print("%-17s %9.2fx %9.2fx %10s %9.2fx %9.2fx" % ("  vs pillow", times[0] / times[2],
      times[1] / times[2], "1.00x", times[3] / times[2], times[4] / times[2]))
print("%-17s %10s %10s %10s %10s %10s" % ("  PSNR", *(p[0] for p in psnr)))
print("%-17s %10s %10s %10s %10s %10s" % ("  blurred", *(p[1] for p in psnr)))
PY
done
