#!/usr/bin/python3
"""Tile images measured: PSNR of `tintwright tiles --target snes` and `--target gba` on six
images, against what a user could script, and against one palette of as many colours.

    bench/tiles.py [TINTWRIGHT] [--keep DIR]

The images: two photographs cut and scaled to 256 x 224 (Astronaut and Coffee of the
benchmark's photographs), two pieces of game-like art drawn here (a platform level and a
dungeon, 256 x 224), and two screenshot-like images of 240 x 160 cut from the benchmark's
graphics (Screenshot and PixelArt).
The simple route: one palette of P * 16 colours on the 5,5,5 grid by `diffuse --adaptive`
(256 for gba, 128 for snes), cut into its P rows of 16 entries, each 8 x 8 tile snapped
without dithering to the row that draws it best: what the device can show. Beside it, as a
bound no device reaches, each tile onto the 16 entries of the 256 its pixels take most
("free16": a palette of its own for every tile).
The cost of the tile rule: `--target snes` (8 palettes of 16) next to `diffuse --adaptive
--colours 128 --depth 5,5,5`.
"""
import argparse
import os
import subprocess
import sys
import tempfile

import numpy
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quality  # noqa: E402

PHOTOS = "/work/bench/img/photos2"
GRAPHICS = "/work/bench/img/graphics"


def cut(path, width, height):
    image = Image.open(path).convert("RGB")
    w, h = image.size
    scale = min(w / width, h / height)
    cw, ch = int(width * scale), int(height * scale)
    left, top = (w - cw) // 2, (h - ch) // 2
    return image.crop((left, top, left + cw, top + ch)).resize((width, height), Image.LANCZOS)


