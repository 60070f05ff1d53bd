#!/usr/bin/python3
"""Runs Tintwright and its peers on the benchmark's images and prints the quality of every
result and the means of each group; bench/compare.sh makes the images and calls this.

    bench/compare.py IMAGES [--no-butteraugli] [--runs N] [--tools LIST] [--out FILE]
                     [--extra NAME=ARGS ...] [GROUP | NAME ...]

IMAGES is the folder of bench/images.sh (one folder a group). Every tool reads the same
24-bit image: tintwright (the basic error diffusion), adaptive (--adaptive, 256 colours),
pillow (fast octree, then Floyd-Steinberg onto that palette: a one-step quantize does not
dither with that method), magick (ImageMagick, Floyd-Steinberg, 256 colours), pngquant
(default settings), pngquant-s1 (--speed 1) and ffmpeg (palettegen and paletteuse, its
default dithering). --runs N times each tool with hyperfine over N runs (0, the default:
one run each, no times). --extra NAME=ARGS adds a tintwright run with those arguments
after `diffuse IN -o OUT`, for comparing a change with what is there; TINTWRIGHT=PATH runs
another build of the tool. Quality: PSNR, PSNR after a Gaussian blur of radius 1, SSIM on
luminance, butteraugli (bench/quality.py).
"""
import argparse
import json
import math
import os
import shlex
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quality  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
CLI = os.environ.get("TINTWRIGHT", os.path.join(HERE, "..", "build", "native", "tintwright"))
DECIBELS = (0, 1, 4)  # the figures that are PSNRs, in the order of quality.measure and after
PILLOW = """import sys
from PIL import Image
image = Image.open(sys.argv[1])
palette = image.quantize(256, method=Image.Quantize.FASTOCTREE)
image.quantize(palette=palette, dither=Image.Dither.FLOYDSTEINBERG).save(sys.argv[2])
"""


def commands(work, source, png):
    """Each tool's command line, writing work/TOOL.(bmp|png)."""
    out = lambda tool, ext: os.path.join(work, tool + "." + ext)  # noqa: E731
    return {
        "tintwright": ([CLI, "diffuse", source, "-o", out("tintwright", "bmp"), "--quiet"],
                       out("tintwright", "bmp")),
        "adaptive": ([CLI, "diffuse", source, "-o", out("adaptive", "bmp"), "--adaptive",
                      "--quiet"], out("adaptive", "bmp")),
        "pillow": (["/usr/bin/python3", os.path.join(work, "pillow.py"), source,
                    out("pillow", "bmp")], out("pillow", "bmp")),
        "magick": (["convert", source, "-dither", "FloydSteinberg", "-colors", "256",
                    "BMP3:" + out("magick", "bmp")], out("magick", "bmp")),
        "pngquant": (["pngquant", "--force", "--output", out("pngquant", "png"), "256", png],
                     out("pngquant", "png")),
        "pngquant-s1": (["pngquant", "--force", "--speed", "1", "--output",
                         out("pngquant-s1", "png"), "256", png], out("pngquant-s1", "png")),
        "ffmpeg": (["ffmpeg", "-loglevel", "error", "-y", "-i", source, "-vf",
                    "split[a][b];[a]palettegen=max_colors=256[p];[b][p]paletteuse",
                    "-frames:v", "1", out("ffmpeg", "png")], out("ffmpeg", "png")),
    }


def median_times(runs, named, work):
    report = os.path.join(work, "times.json")
    line = ["hyperfine", "-N", "--warmup", "1", "--runs", str(runs), "--export-json", report]
    subprocess.run(line + [shlex.join(c) for c in named.values()], check=True,
                   capture_output=True)
    results = json.load(open(report))["results"]
    return dict(zip(named, (r["median"] for r in results)))


