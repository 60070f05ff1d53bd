#!/usr/bin/env bash
# Takes screenshots of the program: with a sample image dropped on it (a 900 x 700 24-bit BMP
# in a window smaller than the image, so both scroll bars show), of the palette dialog with a
# palette file loaded, of an error-diffusion run on a 24-megapixel image and of the
# high-quality settings dialog (as it opens, and with its list of ditherings dropped down), of
# that sample converted by the high-quality method and shown at 400 %, and of the tile settings
# dialog, of an animated GIF of 12 frames dropped on it, and of a shape with soft edges and a
# shadow converted with 透明度を保つ, at 400 % over the checkerboard. Writes docs/screenshot.png,
# docs/palette-dialog.png, docs/diffusion-run.png, docs/quality-dialog.png, docs/zoom-400.png,
# docs/tile-dialog.png, docs/animation.png and docs/alpha.png.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=$(scripts/wine-arch.sh)
out=${1:-docs/screenshot.png}
paletteOut=${2:-docs/palette-dialog.png}
runOut=${3:-docs/diffusion-run.png}
qualityOut=${4:-docs/quality-dialog.png}
zoomOut=${5:-docs/zoom-400.png}
tileOut=${6:-docs/tile-dialog.png}
animationOut=${7:-docs/animation.png}
alphaOut=${8:-docs/alpha.png}
mkdir -p "$(dirname "$out")" "$(dirname "$paletteOut")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -seed 11 -size 900x700 plasma:fractal -blur 0x2 -type TrueColor "BMP3:$work/sample.bmp"
# A palette file of 256 colours: a hue wheel in 16 rows of lightness.
convert -seed 5 -size 6000x4000 plasma:fractal -blur 0x3 -type TrueColor "BMP3:$work/large.bmp"
convert -size 16x16 xc: -channel R -fx 'i/16' -channel G -fx 0.9 -channel B -fx '(j+1)/18' \
  +channel -set colorspace HSL -colorspace sRGB -depth 8 "rgb:$work/sample.pal"

# The helper saves the screen as Wine shows it (X11 captures can miss dialog windows).
windows_work="Z:${work//\//\\}"
shoot() {  # shoot OUTPUT ARGUMENTS...
  (cd "$work" && "$OLDPWD/build/$arch/wine-run.sh" "$OLDPWD/build/$arch/tw_showcase.exe" "${@:2}" \
    >/dev/null 2>&1) || true
  convert "$work/shot.bmp" "$1"
  rm -f "$work/shot.bmp"
}
shoot "$out" "$windows_work\\sample.bmp"
shoot "$paletteOut" --palette "$windows_work\\sample.pal"
shoot "$runOut" --diffuse "$windows_work\\large.bmp"
shoot "$qualityOut" --quality
# The dialog alone as it opens, and beside it with its list of ditherings dropped down.
convert "$work/closed.bmp" -crop 413x311+0+20 +repage \( "$qualityOut" -crop 413x311+0+20 +repage \) \
  -background white -bordercolor white -border 6x0 -gravity north +append "$qualityOut"
shoot "$zoomOut" --zoom "$windows_work\\sample.bmp"
convert "$zoomOut" -crop 768x576+0+0 +repage "$zoomOut" # the window alone
shoot "$tileOut" --tiles
convert "$tileOut" -crop 316x194+0+20 +repage "$tileOut" # the dialog alone
# A ball crossing a still background, 12 frames.
for f in $(seq 0 11); do
  convert "$work/sample.bmp" -crop 480x270+0+0 +repage -fill '#e04020' \
    -draw "circle $((40 + 36 * f)),135 $((70 + 36 * f)),135" "$work/walk_$(printf %02d "$f").png"
done
convert -delay 8 -loop 0 "$work"/walk_*.png "$work/walk.gif"
shoot "$animationOut" "$windows_work\\walk.gif"
convert "$animationOut" -crop 768x576+0+0 +repage "$animationOut" # the window alone
# A disc with an anti-aliased edge and a soft shadow, on transparency.
convert -size 150x110 xc:none -fill '#3070e0' -draw 'circle 66,50 66,12' \
  \( +clone -background black -shadow 60x5+6+6 \) +swap -background none -layers merge +repage \
  "PNG32:$work/soft.png"
shoot "$alphaOut" --alpha "$windows_work\\soft.png"
convert "$alphaOut" -crop 768x576+0+0 +repage "$alphaOut" # the window alone
echo "screenshots: $out $paletteOut $runOut $qualityOut $zoomOut $tileOut $animationOut $alphaOut ($(cat "$work/run-ms.txt") ms for the run)"
