#!/usr/bin/python3
"""A shared palette made again with one more image: with `palette --keep OLD` against without.

    bench/keep.py IMAGES [GROUP] [--set N]

The first N images of the group (default graphics, N 8) make OLD; the next one joins the set
and the palette is made again twice, with --keep OLD and without. Prints the indices that
moved among OLD's colours still in use (a colour of OLD within the threshold of a new entry
that is not at its old index) and each route's mean PSNR over the N + 1 images, every image
mapped with `diffuse --adaptive --palette NEW --fixed 256`.
"""
import argparse
import os
import subprocess
import sys
import tempfile

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quality  # noqa: E402
from compare import CLI, find_images  # noqa: E402


def colours(path):
    rows = [line.split() for line in open(path) if line[:1].isdigit() or line[:1] == " "]
    return [tuple(int(v) for v in row[:3]) for row in rows if len(row) >= 3]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("images")
    parser.add_argument("group", nargs="?", default="graphics")
    parser.add_argument("--set", type=int, default=8)
    args = parser.parse_args()
    paths = [p for _, _, p in find_images(args.images, [args.group])][:args.set + 1]
    with tempfile.TemporaryDirectory() as work:
        old, kept, fresh = (os.path.join(work, n + ".gpl") for n in ("old", "kept", "fresh"))
        subprocess.run([CLI, "palette", *paths[:-1], "-o", old], check=True)
        subprocess.run([CLI, "palette", *paths, "-o", kept, "--keep", old], check=True)
        subprocess.run([CLI, "palette", *paths, "-o", fresh], check=True)
        before, after = colours(old), colours(kept)
        moved = sum(1 for i, c in enumerate(before) if i < len(after) and c != after[i] and
                    c in after)
        print("indices moved among the colours kept: %d" % moved)
        for name, table in (("--keep", kept), ("made afresh", fresh)):
            scores = []
            for path in paths:
                out = os.path.join(work, "out.bmp")
                subprocess.run([CLI, "diffuse", path, "-o", out, "--adaptive", "--palette",
                                table, "--fixed", "256", "--quiet"], check=True)
                scores.append(quality.measure(path, out, False)[0])
            print("%s: mean PSNR %.2f over %d images" % (name, sum(scores) / len(scores),
                                                        len(scores)))


if __name__ == "__main__":
    main()
