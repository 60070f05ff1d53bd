#!/usr/bin/env python3
"""Writes small image files that cost a decoder much time or memory, for bench/limits.sh.

    hostile.py DIR [SIDE]

SIDE (default 16384) is the width and height of every image:
  scans.jpg      a progressive JPEG of every scan a 3-component image may legally have
                 (2,647: one DC scan, then for each component and AC coefficient a first
                 scan and 13 refinements), all of them empty runs of blocks
  cut.jpg        a baseline JPEG cut short after its first kilobyte of data
  cut_prog.jpg   the DC scan of a progressive JPEG, cut short halfway
  flat_prog.jpg  a whole progressive JPEG of one DC scan: a flat grey picture that still
                 takes the decoder 6 bytes a pixel of coefficients
  deep.png       an interlaced PNG of 16-bit RGBA samples, all zero
Only the standard library is used.
"""
import os
import struct
import sys
import zlib


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


class Bits:
    """Entropy-coded data: bits most significant first, 0xFF bytes stuffed, padded with 1s."""

    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.count = 0

    def put(self, value, length):
        for i in range(length - 1, -1, -1):
            self.acc = self.acc << 1 | (value >> i) & 1
            self.count += 1
            if self.count == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0)
                self.acc = self.count = 0

    def put_zeros(self, count):
        """Many 0 bits at once: whole zero bytes need no stuffing."""
        while self.count != 0 and count > 0:
            self.put(0, 1)
            count -= 1
        self.out += bytes(count // 8)
        self.put(0, count % 8)

    def done(self):
        if self.count:
            self.put((1 << (8 - self.count)) - 1, 8 - self.count)
        return bytes(self.out)


def huffman(table_class, table_id, lengths_and_symbols):
    counts = [0] * 16
    symbols = []
    for length, symbol in lengths_and_symbols:
        counts[length - 1] += 1
        symbols.append(symbol)
    return segment(0xC4, bytes([table_class << 4 | table_id] + counts + symbols))


def frame(marker, side, components=3):
    payload = struct.pack(">BHHB", 8, side, side, components)
    for c in range(components):
        payload += bytes([c + 1, 0x11, 0])
    return segment(marker, payload)


def scan(components, ss, se, ah, al):
    payload = bytes([len(components)])
    for c in components:
        payload += bytes([c + 1, 0x00])
    return segment(0xDA, payload + bytes([ss, se, ah << 4 | al]))


QUANT = segment(0xDB, bytes([0]) + bytes([1] * 64))
# DC: one symbol, 0 (no difference), code "0". AC: EOB run of 2^14 + 14 bits ("0"), EOB run of
# 2^7 + 7 bits ("10"), EOB ("110"; a code of all ones is not allowed).
TABLES = huffman(0, 0, [(1, 0)]) + huffman(1, 0, [(1, 0xE0), (2, 0x70), (3, 0x00)])


def empty_band(blocks):
    """The entropy data of an AC scan of `blocks` blocks that are all zero: runs of EOB."""
    bits = Bits()
    while blocks >= 32767:
        bits.put(0, 1)
        bits.put(16383, 14)
        blocks -= 32767
    while blocks >= 128:
        run = min(blocks, 255)
        bits.put(0b10, 2)
        bits.put(run - 128, 7)
        blocks -= run
    for _ in range(blocks):
        bits.put(0b110, 3)
    return bits.done()


def dc_scan(blocks, cut=None):
    bits = Bits()
    bits.put_zeros(blocks if cut is None else cut)
    return bits.done()


def scans_jpeg(side):
    blocks = (side // 8) ** 2
    out = bytearray(b"\xFF\xD8" + QUANT + frame(0xC2, side) + TABLES)
    out += scan([0, 1, 2], 0, 0, 0, 0) + dc_scan(3 * blocks)
    band = empty_band(blocks)
    for c in range(3):
        for k in range(1, 64):
            out += scan([c], k, k, 0, 13) + band
            for al in range(12, -1, -1):
                out += scan([c], k, k, al + 1, al) + band
    return bytes(out + b"\xFF\xD9")


def cut_jpeg(side):
    # Baseline: each block "0" (no DC difference) then "110" (end of block).
    bits = Bits()
    for _ in range(3 * 1024):
        bits.put(0b0110, 4)
    return b"\xFF\xD8" + QUANT + frame(0xC0, side) + TABLES + scan([0, 1, 2], 0, 63, 0, 0) + bits.done()[:1024]


def cut_progressive_jpeg(side):
    blocks = (side // 8) ** 2
    head = b"\xFF\xD8" + QUANT + frame(0xC2, side) + TABLES + scan([0, 1, 2], 0, 0, 0, 0)
    return head + dc_scan(3 * blocks, cut=3 * blocks // 2)


def flat_progressive_jpeg(side):
    blocks = (side // 8) ** 2
    head = b"\xFF\xD8" + QUANT + frame(0xC2, side) + TABLES + scan([0, 1, 2], 0, 0, 0, 0)
    return head + dc_scan(3 * blocks) + b"\xFF\xD9"


def deep_png(side):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", side, side, 16, 6, 0, 0, 1)
    # Adam7: each pass's rows, each a filter byte and its pixels of 8 bytes.
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
              (0, 1, 1, 2)]
    deflate = zlib.compressobj(9)
    data = bytearray()
    for x0, y0, dx, dy in passes:
        columns = (side - x0 + dx - 1) // dx
        rows = (side - y0 + dy - 1) // dy
        row = bytes(1 + 8 * columns)
        for _ in range(rows):
            data += deflate.compress(row)
    data += deflate.flush()
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", bytes(data)) +
            chunk(b"IEND", b""))


def main():
    folder = sys.argv[1]
    side = int(sys.argv[2]) if len(sys.argv) > 2 else 16384
    os.makedirs(folder, exist_ok=True)
    for name, make in [("scans.jpg", scans_jpeg), ("cut.jpg", cut_jpeg),
                       ("cut_prog.jpg", cut_progressive_jpeg),
                       ("flat_prog.jpg", flat_progressive_jpeg), ("deep.png", deep_png)]:
        data = make(side)
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
