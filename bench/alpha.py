#!/usr/bin/python3
"""Images with soft edges kept in an 8-bit PNG (diffuse --adaptive --alpha) against pngquant's
default, on a sprite sheet and an icon set made from Debian's Adwaita icons (its PNG icons,
anti-aliased onto transparency with soft shadows) and the PNG suite's files with alpha or
tRNS. For each result: the PSNR of it composited over black and over white (the mean of the
two) against the original's stored samples composited the same way, the file's size, and the
time. pngquant applies a file's gAMA chunk to its samples, tintwright does not: the suite's
files with one (gAMA 1.0, the non-interlaced ones) are a group of their own, pngsuite-gama.

    bench/alpha.py [--icons DIR] [--suite DIR] [--work DIR] [--runs N] [tintwright options]

The sprite sheet is the first 64 of the 512 x 512 icons (sorted by path), each scaled to
64 x 64 with Lanczos' filter, in an 8 x 8 grid; the
icon set is the first 8 of the 512 x 512 icons, each its own image. Options after the known
ones go to tintwright (--colours 64, --dither none, ...). Times are each tool's sum over the
group, the best of --runs.
"""
import argparse
import glob
import os
import subprocess
import sys
import tempfile
import time

import numpy
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
CLI = os.environ.get("TINTWRIGHT", os.path.join(HERE, "..", "build", "native", "tintwright"))


def rgba(path):
    return numpy.asarray(Image.open(path).convert("RGBA"), dtype=numpy.float64)


def reference(path, work):
    """The original's stored samples as 8-bit red, green, blue and alpha, saved as a PNG: a
    16-bit grey image with tRNS (which Pillow reads without its transparency) made by hand."""
    out = os.path.join(work, os.path.basename(path)[:-4] + ".ref.png")
    image = Image.open(path)
    if image.mode.startswith("I"):
        grey = numpy.asarray(image, dtype=numpy.int64)
        level = ((grey * 255 + 32767) // 65535).astype(numpy.uint8)
        alpha = numpy.where(grey == image.info.get("transparency", -1), 0, 255).astype(numpy.uint8)
        Image.fromarray(numpy.dstack([level, level, level, alpha]), "RGBA").save(out)
    else:
        image.convert("RGBA").save(out)
    return out


def composited_psnr(original, result):
    """The mean of the PSNRs over black and over white of result against original."""
    a, b = rgba(original), rgba(result)
    figures = []
    for background in (0.0, 255.0):
        over = [x[..., :3] * x[..., 3:] / 255 + background * (1 - x[..., 3:] / 255) for x in (a, b)]
        mse = numpy.mean((over[0] - over[1]) ** 2)
        figures.append(99.0 if mse == 0 else 10 * numpy.log10(255.0 ** 2 / mse))
    return sum(figures) / 2


def make_images(icons, suite, work):
    """(group, name, path) of every image of the bench, the sprite sheet made in work."""
    images = []
    large = sorted(glob.glob(os.path.join(icons, "512x512", "*", "*.png")))[:64]
    sheet = Image.new("RGBA", (8 * 64, 8 * 64), (0, 0, 0, 0))
    for k, path in enumerate(large):
        # Premultiplied while scaled, so that the soft edges take no colour of the transparency.
        sprite = Image.open(path).convert("RGBa").resize((64, 64), Image.LANCZOS).convert("RGBA")
        sheet.paste(sprite, (64 * (k % 8), 64 * (k // 8)))
    sheet.save(os.path.join(work, "sprites.png"))
    images.append(("sprites", "sprites", os.path.join(work, "sprites.png")))
    for path in sorted(glob.glob(os.path.join(icons, "512x512", "*", "*.png")))[:8]:
        images.append(("icons", os.path.basename(path)[:-4], path))
    for path in sorted(glob.glob(os.path.join(suite, "*.png"))):
        name = os.path.basename(path)[:-4]
        with Image.open(path) as image:
            if image.mode in ("RGBA", "LA") or "transparency" in image.info:
                # pngquant applies a gAMA chunk to the samples: those files are told apart.
                group = "pngsuite-gama" if "gamma" in image.info else "pngsuite"
                images.append((group, name, path))
    return images


def timed(line, runs):
    best = None
    for _ in range(runs):
        start = time.monotonic()
        subprocess.run(line, check=True, capture_output=True)
        spent = time.monotonic() - start
        best = spent if best is None else min(best, spent)
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--icons", default="/usr/share/icons/Adwaita")
    parser.add_argument("--suite", default="/work/shared/corpus/pngsuite")
    parser.add_argument("--work")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--groups", default="sprites,icons,pngsuite,pngsuite-gama")
    known, extra = parser.parse_known_args()
    work = known.work or tempfile.mkdtemp(prefix="alpha-bench-")
    os.makedirs(work, exist_ok=True)
    images = make_images(known.icons, known.suite, work)
    rows = {}
    for group, name, path in images:
        if group not in known.groups.split(","):
            continue
        ours = os.path.join(work, name + ".tw.png")
        theirs = os.path.join(work, name + ".pq.png")
        ours_line = [CLI, "diffuse", path, "-o", ours, "--adaptive", "--alpha", "-q"] + extra
        theirs_line = ["pngquant", "--force", "--output", theirs, "--", path]
        row = rows.setdefault(group, [0, [], [], 0, 0, 0.0, 0.0])
        row[0] += 1
        row[5] += timed(ours_line, known.runs)
        row[6] += timed(theirs_line, known.runs)
        original = reference(path, work)
        row[1].append(composited_psnr(original, ours))
        row[2].append(composited_psnr(original, theirs))
        row[3] += os.path.getsize(ours)
        row[4] += os.path.getsize(theirs)
        print("%s/%s: %.2f dB %d bytes | pngquant %.2f dB %d bytes" % (
            group, name, row[1][-1], os.path.getsize(ours), row[2][-1], os.path.getsize(theirs)),
            file=sys.stderr)
    print("| group | images | PSNR (black+white)/2 | pngquant | size | pngquant | size ratio "
          "| time (s) | pngquant | time ratio |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for group, (n, ours, theirs, size, their_size, spent, their_spent) in rows.items():
        print("| %s | %d | %.2f | %.2f | %d | %d | %.3f | %.3f | %.3f | %.2f |" % (
            group, n, sum(ours) / n, sum(theirs) / n, size, their_size, size / their_size,
            spent, their_spent, spent / their_spent))


if __name__ == "__main__":
    main()
