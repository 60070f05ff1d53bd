#!/usr/bin/python3
"""Tile images against simpler routes, on six images made here: two photographs of the bench
scaled to 256 x 224, two pieces of game-like art drawn by this script, two 240 x 160 crops of
the bench's graphics.

    bench/tiles.py IMAGES

For --target snes and --target gba: PSNR of tintwright tiles (and snes without dithering);
of the simple route (one
256-colour palette by diffuse --adaptive, then each tile's pixels snapped to that tile's 16
most used entries of it, no dithering, and no limit on how many different subsets); and of
one palette of 128 colours (diffuse --adaptive --colours 128 --depth 5,5,5: the colours of
8 x 16 without the tile rule).
"""
import os
import subprocess
import sys
import tempfile

import numpy
from PIL import Image, ImageDraw

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quality  # noqa: E402
from compare import CLI  # noqa: E402


def game_art(seed, path):
    rng = numpy.random.default_rng(seed)
    image = Image.new("RGB", (256, 224))
    draw = ImageDraw.Draw(image)
    top, bottom = rng.integers(0, 256, 3), rng.integers(0, 256, 3)
    for y in range(224):
        c = tuple(int(top[k] + (bottom[k] - top[k]) * y / 223) for k in range(3))
        draw.line([(0, y), (255, y)], fill=c)
    for k in range(40):  # blocks of terrain and sprites in a few hues
        x, y = int(rng.integers(0, 240)), int(rng.integers(96, 220))
        hue = tuple(int(v) for v in rng.integers(30, 230, 3))
        draw.rectangle([x, y, x + int(rng.integers(8, 40)), y + int(rng.integers(8, 24))],
                       fill=hue, outline=tuple(v // 2 for v in hue))
    for k in range(12):
        x, y = int(rng.integers(0, 240)), int(rng.integers(0, 200))
        draw.ellipse([x, y, x + 14, y + 14], fill=tuple(int(v) for v in rng.integers(0, 256, 3)))
    image.save(path)


def images(folder, work):
    made = []
    photos = sorted(os.listdir(os.path.join(folder, "photos")))[:2]
    for name in photos:
        out = os.path.join(work, "photo-" + name)
        Image.open(os.path.join(folder, "photos", name)).convert("RGB").resize((256, 224)).save(out)
        made.append(out)
    for seed in (1, 2):
        out = os.path.join(work, "game-%d.bmp" % seed)
        game_art(seed, out)
        made.append(out)
    graphics = sorted(os.listdir(os.path.join(folder, "graphics")))[:2]
    for name in graphics:
        out = os.path.join(work, "screen-" + name)
        Image.open(os.path.join(folder, "graphics", name)).convert("RGB").crop(
            (0, 0, 240, 160)).save(out)
        made.append(out)
    return made


def simple_route(source, work, tile=8, size=16):
    full = os.path.join(work, "full.png")
    subprocess.run([CLI, "diffuse", source, "-o", full, "--adaptive", "--quiet"], check=True)
    table = numpy.array(Image.open(full).getpalette()[:768], dtype=numpy.int64).reshape(-1, 3)
    pixels = numpy.asarray(Image.open(source).convert("RGB"), dtype=numpy.int64)
    out = numpy.zeros_like(pixels)
    for y in range(0, pixels.shape[0], tile):
        for x in range(0, pixels.shape[1], tile):
            block = pixels[y:y + tile, x:x + tile].reshape(-1, 3)
            nearest = ((block[:, None, :] - table[None, :, :]) ** 2).sum(2).argmin(1)
            used = numpy.bincount(nearest, minlength=len(table)).argsort()[::-1][:size]
            subset = table[used]
            pick = ((block[:, None, :] - subset[None, :, :]) ** 2).sum(2).argmin(1)
            out[y:y + tile, x:x + tile] = subset[pick].reshape(out[y:y + tile, x:x + tile].shape)
    result = os.path.join(work, "simple.png")
    Image.fromarray(out.astype(numpy.uint8)).save(result)
    return result


def main():
    folder = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        rows = []
        for source in images(folder, work):
            row = [os.path.basename(source)]
            for target, dither in (("snes", "fs"), ("gba", "fs"), ("snes", "none")):
                out = os.path.join(work, target + ".png")
                subprocess.run([CLI, "tiles", source, "-o", out, "--target", target, "--dither",
                                dither, "--quiet"], check=True)
                row.append(quality.measure(source, out, False)[0])
            row.append(quality.measure(source, simple_route(source, work), False)[0])
            one = os.path.join(work, "one.png")
            subprocess.run([CLI, "diffuse", source, "-o", one, "--adaptive", "--colours", "128",
                            "--depth", "5,5,5", "--quiet"], check=True)
            row.append(quality.measure(source, one, False)[0])
            rows.append(row)
        print("| image | tiles snes | tiles gba | tiles snes, no dithering | simple route | "
              "one palette of 128 |")
        print("|---|---|---|---|---|---|")
        for row in rows:
            print("| %s | %.2f | %.2f | %.2f | %.2f | %.2f |" % tuple(row))
        finite = [[v if v != float("inf") else 99 for v in r[1:]] for r in rows]
        print("| mean (inf as 99) | %.2f | %.2f | %.2f | %.2f | %.2f |" %
              tuple(numpy.mean(finite, axis=0)))


if __name__ == "__main__":
    main()
