#!/usr/bin/env bash
# Every dithering of --adaptive (each --dither name, and fs with --linear) on the benchmark's
# images at 256, 64 and 16 colours: PSNR, blurred PSNR, SSIM and time, each group's means as
# Markdown tables (bench/dither.py). Makes the images with bench/images.sh, or reads them
# from a folder of its groups given with --images DIR.
#   bench/dither.sh [--images DIR] [--every K] [--colours LIST] [--ditherings LIST]
#                   [--butteraugli] [--linear-blur] [--runs N] [--out FILE] [GROUP | NAME ...]
#   (after `make build`; --every 3 takes every third image of each group)
set -euo pipefail
cd "$(dirname "$0")/.."
images=
if [ "${1:-}" = --images ]; then
  images=$2
  shift 2
fi
if [ -z "$images" ]; then
  source scripts/need.sh
  need python3-pil python3-numpy python3-skimage butteraugli
  images=$(mktemp -d)
  trap 'rm -rf "$images"' EXIT
  bench/images.sh "$images" >/dev/null
fi
/usr/bin/python3 bench/dither.py "$images" "$@"
