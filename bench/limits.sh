#!/usr/bin/env bash
# Memory and time of each path of the command-line tool, and of hostile files, measured with
# /usr/bin/time (peak resident memory) and run side by side for every tool given:
#   bench/limits.sh [TINTWRIGHT...]   (default build/native/tintwright; an older build beside
#                                      it shows what changed)
# The images: a 10240 x 5760 photograph (Debian's plasma-workspace-wallpapers, doubled by
# ImageMagick) as a 24-bit BMP, as one of 200 colours (for exact), as PNG and as baseline and
# progressive JPEG; the hostile files of bench/hostile.py at 16384 x 16384; and two batches
# with -j 2 whose files together would take more than one of them. Peaks are given in MiB
# and as a multiple of the 24-bit BMP of the picture (the input's size for BMP inputs).
# Needs about 8 GB of memory and 4 GB of disk (in $TMPDIR).
set -euo pipefail
cd "$(dirname "$0")/.."
tools=("${@:-build/native/tintwright}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

photo=/usr/share/wallpapers/Volna/contents/images/5120x2880.jpg
convert "$photo" -resize 200% -type TrueColor "BMP3:$work/photo.bmp"
convert "$work/photo.bmp" -colors 200 -type TrueColor "BMP3:$work/few.bmp"
convert "$work/photo.bmp" -quality 90 "$work/photo.jpg"
convert "$work/photo.bmp" -quality 90 -interlace JPEG "$work/photo_prog.jpg"
convert "$work/photo.bmp" -define png:compression-level=3 "PNG24:$work/photo.png"
python3 bench/hostile.py "$work" 16384 >/dev/null
# Two BMPs of 21000 x 21000 pixels (1.3 GB each), rows of noise.
python3 - "$work" <<'EOF'
import os, struct, sys
w = h = 21000
stride = (3 * w + 3) & ~3
rows = [os.urandom(stride) for _ in range(64)]
head = b"BM" + struct.pack("<IHHI", 54 + h * stride, 0, 0, 54) + struct.pack(
    "<iiiHHIIiiII", 40, w, h, 1, 24, 0, h * stride, 0, 0, 0, 0)
for name in ("big1.bmp", "big2.bmp"):
    with open(os.path.join(sys.argv[1], name), "wb") as out:
        out.write(head)
        for y in range(h):
            out.write(rows[y % 64])
EOF
cp "$work/flat_prog.jpg" "$work/flat_prog2.jpg"
cp "$work/deep.png" "$work/deep2.png"

bmp_of() { # the size of the 24-bit BMP of a w x h picture
  echo $((54 + $2 * ((3 * $1 + 3) / 4 * 4)))
}
photo_bmp=$(stat -c %s "$work/photo.bmp")
side_bmp=$(bmp_of 16384 16384)
big_bmp=$(stat -c %s "$work/big1.bmp")

measure() { # LABEL BASE ARGS...: one run of each tool; BASE is what the peak is a multiple of
  local label=$1 base=$2
  shift 2
  for tool in "${tools[@]}"; do
    /usr/bin/time -f "%M %e %U %x" -o "$work/time.txt" "$tool" "$@" >/dev/null 2>&1 || true
    read -r kb elapsed user status < <(tail -1 "$work/time.txt") # after "Command exited..."
    printf '%-26s %-28s %6d MiB %6.2fx %7.2f s %7.2f s  exit %s\n' "$label" "$tool" \
      $((kb / 1024)) "$(echo "$kb * 1024 / $base" | bc -l)" "$elapsed" "$user" "$status"
    rm -rf "$work/out.bmp" "$work/out.png" "$work/outdir"
  done
}

out=(-o "$work/out.bmp")
printf '%-26s %-28s %10s %7s %9s %9s\n' case tool peak xBMP elapsed user
measure "diffuse BMP" "$photo_bmp" diffuse "$work/photo.bmp" "${out[@]}"
measure "diffuse --adaptive BMP" "$photo_bmp" diffuse --adaptive "$work/photo.bmp" "${out[@]}"
measure "exact BMP" "$photo_bmp" exact "$work/few.bmp" "${out[@]}"
measure "diffuse BMP -> PNG" "$photo_bmp" diffuse "$work/photo.bmp" -o "$work/out.png"
measure "diffuse PNG" "$photo_bmp" diffuse "$work/photo.png" "${out[@]}"
measure "diffuse JPEG" "$photo_bmp" diffuse "$work/photo.jpg" "${out[@]}"
measure "diffuse progressive JPEG" "$photo_bmp" diffuse "$work/photo_prog.jpg" "${out[@]}"
measure "hostile: 2,647 scans" "$side_bmp" diffuse "$work/scans.jpg" "${out[@]}"
measure "hostile: cut baseline" "$side_bmp" diffuse "$work/cut.jpg" "${out[@]}"
measure "hostile: cut progressive" "$side_bmp" diffuse "$work/cut_prog.jpg" "${out[@]}"
measure "16384^2 progressive JPEG" "$side_bmp" diffuse "$work/flat_prog.jpg" "${out[@]}"
measure "16384^2 16-bit Adam7 PNG" "$side_bmp" diffuse "$work/deep.png" "${out[@]}"
dir=(-d "$work/outdir" -j 2)
measure "-j 2: 2 progressive JPEG" "$side_bmp" diffuse --format bmp "$work/flat_prog.jpg" \
  "$work/flat_prog2.jpg" "${dir[@]}"
measure "-j 2: 2 16-bit PNG" "$side_bmp" diffuse "$work/deep.png" "$work/deep2.png" "${dir[@]}"
measure "-j 2: 2 BMP of 1.3 GB" "$big_bmp" diffuse "$work/big1.bmp" "$work/big2.bmp" "${dir[@]}"