def platform_level():
    """Sky gradient, hills, brick platforms, coins: flat areas and a few gradients."""
    y, x = numpy.mgrid[0:224, 0:256]
    a = numpy.zeros((224, 256, 3), numpy.float64)
    a[..., 0] = 90 + 60 * y / 224
    a[..., 1] = 140 + 70 * y / 224
    a[..., 2] = 250 - 30 * y / 224
    hill = 150 + 25 * numpy.sin(x / 23.0)
    a[y > hill] = [40, 150, 60]
    a[(y > hill) & ((x // 6 + y // 6) % 5 == 0)] = [30, 120, 45]
    ground = y >= 192
    brick = ((x + (y // 8) % 2 * 8) % 16 == 0) | (y % 8 == 0)
    a[ground] = [170, 90, 40]
    a[ground & brick] = [90, 45, 20]
    for px, py in [(40, 120), (120, 96), (190, 130)]:
        block = (x >= px) & (x < px + 48) & (y >= py) & (y < py + 16)
        a[block] = [200, 120, 60]
        a[block & (((x - px) % 16 == 0) | ((y - py) % 8 == 0))] = [120, 60, 30]
    for cx, cy in [(64, 104), (80, 104), (140, 80), (214, 114)]:
        d = (x - cx) ** 2 / 9.0 + (y - cy) ** 2 / 25.0
        a[d < 1] = [250, 210, 40]
        a[d < 0.3] = [255, 250, 160]
    return Image.fromarray(a.clip(0, 255).astype(numpy.uint8))


def dungeon():
    """Stone floor tiles with shading, a lava channel and glowing torches."""
    y, x = numpy.mgrid[0:224, 0:256]
    rng = numpy.random.default_rng(7)
    noise = rng.integers(-12, 13, (224, 256))
    a = numpy.zeros((224, 256, 3), numpy.float64)
    stone = 90 + noise + 20 * ((x // 16 + y // 16) % 2)
    a[..., 0], a[..., 1], a[..., 2] = stone, stone * 0.95, stone * 1.1
    a[(x % 16 == 0) | (y % 16 == 0)] = [40, 38, 50]
    lava = (y > 96) & (y < 128)
    glow = 0.5 + 0.5 * numpy.sin(x / 9.0 + y / 5.0)
    a[lava] = numpy.stack([230 + 20 * glow, 80 + 90 * glow, 20 + 10 * glow], -1)[lava]
    for cx, cy in [(32, 40), (224, 40), (32, 180), (224, 180)]:
        d = numpy.sqrt((x - cx) ** 2 + (y - cy) ** 2)
        light = numpy.clip(1 - d / 40.0, 0, 1)[..., None]
        a = a * (1 - 0.6 * light) + numpy.array([255, 200, 90]) * 0.6 * light
    wall = (x < 8) | (x >= 248)
    a[wall] = [60, 55, 80]
    return Image.fromarray(a.clip(0, 255).astype(numpy.uint8))


def images():
    return [
        ("astronaut", cut(os.path.join(PHOTOS, "Astronaut.bmp"), 256, 224)),
        ("coffee", cut(os.path.join(PHOTOS, "Coffee.bmp"), 256, 224)),
        ("platform", platform_level()),
        ("dungeon", dungeon()),
        ("screenshot", cut(os.path.join(GRAPHICS, "Screenshot.bmp"), 240, 160)),
        ("pixelart", cut(os.path.join(GRAPHICS, "PixelArt.bmp"), 240, 160)),
    ]


def run(tool, *arguments):
    subprocess.run([tool, *arguments], check=True, stdout=subprocess.DEVNULL)


def shown(path):
    return numpy.asarray(Image.open(path).convert("RGB"), dtype=numpy.int64)


def simple_route(tool, source, folder, palettes, free):
    """One palette of palettes * 16 colours, then each 8 x 8 tile, undithered, onto its best
    row of 16 (or, `free`, onto the 16 entries of 256 its pixels take most)."""
    out = os.path.join(folder, "simple.png")
    colours = 256 if free else palettes * 16
    run(tool, "diffuse", source, "-o", out, "--adaptive", "--dither", "none", "--colours",
        str(colours), "--depth", "5,5,5")
    palette = numpy.array(Image.open(out).getpalette()[:3 * colours],
                          dtype=numpy.int64).reshape(-1, 3)
    original = numpy.asarray(Image.open(source).convert("RGB"), dtype=numpy.int64)
    result = numpy.zeros_like(original)
    h, w, _ = original.shape
    for ty in range(0, h, 8):
        for tx in range(0, w, 8):
            tile = original[ty:ty + 8, tx:tx + 8].reshape(-1, 3)
            if free:
                d = ((tile[:, None, :] - palette[None, :, :]) ** 2).sum(-1)
                counts = numpy.bincount(d.argmin(1), minlength=len(palette))
                rows = [palette[numpy.argsort(-counts, kind="stable")[:16]]]
            else:
                rows = palette.reshape(palettes, 16, 3)
            best = None
            for row in rows:
                d = ((tile[:, None, :] - row[None, :, :]) ** 2).sum(-1)
                error = d.min(1).sum()
                if best is None or error < best[0]:
                    best = (error, row[d.argmin(1)])
            result[ty:ty + 8, tx:tx + 8] = best[1].reshape(original[ty:ty + 8, tx:tx + 8].shape)
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool", nargs="?", default="build/native/tintwright")
    parser.add_argument("--keep", help="a folder to keep the images in")
    args = parser.parse_args()
    folder = args.keep or tempfile.mkdtemp(prefix="tiles_bench_")
    os.makedirs(folder, exist_ok=True)
    print("PSNR, dB      snes  s-none simple8     gba  g-none simple16 free16 one128")
    for name, image in images():
        source = os.path.join(folder, name + ".png")
        image.save(source)
        original = numpy.asarray(image, dtype=numpy.int64)
        figures = []
        for target, palettes in (("snes", 8), ("gba", 16)):
            for dither in ("fs", "none"):
                out = os.path.join(folder, "%s-%s-%s.png" % (name, target, dither))
                run(args.tool, "tiles", source, "-o", out, "--target", target, "--dither", dither)
                figures.append(quality.psnr(original, shown(out)))
            figures.append(quality.psnr(original,
                                        simple_route(args.tool, source, folder, palettes, False)))
        figures.append(quality.psnr(original, simple_route(args.tool, source, folder, 16, True)))
        one = os.path.join(folder, name + "-128.png")
        run(args.tool, "diffuse", source, "-o", one, "--adaptive", "--colours", "128",
            "--depth", "5,5,5")
        figures.append(quality.psnr(original, shown(one)))
        print("%-11s" % name + "".join("%8.2f" % f for f in figures))


if __name__ == "__main__":
    main()