def find_images(folder, names):
    """(group, name, path) of each BMP file in folder's groups, or of those that names name
    (a group or an image)."""
    images = []
    for group in sorted(g for g in os.listdir(folder) if os.path.isdir(os.path.join(folder, g))):
        for name in sorted(os.listdir(os.path.join(folder, group)), key=str.lower):
            stem = name[:-4]
            if name.endswith(".bmp") and (not names or group in names or stem in names):
                images.append((group, stem, os.path.join(folder, group, name)))
    return images


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("images")
    parser.add_argument("names", nargs="*")
    parser.add_argument("--no-butteraugli", action="store_true")
    parser.add_argument("--runs", type=int, default=0)
    parser.add_argument("--tools", default="tintwright,adaptive,pillow,magick,pngquant,"
                        "pngquant-s1,ffmpeg")
    parser.add_argument("--extra", action="append", default=[])
    parser.add_argument("--out", help="also write every figure to this JSON file")
    parser.add_argument("--means-of", help="print the means of a JSON file that --out wrote")
    args = parser.parse_args()
    if args.means_of:
        rows = json.load(open(args.means_of))
        print_means(rows, list(rows[0]["quality"]))
        return
    images = find_images(args.images, args.names)
    tools = [t for t in args.tools.split(",") if t]  # none: only the --extra runs
    extras = [e.split("=", 1) for e in args.extra]
    rows = []
    with tempfile.TemporaryDirectory() as work:
        open(os.path.join(work, "pillow.py"), "w").write(PILLOW)
        for group, name, source in images:
            png = os.path.join(work, "source.png")
            subprocess.run(["convert", source, "PNG24:" + png], check=True)
            every = commands(work, source, png)
            named = {t: every[t][0] for t in tools}
            outputs = {t: every[t][1] for t in tools}
            for label, extra in extras:
                result = os.path.join(work, label + ".bmp")
                named[label] = [CLI, "diffuse", source, "-o", result, "--quiet"] + shlex.split(extra)
                outputs[label] = result
            if args.runs > 0:
                times = median_times(args.runs, named, work)
            else:
                for command in named.values():
                    subprocess.run(command, check=True, capture_output=True)
                times = {}
            row = {"group": group, "name": name, "times": times, "quality": {}}
            for tool, result in outputs.items():
                figures = quality.measure(source, result, not args.no_butteraugli)
                row["quality"][tool] = figures
            rows.append(row)
            print_row(row, list(named))
            sys.stdout.flush()
    print_means(rows, tools + [label for label, _ in extras])
    if args.out:
        json.dump(rows, open(args.out, "w"), indent=1)


def cell(figures):
    return " / ".join(("%.2f" if k < 2 else "%.4f" if k == 2 else "%.2f") % v
                      for k, v in enumerate(figures) if v is not None)


def print_row(row, tools):
    print("%s %s" % (row["group"], row["name"]))
    for tool in tools:
        t = row["times"].get(tool)
        print("  %-12s %8s  %s" % (tool, "%.3fs" % t if t else "", cell(row["quality"][tool])))


def group_means(rows, tools):
    """Each group's image count and each tool's mean figures: {group: (images,
    images with finite figures, {tool: means})}.
    PSNR and blurred PSNR are averaged over the images that no tool gives back exactly: an
    infinite figure would leave an image out of one tool's mean only (so is a fifth figure,
    bench/dither.py's PSNR blurred in linear light)."""
    result = {}
    for group in sorted({r["group"] for r in rows}):
        mine = [r for r in rows if r["group"] == group]
        finite = [r for r in mine if all(math.isfinite(r["quality"][t][0]) for t in tools)]
        result[group] = (len(mine), len(finite), {})
        for tool in tools:
            means = []
            for k in range(len(mine[0]["quality"][tool])):
                values = [r["quality"][tool][k] for r in (finite if k in DECIBELS else mine)
                          if r["quality"][tool][k] is not None]
                means.append(sum(values) / len(values) if values else None)
            result[group][2][tool] = means
    return result


def print_means(rows, tools):
    """Each group's means (group_means), with each tool's time as a multiple of Pillow's."""
    for group, (count, finite, means) in group_means(rows, tools).items():
        mine = [r for r in rows if r["group"] == group]
        print("\n%s (%d): means (PSNR and blurred PSNR over the %d that no tool keeps exactly)"
              % (group, count, finite))
        for tool in tools:
            ratio = ""
            if mine[0]["times"] and all("pillow" in r["times"] and tool in r["times"] for r in mine):
                ratio = "%.2fx pillow" % (sum(r["times"][tool] / r["times"]["pillow"] for r in mine) / len(mine))
            print("  %-12s %-12s %s" % (tool, ratio, cell(means[tool])))


if __name__ == "__main__":
    main()
