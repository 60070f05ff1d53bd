#!/usr/bin/python3
"""Writes tests/data/pngsuite_pixels.txt: for each file of the PNG test suite, its size and the
pixels Pillow reads, composited onto white the way Tintwright does it:
    (c * a + 255 * (255 - a) + 127) // 255 for each of red, green and blue.

    scripts/pngsuite_reference.py [SUITE] [OUT]     (needs python3-pil and python3-numpy)

Each line: NAME WIDTH HEIGHT DEPTH PIXELS. PIXELS is the FNV-1a hash (64 bits) of the red,
green and blue bytes, top row first; or, for a colour file of 16-bit samples, "~" and the
bytes themselves in hex: Pillow reads those samples by their high byte, Tintwright rounds
them, so the two may differ by a level or two (after compositing). 16-bit grey samples are
read whole and rounded here as Tintwright does. A 16-bit colour file with a transparent
colour (tRNS) is "-": Pillow compares its 8-bit samples with the 16-bit colour and misses it.
"""
import os
import struct
import sys

import numpy
from PIL import Image


def chunks(path):
    data = open(path, "rb").read()
    at = 8
    while at + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        yield kind, data[at + 8:at + 8 + length]
        at += 12 + length


def fnv(data):
    h = 0xCBF29CE484222325
    for b in data:
        h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


def pixels(path):
    image = Image.open(path)
    if image.mode in ("I", "I;16", "I;16B"):
        wide = numpy.asarray(image, dtype=numpy.uint32)
        grey = (wide * 255 + 32767) // 65535
        alpha = numpy.full_like(grey, 255)
        for kind, data in chunks(path):
            if kind == b"tRNS":
                alpha = numpy.where(wide == struct.unpack(">H", data[:2])[0], 0, 255)
        rgba = numpy.dstack([grey, grey, grey, alpha])
    else:
        rgba = numpy.asarray(image.convert("RGBA"), dtype=numpy.uint32)
    alpha = rgba[..., 3:4]
    rgb = (rgba[..., :3] * alpha + 255 * (255 - alpha) + 127) // 255
    return rgb.astype(numpy.uint8), image.mode


def main():
    suite = sys.argv[1] if len(sys.argv) > 1 else "../shared/corpus/pngsuite"
    out = sys.argv[2] if len(sys.argv) > 2 else "tests/data/pngsuite_pixels.txt"
    lines = []
    for folder, _, files in sorted(os.walk(suite)):
        for name in sorted(files):
            if not name.endswith(".png"):
                continue
            path = os.path.join(folder, name)
            ihdr = dict(chunks(path))[b"IHDR"]
            width, height, depth = struct.unpack(">IIB", ihdr[:9])
            relative = os.path.relpath(path, suite)
            rgb, mode = pixels(path)
            grey16 = mode in ("I", "I;16", "I;16B")
            if depth == 16 and not grey16:
                if any(kind == b"tRNS" for kind, _ in chunks(path)):
                    text = "-"
                else:
                    text = "~" + rgb.tobytes().hex()
            else:
                text = "%016x" % fnv(rgb.tobytes())
            lines.append("%s %d %d %d %s" % (relative, width, height, depth, text))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


main()
