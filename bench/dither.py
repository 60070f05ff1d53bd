#!/usr/bin/python3
"""Every dithering of --adaptive on the benchmark's images at 256, 64 and 16 colours: the
quality and the time of each, and each group's means as Markdown tables (the ones in
docs/quality.md); bench/dither.sh makes the images and calls this.

    bench/dither.py IMAGES [--every K] [--colours LIST] [--ditherings LIST] [--runs N]
                    [--butteraugli] [--linear-blur] [--out FILE] [--means-of FILE]
                    [GROUP | NAME ...]

IMAGES is the folder of bench/images.sh (one folder a group). --every K takes the first,
the (K+1)th, ... image of each group (sorted by name), to keep a run short. A dithering is
a name of --dither, and NAME+linear runs it with --linear. Quality: PSNR, PSNR after a
Gaussian blur of radius 1, SSIM on luminance, with --butteraugli butteraugli, and with
--linear-blur the PSNR after that blur done in linear light (bench/quality.py). Time: the
median wall time of N runs of the whole command (default 1), shown as the photographs'
mean in seconds and as a multiple of fs's time on the same image. The per-image figures go
to standard error as they come; --out FILE keeps them as JSON, and --means-of FILE prints
the tables of such a file again. TINTWRIGHT=PATH runs another build.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare  # noqa: E402
import quality  # noqa: E402

DITHERINGS = ("fs,fs+linear,atkinson,sierra,sierra2,sierra-lite,jjn,stucki,burkes,"
              "bayer2,bayer4,bayer8,bayer16,blue-noise,none")
GROUPS = {"photos": "photographs", "photos2": "other photographs", "graphics": "graphics"}


def run(source, result, colours, dithering, runs):
    """Converts source with that dithering; the median wall time of runs runs."""
    name, _, linear = dithering.partition("+")
    line = [compare.CLI, "diffuse", source, "-o", result, "--adaptive", "--colours",
            str(colours), "--dither", name, "--quiet"] + (["--linear"] if linear else [])
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(line, check=True)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def measure(images, colour_counts, ditherings, runs, with_butteraugli, linear_blur):
    rows = []
    with tempfile.TemporaryDirectory() as work:
        result = os.path.join(work, "result.bmp")
        for group, name, source in images:
            original = Image.open(source)
            original.load()
            for colours in colour_counts:
                row = {"group": group, "name": name, "colours": colours, "times": {},
                       "quality": {}}
                for dithering in ditherings:
                    row["times"][dithering] = run(source, result, colours, dithering, runs)
                    figures = quality.measure(original, result, with_butteraugli)
                    if linear_blur:
                        figures.append(quality.linear_blurred_psnr(
                            original.convert("RGB"), Image.open(result).convert("RGB")))
                    row["quality"][dithering] = figures
                    print("%s %s %d %-14s %.3fs  %s" % (group, name, colours, dithering,
                                                        row["times"][dithering],
                                                        compare.cell(row["quality"][dithering])),
                          file=sys.stderr, flush=True)
                rows.append(row)
    return rows


def print_tables(rows):
    """A table a colour count: a row a dithering, a column a group (its means), then the time."""
    ditherings = list(rows[0]["quality"])
    figures = rows[0]["quality"][ditherings[0]]
    names = "PSNR / blurred PSNR / SSIM" + (" / butteraugli" if figures[3] is not None else "") \
        + (" / PSNR blurred in linear light" if len(figures) > 4 else "")
    groups = [g for g in GROUPS if any(r["group"] == g for r in rows)]
    groups += sorted({r["group"] for r in rows} - set(groups))
    for colours in sorted({r["colours"] for r in rows}, reverse=True):
        mine = [r for r in rows if r["colours"] == colours]
        means = compare.group_means(mine, ditherings)
        heads = ["%s (%d)" % (GROUPS.get(g, g), means[g][0]) for g in groups]
        print("\n%d colours: %s, means; time: mean seconds of a photograph, and mean "
              "multiple of fs's time\n" % (colours, names))
        print("| dithering | " + " | ".join(heads) + " | time |")
        print("|---" * (len(groups) + 2) + "|")
        for dithering in ditherings:
            cells = [compare.cell(means[g][2][dithering]) for g in groups]
            photos = [r["times"][dithering] for r in mine if r["group"] == "photos"]
            seconds = "%.2f s, " % statistics.mean(photos) if photos else ""
            ratio = statistics.mean(r["times"][dithering] / r["times"]["fs"] for r in mine) \
                if "fs" in ditherings else None
            cells.append(seconds + ("%.2f x" % ratio if ratio is not None else ""))
            print("| %s | %s |" % (dithering.replace("+", " "), " | ".join(cells)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("images", nargs="?")
    parser.add_argument("names", nargs="*")
    parser.add_argument("--every", type=int, default=1)
    parser.add_argument("--colours", default="256,64,16")
    parser.add_argument("--ditherings", default=DITHERINGS)
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--butteraugli", action="store_true")
    parser.add_argument("--linear-blur", action="store_true")
    parser.add_argument("--out", help="also write every figure to this JSON file")
    parser.add_argument("--means-of", help="print the tables of a JSON file that --out wrote")
    args = parser.parse_args()
    if args.means_of:
        print_tables(json.load(open(args.means_of)))
        return
    if not args.images:
        parser.error("IMAGES is needed")
    images, seen = [], {}
    for image in compare.find_images(args.images, args.names):
        seen[image[0]] = seen.get(image[0], -1) + 1
        if seen[image[0]] % args.every == 0:
            images.append(image)
    print("images: " + " ".join("%s/%s" % (g, n) for g, n, _ in images), file=sys.stderr)
    rows = measure(images, [int(c) for c in args.colours.split(",")],
                   args.ditherings.split(","), args.runs, args.butteraugli, args.linear_blur)
    if args.out:
        json.dump(rows, open(args.out, "w"), indent=1)
    print_tables(rows)


if __name__ == "__main__":
    main()
