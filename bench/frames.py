#!/usr/bin/python3
"""Animations on one palette: tintwright frames against ffmpeg and ImageMagick on animations
this script draws (a sprite animation over a painted background, a screen recording's kind of
picture: a desktop, a window with text being typed, a pointer, a progress bar; and a
photographic clip made from one of Debian's wallpaper photographs, a forest path: the camera
pans, then stands while a figure walks up the path).

    bench/frames.py [--runs N] [--keep DIR] [ANIMATION ...]

For each animation and tool, of the GIF made from the same PNG frames:
- flicker: of the pixels whose source colour is the same as in the frame before (still
  pixels), the share whose colour in the GIF changes between the two frames (with one
  palette, the share whose index changes);
- PSNR: the mean over the frames of each frame's PSNR against its source;
- the GIF's size in bytes;
- time: the median wall time of N runs (default 3) of the whole conversion.
Tools: tintwright frames (Floyd-Steinberg and bayer8); ffmpeg's palettegen=stats_mode=full
and paletteuse (its default dithering, sierra2_4a), and the same with diff_mode=rectangle
(the size to match); ImageMagick's convert ... -layers optimize.
Also the still rule's cost where the picture moves: the PSNR over the pixels that changed
since the frame before, with the rule (frames) and without it (each frame dithered alone onto
the same palette: tintwright palette, then diffuse --adaptive --palette P --fixed 256).
TINTWRIGHT=PATH runs another build.
"""
import argparse
import glob
import math
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image, ImageDraw, ImageFont, ImageSequence

