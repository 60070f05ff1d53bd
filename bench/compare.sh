#!/usr/bin/env bash
# Times `tintwright diffuse` (the basic method and --adaptive) against ImageMagick, pngquant
# and Pillow on the same images, side by side in one run, and prints the ratios to Pillow;
# then the quality of each result (bench/quality.py): PSNR against the 24-bit original, PSNR
# after a Gaussian blur of radius 1, SSIM on luminance and butteraugli; and the means of
# each group. The images: the 18 photographs of Debian's plasma-workspace-wallpapers (its
# JPEG files), brought to 2560 x 1600 (about 4 megapixels), and six graphics that
# bench/graphics.py makes: a UI-like image with text, a two-colour gradient, a radial
# gradient, pixel art, a chart and a photograph under a large sky. This script installs the
# wallpapers and the other tools. Pillow runs its fast octree and then Floyd-Steinberg onto
# that palette: a one-step quantize(..., dither=FLOYDSTEINBERG) does not dither with that
# method.
#   bench/compare.sh [--no-butteraugli] [NAME...]   (after `make build`; NAME: images to run,
#                                                    also SkyGradient, Stepped, NarrowCube)
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
need=()
for p in plasma-workspace-wallpapers imagemagick pngquant python3-pil python3-numpy \
         python3-skimage butteraugli hyperfine; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  $SUDO apt-get update -q && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${need[@]}"
fi
quality_flags=()
if [ "${1:-}" = --no-butteraugli ]; then
  quality_flags=(--no-butteraugli)
  shift
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
photos=""
for folder in /usr/share/wallpapers/*/contents/images; do
  jpeg=$(ls -S "$folder"/*.jpg 2>/dev/null | head -1) || true
  [ -n "$jpeg" ] || continue
  name=$(basename "$(dirname "$(dirname "$folder")")")
  [ -f "$folder/2560x1600.jpg" ] && jpeg="$folder/2560x1600.jpg"
  convert "$jpeg" -resize 2560x1600^ -gravity center -extent 2560x1600 -type TrueColor \
    "BMP3:$work/$name.bmp"
  photos="$photos $name"
done
graphics="Screenshot TwoColourGradient RadialGradient PixelArt Chart PhotoUnderSky"
/usr/bin/python3 bench/graphics.py "$work" /usr/share/wallpapers/Path/contents/images/2560x1600.jpg

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
    quality+=("$(bench/quality.py "$work/$name.bmp" "$work/$result" "${quality_flags[@]}")")
  done
  group=photos
  case " $graphics SkyGradient Stepped NarrowCube " in *" $name "*) group=graphics ;; esac
  echo "$group $name $(/usr/bin/python3 -c "import json,sys; print(' '.join('%.4f' % r['median'] for r in json.load(open(sys.argv[1]))['results']))" "$work/$name.json") ${quality[*]}" >> "$work/all.txt"
  /usr/bin/python3 - "$work/$name.json" "$name" "${quality[@]}" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
times = [r["median"] for r in results]
q = [x.split() for x in sys.argv[3:]]
print("%-17s %9.3fs %9.3fs %9.3fs %9.3fs %9.3fs" % (sys.argv[2], *times))
print("%-17s %9.2fx %9.2fx %10s %9.2fx %9.2fx" % ("  vs pillow", times[0] / times[2],
      times[1] / times[2], "1.00x", times[3] / times[2], times[4] / times[2]))
for label, k in (("PSNR", 0), ("blurred", 1), ("SSIM", 2), ("butteraugli", 3)):
    print("%-17s %10s %10s %10s %10s %10s" % ("  " + label, *(p[k] for p in q)))
PY
done
# The means of each group: time against Pillow, PSNR, blurred PSNR, SSIM, butteraugli.
/usr/bin/python3 - "$work/all.txt" <<'PY'
import math, sys
rows = [line.split() for line in open(sys.argv[1])]
tools = ["tintwright", "adaptive", "pillow", "magick", "pngquant"]
for group in ("photos", "graphics"):
    mine = [r for r in rows if r[0] == group]
    if not mine:
        continue
    print("%s (%d): mean of each tool" % (group, len(mine)))
    for t, tool in enumerate(tools):
        ratio = sum(float(r[2 + t]) / float(r[4]) for r in mine) / len(mine)
        q = [r[7 + 4 * t: 11 + 4 * t] for r in mine]
        def mean(k):
            values = [float(x[k]) for x in q if x[k] not in ("-", "inf")]
            return sum(values) / len(values) if values else math.nan
        print("  %-11s %5.2fx  PSNR %6.2f  blurred %6.2f  SSIM %.4f  butteraugli %6.3f" %
              (tool, ratio, mean(0), mean(1), mean(2), mean(3)))
PY
