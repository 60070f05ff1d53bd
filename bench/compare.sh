#!/usr/bin/env bash
# Times `tintwright diffuse` (the basic method and --adaptive) against ImageMagick, pngquant
# and Pillow on the same real photographs (2560 x 1600, about 4 megapixels), side by side in
# one run, and prints the ratios to Pillow; then the quality of each result: PSNR against
# the 24-bit original, and PSNR after a Gaussian blur of radius 1 (bench/quality.py). The photographs come from Debian's plasma-workspace-wallpapers; this script
# installs it and the other tools, and converts the photographs to 24-bit BMP itself.
#   bench/compare.sh            (after `make build`)
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
image.quantize(256, method=Image.Quantize.FASTOCTREE, dither=Image.Dither.FLOYDSTEINBERG).save(sys.argv[2])
PY

printf '%-14s %10s %10s %10s %10s %10s\n' photo tintwright adaptive pillow magick pngquant
for name in Autumn BytheWater ColorfulCups Path; do
  src=/usr/share/wallpapers/$name/contents/images/2560x1600.jpg
  [ -f "$src" ] || continue
  convert "$src" -type TrueColor "BMP3:$work/$name.bmp"
  convert "$src" "$work/$name.png"
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
print("%-14s %9.3fs %9.3fs %9.3fs %9.3fs %9.3fs" % (sys.argv[2], *times))
print("%-14s %9.2fx %9.2fx %10s %9.2fx %9.2fx" % ("  vs pillow", times[0] / times[2],
      times[1] / times[2], "1.00x", times[3] / times[2], times[4] / times[2]))
print("%-14s %10s %10s %10s %10s %10s" % ("  PSNR", *(p[0] for p in psnr)))
print("%-14s %10s %10s %10s %10s %10s" % ("  blurred", *(p[1] for p in psnr)))
PY
done
