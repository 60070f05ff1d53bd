#!/usr/bin/env bash
# Tintwright against ImageMagick, pngquant (default and --speed 1), Pillow and ffmpeg on the
# benchmark's images: bench/images.sh makes them (three groups: photos, photos2, graphics)
# and bench/compare.py runs every tool and prints the quality of each result and the means of
# each group. Installs the tools it compares with.
#   bench/compare.sh [--no-butteraugli] [--runs N] [--extra NAME=ARGS] [GROUP | NAME ...]
#   (after `make build`; --runs N also times every tool over N runs with hyperfine)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/need.sh
need imagemagick pngquant ffmpeg python3-pil python3-numpy python3-skimage butteraugli hyperfine
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bench/images.sh "$work" >/dev/null
/usr/bin/python3 bench/compare.py "$work" "$@"
