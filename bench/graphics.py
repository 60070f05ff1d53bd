#!/usr/bin/python3
"""Writes the generated test images of the benchmark as 24-bit BMP files into a folder:

    bench/graphics.py FOLDER [PHOTO]

smooth and flat graphics, where a palette's entries must sit close together: a two-colour
gradient, a radial gradient, a sky gradient, a photograph under a large sky (PHOTO, any
image Pillow reads; without it that image is left out), a screenshot-like image with text,
pixel art, a chart, a stepped image and a narrow cube of colours. The images are made the same way every time.
"""
import os
import sys

import numpy
from PIL import Image, ImageDraw


def save(folder, name, pixels):
    image = Image.fromarray(numpy.clip(numpy.rint(pixels), 0, 255).astype(numpy.uint8), "RGB")
    image.save(os.path.join(folder, name + ".bmp"))


def blend(a, b, t):
    """Colours between a and b for t in 0..1, as an array of t's shape plus 3."""
    t = t[..., None]
    return numpy.array(a, float) * (1 - t) + numpy.array(b, float) * t


def two_colour_gradient(width=1600, height=1000):
    y, x = numpy.mgrid[0:height, 0:width]
    return blend((28, 52, 140), (236, 170, 92), (x / (width - 1) * 0.7 + y / (height - 1) * 0.3))


def radial_gradient(width=1600, height=1000):
    y, x = numpy.mgrid[0:height, 0:width]
    r = numpy.hypot(x - width * 0.4, y - height * 0.45) / numpy.hypot(width, height) * 1.6
    inner = blend((255, 246, 214), (224, 120, 60), numpy.clip(r * 2, 0, 1))
    outer = blend((224, 120, 60), (40, 16, 52), numpy.clip(r * 2 - 1, 0, 1))
    return numpy.where((r < 0.5)[..., None], inner, outer)


def sky_gradient(width=1024, height=600):
    """Deep blue to a paler blue across, and toward a hazy white down to the horizon."""
    y, x = numpy.mgrid[0:height, 0:width]
    across = blend((48, 104, 196), (110, 160, 222), x / (width - 1))
    haze = numpy.array((226, 234, 240), float)
    t = (y / (height - 1)) ** 1.3
    return across * (1 - t[..., None]) + haze * t[..., None]


def photo_under_sky(photo, width=1600, height=1000):
    """The lower 45 % from the photograph, above it a sky: flat at the top, then graded."""
    picture = numpy.asarray(Image.open(photo).convert("RGB").resize((width, height)), float)
    horizon = int(height * 0.55)
    y = numpy.mgrid[0:horizon, 0:width][0]
    t = numpy.clip((y / horizon - 0.3) / 0.7, 0, 1)
    picture[:horizon] = blend((92, 144, 214), (218, 232, 240), t)
    return picture


def screenshot(width=1280, height=800):
    image = Image.new("RGB", (width, height), (250, 250, 250))
    draw = ImageDraw.Draw(image)
    draw.rectangle((0, 0, width, 36), fill=(44, 62, 80))
    draw.rectangle((0, 36, 220, height), fill=(236, 240, 241))
    draw.rectangle((0, height - 24, width, height), fill=(230, 230, 230))
    for i in range(12):
        top = 60 + 52 * i
        draw.rectangle((240, top, width - 20, top + 40), fill=(255, 255, 255), outline=(210, 214, 218))
        draw.rectangle((252, top + 10, 272, top + 30), fill=(52 + 15 * i, 152, 219 - 10 * i))
        draw.text((284, top + 12), "Item %d: the quick brown fox jumps over the lazy dog" % i,
                  fill=(33, 37, 41))
        draw.text((24, top + 12), "Menu entry %d" % i, fill=(90, 98, 104))
    draw.text((12, 10), "Tintwright - screenshot.bmp", fill=(255, 255, 255))
    # Smooth text edges, as a screen's font smoothing gives them.
    return numpy.asarray(image.resize((width * 2, height * 2)).resize((width, height),
                                                                      Image.BILINEAR), float)