HERE = os.path.dirname(os.path.abspath(__file__))
TINTWRIGHT = os.environ.get("TINTWRIGHT", os.path.join(HERE, "..", "build", "native", "tintwright"))
DELAY_MS = 40
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def sprites(folder, count=48, size=(320, 200)):
    """A painted background (a sky's gradient, hills with a grain) and sprites moving on it."""
    w, h = size
    rng = np.random.default_rng(3)
    y, x = np.mgrid[0:h, 0:w].astype(float)
    back = np.zeros((h, w, 3))
    back[..., 0] = 90 + 100 * y / h
    back[..., 1] = 140 + 80 * y / h
    back[..., 2] = 230 - 40 * y / h
    hill = h * 0.6 + 18 * np.sin(x / 37.0) + 9 * np.sin(x / 11.0 + 1)
    ground = y > hill
    grain = rng.normal(0, 9, (h, w))
    back[ground] = np.stack([60 + 0.2 * y + grain, 120 + 0.3 * y + grain, 50 + grain], -1)[ground]
    back = np.clip(back, 0, 255).astype(np.uint8)
    r = 12
    sy, sx = np.mgrid[-r:r, -r:r].astype(float)
    ball = (sx ** 2 + sy ** 2) < r * r
    shade = np.clip(1.2 - np.hypot(sx + 4, sy + 4) / (1.6 * r), 0.2, 1.0)
    for f in range(count):
        frame = back.copy()
        t = f / count * 2 * math.pi
        for k, (colour, speed) in enumerate((((230, 60, 40), 1), ((250, 210, 60), 2), ((80, 90, 220), 3))):
            cx = int(w / 2 + (w / 2 - 2 * r) * math.cos(speed * t + k))
            cy = int(h * 0.45 + h * 0.3 * math.sin(speed * t * 1.3 + 2 * k))
            block = frame[cy - r:cy + r, cx - r:cx + r]
            sprite = (np.array(colour)[None, None, :] * shade[..., None]).astype(np.uint8)
            block[ball] = sprite[ball]
        walker = f * 5 % (w + 16) - 16
        for dy in range(16):  # a walker of few flat colours, its legs in turn
            for dx in range(16):
                px, py = walker + dx, int(h * 0.8) + dy
                if 0 <= px < w and (dy < 10 or (dx // 4 + f) % 2 == 0):
                    frame[py, px] = (40, 40, 60) if dy < 6 else (200, 120, 60)
        Image.fromarray(frame).save(os.path.join(folder, "f_%03d.png" % f))


def screen(folder, count=40, size=(480, 300)):
    """A desktop: a wallpaper's gradient, a window whose text is typed, a pointer, a bar."""
    w, h = size
    y, x = np.mgrid[0:h, 0:w].astype(float)
    wall = np.stack([40 + 60 * x / w, 70 + 50 * y / h, 120 + 80 * (x + y) / (w + h)], -1).astype(np.uint8)
    font = ImageFont.truetype(FONT, 13) if os.path.exists(FONT) else ImageFont.load_default()
    text = ("The frames command reads a GIF or still images, chooses one palette for all the "
            "frames and dithers each after the one before, so that still areas keep their dots.")
    for f in range(count):
        im = Image.fromarray(wall.copy())
        d = ImageDraw.Draw(im)
        d.rectangle((40, 30, 440, 250), fill=(236, 236, 236), outline=(90, 90, 90))
        for i in range(20):  # the title bar's gradient
            d.line((41, 31 + i, 439, 31 + i), fill=(30 + 4 * i, 80 + 3 * i, 160 + 2 * i))
        d.text((50, 33), "Terminal - frames", font=font, fill=(255, 255, 255))
        typed = text[: f * 5]
        lines = [typed[i:i + 52] for i in range(0, len(typed), 52)]
        for i, line in enumerate(lines):
            d.text((50, 60 + 18 * i), line, font=font, fill=(20, 20, 20))
        d.rectangle((50, 220, 430, 236), outline=(120, 120, 120), fill=(255, 255, 255))
        d.rectangle((51, 221, 51 + int(378 * f / (count - 1)), 235), fill=(60, 160, 80))
        px, py = 300 + int(120 * math.cos(f / 6)), 150 + int(60 * math.sin(f / 5))
        d.polygon([(px, py), (px, py + 16), (px + 4, py + 12), (px + 11, py + 12)], fill=(0, 0, 0),
                  outline=(255, 255, 255))
        im.save(os.path.join(folder, "f_%03d.png" % f))


PHOTO = "/usr/share/wallpapers/Path/contents/images/1920x1080.jpg"  # plasma-workspace-wallpapers


def clip(folder, count=48, size=(480, 270)):
    """A photograph seen by a camera that pans for half the clip, then stands while a figure
    (a dark, soft-edged shape with a lit side) walks across, as a video's frames would be."""
    w, h = size
    photo = np.asarray(Image.open(PHOTO).convert("RGB").resize((w * 3 // 2, h * 3 // 2),
                                                                Image.LANCZOS)).astype(float)
    half = count // 2
    fy, fx = np.mgrid[0:40, 0:16].astype(float)
    figure = np.clip(1.0 - (((fx - 8) / 7) ** 2 + ((fy - 20) / 19) ** 2), 0, 1)[..., None]
    for f in range(count):
        left = min(f, half) * 4
        frame = photo[20:20 + h, left:left + w].copy()
        if f >= half:
            x, y = 60 + (f - half) * 7, 150 - (f - half)
            block = frame[y:y + 40, x:x + 16]
            lit = np.array([70, 50, 40]) + 60 * (fx[..., None] / 16)
            block[:] = block * (1 - figure) + lit * figure
        Image.fromarray(np.clip(frame + 0.5, 0, 255).astype(np.uint8)).save(
            os.path.join(folder, "f_%03d.png" % f))


ANIMATIONS = {"sprites": sprites, "screen": screen, "clip": clip}


def frames_of(paths):
    return [np.asarray(Image.open(p).convert("RGB")).astype(np.int32) for p in paths]


def gif_frames(path):
    with Image.open(path) as im:
        return [np.asarray(fr.convert("RGB")).astype(np.int32) for fr in ImageSequence.Iterator(im)]


def psnr(a, b, mask=None):
    d = (a - b) ** 2
    mse = d[mask].mean() if mask is not None else d.mean()
    return 99.0 if mse == 0 else 10 * math.log10(255 ** 2 / mse)


def measures(sources, made):
    still = changed = 0
    for k in range(1, len(sources)):
        s = (sources[k] == sources[k - 1]).all(-1)
        c = (made[k] != made[k - 1]).any(-1)
        still += s.sum()
        changed += (s & c).sum()
    return changed / max(still, 1), statistics.mean(psnr(m, s) for m, s in zip(made, sources))


def moving_psnr(sources, made):
    """The PSNR over the pixels that changed since the frame before, all frames together."""
    err = n = 0
    for k in range(1, len(sources)):
        mask = ~(sources[k] == sources[k - 1]).all(-1)
        err += ((made[k] - sources[k])[mask] ** 2).sum()
        n += mask.sum() * 3
    return 10 * math.log10(255 ** 2 / (err / n))


def timed(command, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def tools(folder, out):
    pngs = sorted(glob.glob(os.path.join(folder, "f_*.png")))
    pattern = os.path.join(folder, "f_%03d.png")
    rate = str(1000 // DELAY_MS)
    ff = ["ffmpeg", "-v", "error", "-y", "-framerate", rate, "-i", pattern, "-vf"]
    graph = "split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse"
    return pngs, {
        "tintwright fs": [TINTWRIGHT, "frames", *pngs, "--delay", str(DELAY_MS), "-o",
                          os.path.join(out, "tw.gif")],
        "tintwright bayer8": [TINTWRIGHT, "frames", *pngs, "--delay", str(DELAY_MS), "--dither",
                              "bayer8", "-o", os.path.join(out, "tw8.gif")],
        "ffmpeg": ff + [graph, os.path.join(out, "ff.gif")],
        "ffmpeg rectangle": ff + [graph + "=diff_mode=rectangle", os.path.join(out, "ffr.gif")],
        "ImageMagick": ["convert", "-delay", str(DELAY_MS // 10), *pngs, "-layers", "optimize",
                        os.path.join(out, "im.gif")],
    }


def without_rule(pngs, out):
    """Each frame alone on the frames' palette."""
    palette = os.path.join(out, "p.act")
    subprocess.run([TINTWRIGHT, "palette", *pngs, "-o", palette], check=True)
    alone = os.path.join(out, "alone")
    subprocess.run([TINTWRIGHT, "diffuse", *pngs, "--adaptive", "--palette", palette, "--fixed",
                    "256", "-d", alone, "-q"], check=True)
    return frames_of(sorted(glob.glob(os.path.join(alone, "f_*.png"))))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--keep", help="make the frames and GIFs in DIR and keep them")
    parser.add_argument("animations", nargs="*", default=list(ANIMATIONS))
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as temporary:
        root = args.keep or temporary
        print("| animation | tool | flicker | PSNR | moving PSNR | bytes | time s |")
        print("|---|---|---|---|---|---|---|")
        for name in args.animations:
            folder = os.path.join(root, name)
            os.makedirs(folder, exist_ok=True)
            ANIMATIONS[name](folder)
            pngs, commands = tools(folder, folder)
            sources = frames_of(pngs)
            for tool, command in commands.items():
                seconds = timed(command, args.runs)
                made = gif_frames(command[-1])
                flicker, mean = measures(sources, made)
                print("| %s | %s | %.5f | %.2f | %.2f | %d | %.3f |" % (
                    name, tool, flicker, mean, moving_psnr(sources, made),
                    os.path.getsize(command[-1]), seconds), flush=True)
            alone = without_rule(pngs, folder)
            flicker, mean = measures(sources, alone)
            print("| %s | fs without the still rule | %.5f | %.2f | %.2f | - | - |" % (
                name, flicker, mean, moving_psnr(sources, alone)), flush=True)


if __name__ == "__main__":
    sys.exit(main())
