#!/usr/bin/python3
"""Should a frame's share of the palette follow how long it shows? On the animations of
bench/frames.py with uneven delays (every eighth frame held 25 times as long, as a screen
recording's pauses or a sprite's held poses are), one palette is chosen with each frame
counted once (uniform) and with each frame counted as often as its delay holds the shortest
(by display time, the frame given that many times to `tintwright palette`); every frame is
then dithered onto it alone (diffuse --adaptive --palette P --fixed 256) and the PSNR of each
frame against its source is averaged, each frame weighted by its display time (what a viewer
sees) and plainly (per frame).

    bench/frame_weights.py [ANIMATION ...]
"""
import glob
import os
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import frames as fr  # noqa: E402

HOLD = 25


def run(folder, name):
    pngs = sorted(glob.glob(os.path.join(folder, "f_*.png")))
    delays = [HOLD if k % 8 == 7 else 1 for k in range(len(pngs))]
    sources = fr.frames_of(pngs)
    rows = []
    for way, inputs in (("uniform", pngs),
                        ("by display time", [p for p, d in zip(pngs, delays) for _ in range(d)])):
        palette = os.path.join(folder, way.replace(" ", "_") + ".act")
        subprocess.run([fr.TINTWRIGHT, "palette", *inputs, "-o", palette], check=True)
        out = os.path.join(folder, way.replace(" ", "_"))
        subprocess.run([fr.TINTWRIGHT, "diffuse", *pngs, "--adaptive", "--palette", palette,
                        "--fixed", "256", "-d", out, "-q"], check=True)
        made = fr.frames_of(sorted(glob.glob(os.path.join(out, "f_*.png"))))
        p = [fr.psnr(m, s) for m, s in zip(made, sources)]
        timed = sum(x * d for x, d in zip(p, delays)) / sum(delays)
        rows.append("| %s | %s | %.2f | %.2f |" % (name, way, timed, float(np.mean(p))))
    return rows


def main():
    names = sys.argv[1:] or list(fr.ANIMATIONS)
    print("| animation | palette counted | PSNR by display time | PSNR per frame |")
    print("|---|---|---|---|")
    with tempfile.TemporaryDirectory() as root:
        for name in names:
            folder = os.path.join(root, name)
            os.makedirs(folder)
            fr.ANIMATIONS[name](folder)
            for row in run(folder, name):
                print(row, flush=True)


if __name__ == "__main__":
    sys.exit(main())