def pixel_art(width=1280, height=800, scale=8):
    """A scene of 160 x 100 pixels in a few dozen colours, each pixel an 8 x 8 block."""
    w, h = width // scale, height // scale
    y, x = numpy.mgrid[0:h, 0:w]
    sky = numpy.where((y < h * 0.6)[..., None], blend((90, 150, 230), (170, 210, 250), (y // 6) / 10),
                      0)
    ground = blend((70, 140, 50), (40, 90, 30), ((y - h * 0.6) // 5) / 8)
    picture = numpy.where((y < h * 0.6)[..., None], sky, ground)
    generator = numpy.random.default_rng(3)
    for _ in range(14):  # trees and houses in flat colours with an outline
        cx, cy = generator.integers(5, w - 5), generator.integers(int(h * 0.55), h - 8)
        colour = numpy.array(generator.integers(40, 240, 3), float)
        inside = (numpy.abs(x - cx) < 4) & (y > cy - 9) & (y < cy)
        edge = ((numpy.abs(x - cx) == 4) & (y > cy - 9) & (y < cy)) | ((y == cy - 9) &
                                                                           (numpy.abs(x - cx) <= 4))
        picture[inside] = colour
        picture[edge] = (20, 20, 30)
    return numpy.rint(picture).repeat(scale, axis=0).repeat(scale, axis=1)


def chart(width=1600, height=1000):
    """Bars, lines and labels on white, drawn smooth: many colours only at the edges."""
    image = Image.new("RGB", (width * 2, height * 2), (255, 255, 255))
    draw = ImageDraw.Draw(image)
    for k in range(11):  # the grid
        y = 160 + k * 160
        draw.line((200, y, width * 2 - 100, y), fill=(225, 228, 232), width=2)
    colours = [(66, 133, 244), (219, 68, 55), (244, 180, 0), (15, 157, 88)]
    for i in range(12):
        for j, colour in enumerate(colours[:3]):
            top = 1760 - int(300 + 900 * abs(numpy.sin(i * 0.7 + j)))
            left = 240 + i * 240 + j * 60
            draw.rectangle((left, top, left + 50, 1760), fill=colour)
    points = [(240 + i * 120, 900 - int(500 * numpy.sin(i / 3.0))) for i in range(24)]
    draw.line(points, fill=colours[3], width=8)
    for i in range(12):
        draw.text((250 + i * 240, 1790), "Q%d" % (i % 4 + 1), fill=(60, 64, 67))
    draw.text((240, 60), "Tintwright benchmark chart", fill=(32, 33, 36))
    return numpy.asarray(image.resize((width, height), Image.LANCZOS), float)


def stepped(width=1440, height=900):
    y, x = numpy.mgrid[0:height, 0:width]
    steps = (x * 24 // width) * 30 + (y * 30 // height)  # 720 flat steps
    red = 40 + (steps % 24) * 7
    green = 60 + (steps // 24) * 5
    blue = 200 - (steps % 7) * 9
    return numpy.stack([red, green, blue], axis=-1).astype(float)


def narrow_cube(width=1200, height=900):
    generator = numpy.random.default_rng(1)
    return 100 + generator.integers(0, 17, size=(height, width, 3)).astype(float)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    save(folder, "TwoColourGradient", two_colour_gradient())
    save(folder, "RadialGradient", radial_gradient())
    save(folder, "SkyGradient", sky_gradient())
    if len(sys.argv) > 2:
        save(folder, "PhotoUnderSky", photo_under_sky(sys.argv[2]))
    save(folder, "Screenshot", screenshot())
    save(folder, "PixelArt", pixel_art())
    save(folder, "Chart", chart())
    save(folder, "Stepped", stepped())
    save(folder, "NarrowCube", narrow_cube())


if __name__ == "__main__":
    main()
