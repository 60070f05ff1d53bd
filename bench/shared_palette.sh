#!/usr/bin/env bash
# One palette for many images: `tintwright palette` over a set, then every image converted
# onto that table (diffuse --adaptive --palette P --fixed 256), against each image with its
# own palette, against ImageMagick's shared-palette route (one undithered 256-colour
# palette of the set appended, then each image remapped onto it with Floyd-Steinberg), and
# against pngquant's (its palette of the set appended, then each image onto it with --map)
# and pngquant with each image's own palette: how far one palette for all falls short of own
# palettes with another tool.
# Prints each set's mean PSNR, blurred PSNR and SSIM (bench/quality.py). Two sets of eight
# 640 x 400 images: crops of one photograph (tiles, frames) and eight photographs.
#   bench/shared_palette.sh     (after `make build`; installs the wallpapers and tools)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/need.sh
need plasma-workspace-wallpapers imagemagick pngquant python3-pil python3-numpy python3-skimage
cli=build/native/tintwright
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wall=/usr/share/wallpapers
mkdir -p "$work/crops" "$work/photos"
k=0
for offset in 0x0 640x0 1280x0 1920x0 0x600 640x600 1280x1200 1920x1200; do
  convert "$wall/Path/contents/images/2560x1600.jpg" -crop "640x400+${offset%x*}+${offset#*x}" \
    +repage -type TrueColor "BMP3:$work/crops/crop$k.bmp"
  k=$((k + 1))
done
for name in Autumn BytheWater ColorfulCups Kite summer_1am DarkestHour EveningGlow Flow; do
  jpeg=$(ls -S "$wall/$name/contents/images/"*.jpg | head -1)
  convert "$jpeg" -resize 640x400^ -gravity center -extent 640x400 -type TrueColor \
    "BMP3:$work/photos/$name.bmp"
done

mean() { /usr/bin/python3 -c "import sys; v=[list(map(float,l.split()[:3])) for l in sys.stdin]; print(' '.join('%.2f' % (sum(x[k] for x in v)/len(v)) if k < 2 else '%.4f' % (sum(x[2] for x in v)/len(v)) for k in range(3)))"; }
printf '%-8s %-22s %-22s %-22s %-22s %-22s\n' set "shared (PSNR blur SSIM)" "own palette" \
  "ImageMagick shared" "pngquant shared" "pngquant own"
for set in crops photos; do
  in=("$work/$set"/*.bmp)
  mkdir -p "$work/$set-shared" "$work/$set-own" "$work/$set-magick" "$work/$set-pqshared" \
    "$work/$set-pqown" "$work/$set-png"
  "$cli" palette "${in[@]}" -o "$work/$set.act"
  "$cli" diffuse "${in[@]}" --adaptive --palette "$work/$set.act" --fixed 256 -d "$work/$set-shared" --quiet
  "$cli" diffuse "${in[@]}" --adaptive -d "$work/$set-own" --quiet
  convert "${in[@]}" -append +dither -colors 256 "$work/$set-palette.png"
  for f in "${in[@]}"; do
    convert "$f" -dither FloydSteinberg -remap "$work/$set-palette.png" -type Palette \
      "BMP3:$work/$set-magick/$(basename "$f")"
  done
  convert "${in[@]}" -append "$work/$set-all.png"
  pngquant --force --output "$work/$set-pqpalette.png" 256 "$work/$set-all.png"
  for f in "${in[@]}"; do
    png="$work/$set-png/$(basename "$f" .bmp).png"
    convert "$f" "$png"
    pngquant --force --map "$work/$set-pqpalette.png" --output "$work/$set-pqshared/${png##*/}" "$png"
    pngquant --force --output "$work/$set-pqown/${png##*/}" "$png"
  done
  results=()
  for kind in shared own magick pqshared pqown; do
    results+=("$(for f in "${in[@]}"; do
      result=("$work/$set-$kind/$(basename "$f" .bmp)".*)
      bench/quality.py "$f" "${result[0]}" --no-butteraugli
    done | mean)")
  done
  printf '%-8s %-22s %-22s %-22s %-22s %-22s\n' "$set" "${results[@]}"
done
