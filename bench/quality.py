#!/usr/bin/python3
"""Prints the PSNR of a reduced image against its original, and the PSNR of both after a
Gaussian blur of radius 1 (roughly what the eye sees at a normal viewing distance):

    bench/quality.py ORIGINAL RESULT    ->    "PSNR BLURRED" in dB
"""
import sys

import numpy
from PIL import Image, ImageFilter


def psnr(a, b):
    mse = numpy.mean((numpy.asarray(a, dtype=numpy.float64) - numpy.asarray(b, dtype=numpy.float64)) ** 2)
    return float("inf") if mse == 0 else 10 * numpy.log10(255.0 ** 2 / mse)


original = Image.open(sys.argv[1]).convert("RGB")
result = Image.open(sys.argv[2]).convert("RGB")
blur = ImageFilter.GaussianBlur(1)
print("%.2f %.2f" % (psnr(original, result), psnr(original.filter(blur), result.filter(blur))))
