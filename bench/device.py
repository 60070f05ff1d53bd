#!/usr/bin/python3
"""The colours a device can show, measured on the benchmark's photographs: PSNR, blurred PSNR
and SSIM of each result as the device shows it (every palette entry on its grid), and the
time of each run.

    bench/device.py IMAGES [GROUP ...] [--out FILE]

Depths (bits of red, green, blue, and the colours): 5-6-5 and 5-5-5 at 256, 4-4-4 at 64.
Each is made three ways: tintwright --depth (entries chosen on the grid, dithered against
it); tintwright at full depth, then every palette entry moved to the grid (the indices kept:
what quantizing first and snapping the palette afterwards gives); and pngquant --posterize
(the bits it drops, the same on every channel), its palette then moved to the grid.
Lists (bench/device.py --lists): the best 16 of ega, the best 16 of genesis and the best 32
of the xterm's 256 colours (tintwright --from); ImageMagick's -remap onto the whole list
with Floyd-Steinberg; and the 16 (or 32) most frequent colours of that remap, the image then
remapped onto those.
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import numpy
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quality  # noqa: E402
from compare import CLI, find_images  # noqa: E402

DEPTHS = [((5, 6, 5), 256, 3), ((5, 5, 5), 256, 3), ((4, 4, 4), 64, 4)]


def grid(value, bits):
    top = (1 << bits) - 1
    return ((value * top + 127) // 255 * 255 + top // 2) // top


def on_grid(path, depth, out):
    """The result at path with every palette entry moved to the grid, saved as out."""
    image = Image.open(path)
    table = image.getpalette()
    image.putpalette([grid(v, depth[i % 3]) for i, v in enumerate(table)])
    image.convert("RGB").save(out)
    return out


def timed(line):
    start = time.monotonic()
    subprocess.run(line, check=True, capture_output=True)
    return time.monotonic() - start


def xterm256():
    levels = [0, 95, 135, 175, 215, 255]
    colours = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
               (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
               (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
    colours += [(r, g, b) for r in levels for g in levels for b in levels]
    colours += [(8 + 10 * k,) * 3 for k in range(24)]
    return colours


def list_png(colours, path):
    image = Image.new("RGB", (len(colours), 1))
    image.putdata(colours)
    image.save(path)
    return path


def most_frequent(path, n, out):
    image = Image.open(path).convert("RGB")
    counts = sorted(image.getcolors(1 << 24), reverse=True)[:n]
    return list_png([c for _, c in counts], out)


def depth_rows(source, work):
    png = os.path.join(work, "in.png")
    Image.open(source).convert("RGB").save(png)
    row = {}
    for depth, colours, posterize in DEPTHS:
        name = "-".join(map(str, depth)) + "@" + str(colours)
        ours, full, pq = (os.path.join(work, n) for n in ("ours.png", "full.png", "pq.png"))
        t = timed([CLI, "diffuse", source, "-o", ours, "--adaptive", "--colours", str(colours),
                   "--depth", ",".join(map(str, depth)), "--quiet"])
        row[name + " tintwright --depth"] = quality.measure(source, ours, False)[:3] + [t]
        t = timed([CLI, "diffuse", source, "-o", full, "--adaptive", "--colours", str(colours),
                   "--quiet"])
        snapped = on_grid(full, depth, os.path.join(work, "full-grid.png"))
        row[name + " full, then snapped"] = quality.measure(source, snapped, False)[:3] + [t]
        t = timed(["pngquant", "--force", "--posterize", str(posterize), "--output", pq,
                   str(colours), png])
        snapped = on_grid(pq, depth, os.path.join(work, "pq-grid.png"))
        row[name + " pngquant --posterize %d" % posterize] = (
            quality.measure(source, snapped, False)[:3] + [t])
    return row


def grid_colours(bits):
    return [(grid_level(r, bits), grid_level(g, bits), grid_level(b, bits))
            for r in range(1 << bits) for g in range(1 << bits) for b in range(1 << bits)]


def grid_level(level, bits):
    top = (1 << bits) - 1
    return (level * 255 + top // 2) // top


def list_rows(source, work):
    row = {}
    lists = [("ega", 16, grid_colours(2)), ("genesis", 16, grid_colours(3)),
             (os.path.join(work, "xterm.gpl"), 32, xterm256())]
    for name, n, colours in lists:
        label = "best %d of %s" % (n, os.path.basename(name).replace(".gpl", ""))
        png = list_png(colours, os.path.join(work, "list.png"))
        ours = os.path.join(work, "ours.png")
        t = timed([CLI, "diffuse", source, "-o", ours, "--adaptive", "--colours", str(n),
                   "--from", name, "--quiet"])
        row[label + ": tintwright --from"] = quality.measure(source, ours, False)[:3] + [t]
        remap = os.path.join(work, "remap.png")
        t = timed(["convert", source, "-dither", "FloydSteinberg", "-remap", png, remap])
        row[label + ": magick -remap onto the whole list"] = (
            quality.measure(source, remap, False)[:3] + [t])
        top = most_frequent(remap, n, os.path.join(work, "top.png"))
        again = os.path.join(work, "top-remap.png")
        timed(["convert", source, "-dither", "FloydSteinberg", "-remap", top, again])
        row[label + ": the %d most frequent of that remap" % n] = (
            quality.measure(source, again, False)[:3] + [None])
    return row


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("images")
    parser.add_argument("names", nargs="*")
    parser.add_argument("--lists", action="store_true")
    parser.add_argument("--out")
    args = parser.parse_args()
    names = args.names or ["photos", "photos2"]
    rows = {}
    with tempfile.TemporaryDirectory() as work:
        if args.lists:
            gpl = ["GIMP Palette", "Name: xterm", "#"] + [
                "%3d %3d %3d" % c for c in xterm256()]
            open(os.path.join(work, "xterm.gpl"), "w").write("\n".join(gpl) + "\n")
        for group, stem, path in find_images(args.images, names):
            rows[group + "/" + stem] = (list_rows if args.lists else depth_rows)(path, work)
            print(group, stem, file=sys.stderr)
    if args.out:
        json.dump(rows, open(args.out, "w"), indent=1)
    runs = list(next(iter(rows.values())))
    print("| run | PSNR | blurred PSNR | SSIM | time (s, sum) |")
    print("|---|---|---|---|---|")
    for run in runs:
        figures = numpy.array([[v if v is not None else 0 for v in r[run]] for r in rows.values()])
        means = figures.mean(axis=0)
        print("| %s | %.2f | %.2f | %.4f | %.1f |" % (run, means[0], means[1], means[2],
                                                     figures[:, 3].sum()))


if __name__ == "__main__":
    main()
