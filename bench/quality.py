#!/usr/bin/python3
"""Prints the quality of a reduced image against its original:

    bench/quality.py ORIGINAL RESULT [--no-butteraugli]
        ->  "PSNR BLURRED SSIM BUTTERAUGLI"

PSNR in dB over red, green and blue; BLURRED the PSNR of both after a Gaussian blur of
radius 1 (roughly what the eye sees at a normal viewing distance); SSIM on luminance
(Y = .299 R + .587 G + .114 B, Gaussian window of sigma 1.5, scikit-image); BUTTERAUGLI the
score of Debian's butteraugli (lower is better; "-" when left out). linear_blurred_psnr, for
bench/dither.py, blurs in linear light instead, as light mixes in the eye.
"""
import os
import subprocess
import sys
import tempfile

import numpy
from PIL import Image, ImageFilter
from skimage.filters import gaussian
from skimage.metrics import structural_similarity


def psnr(a, b):
    mse = numpy.mean((numpy.asarray(a, dtype=numpy.float64) - numpy.asarray(b, dtype=numpy.float64)) ** 2)
    return float("inf") if mse == 0 else 10 * numpy.log10(255.0 ** 2 / mse)


def luminance(image):
    a = numpy.asarray(image, dtype=numpy.float64)
    return a[..., 0] * 0.299 + a[..., 1] * 0.587 + a[..., 2] * 0.114


def linear_blurred_psnr(original, result):
    """PSNR after a Gaussian blur of radius 1 done in linear light, as light mixes on the
    retina: each image to linear light, blurred, and back to sRGB levels to compare."""
    def blurred(image):
        a = numpy.asarray(image, dtype=numpy.float64) / 255
        light = numpy.where(a <= 0.04045, a / 12.92, ((a + 0.055) / 1.055) ** 2.4)
        light = numpy.clip(gaussian(light, sigma=1, channel_axis=-1), 0, 1)
        return 255 * numpy.where(light <= 0.0031308, light * 12.92,
                                 1.055 * light ** (1 / 2.4) - 0.055)
    return psnr(blurred(original), blurred(result))


def butteraugli(original, result):
    with tempfile.TemporaryDirectory() as folder:
        paths = [os.path.join(folder, name) for name in ("original.png", "result.png")]
        # Saved from the bare pixels: an RGB image converted from a palette with a transparent
        # entry keeps it as a tRNS chunk, which butteraugli reads as a fourth channel.
        for image, path in zip((original, result), paths):
            Image.fromarray(numpy.asarray(image)).save(path)
        out = subprocess.run(["butteraugli"] + paths, capture_output=True, text=True, check=True)
        return float(out.stdout.split()[0])


def measure(original_path, result_path, with_butteraugli=True):
    """PSNR, blurred PSNR, SSIM and butteraugli (None when left out) of a result. The original
    may also be an image already read (a caller that measures many results of one image)."""
    original = original_path if isinstance(original_path, Image.Image) else Image.open(original_path)
    original = original.convert("RGB")
    result = Image.open(result_path).convert("RGB")
    blur = ImageFilter.GaussianBlur(1)
    ssim = structural_similarity(luminance(original), luminance(result), data_range=255,
                                 gaussian_weights=True, sigma=1.5, use_sample_covariance=False)
    score = butteraugli(original, result) if with_butteraugli else None
    return [psnr(original, result), psnr(original.filter(blur), result.filter(blur)),
            float(ssim), score]


def main():
    p, b, s, score = measure(sys.argv[1], sys.argv[2], "--no-butteraugli" not in sys.argv)
    print("%.2f %.2f %.4f %s" % (p, b, s, "-" if score is None else "%.3f" % score))


if __name__ == "__main__":
    main()
