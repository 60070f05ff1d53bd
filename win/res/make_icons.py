#!/usr/bin/env python3
"""Writes the program icon (32x32 in 16 and in 256 colours) and the arrow cursor
(32x32 monochrome, hot spot at (1, 1)). Run from res/ when the pictures change."""
import struct

W = H = 32

# 16 of the basic colours as (r, g, b): the icon is a 4 x 4 grid of swatches.
SWATCHES = [(0, 0, 255), (0, 255, 0), (255, 0, 0), (0, 0, 128), (0, 128, 0), (128, 0, 0),
            (0, 255, 255), (255, 0, 255), (255, 255, 0), (255, 255, 255), (0, 128, 128),
            (128, 0, 128), (128, 128, 0), (128, 128, 128), (0, 200, 255), (255, 200, 0)]


def icon_pixel(x, y):
    """Palette index of pixel (x, y), y from the top; 16 means the black grid line."""
    if x % 8 == 7 or y % 8 == 7 or x == 0 or y == 0:
        return 16
    return (y // 8) * 4 + x // 8


def info_header(bits, colours):
    return struct.pack('<IiiHHIIiiII', 40, W, 2 * H, 1, bits, 0, 0, 0, 0, colours, 0)


def and_mask():
    return bytes(4 * H)  # fully opaque


def icon_image(bits):
    colours = 1 << bits
    table = [(0, 0, 0)] * colours
    for i, (r, g, b) in enumerate(SWATCHES[:15]):
        table[i + 1] = (r, g, b)
    body = info_header(bits, colours)
    body += b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in table)
    rows = []
    for y in reversed(range(H)):  # bottom-up rows
        idx = [0 if icon_pixel(x, y) == 16 else min(icon_pixel(x, y) + 1, 15) for x in range(W)]
        if bits == 4:
            rows.append(bytes((idx[i] << 4) | idx[i + 1] for i in range(0, W, 2)))
        else:
            rows.append(bytes(idx))
    return body + b''.join(rows) + and_mask()


def write_icon(path):
    images = [icon_image(4), icon_image(8)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for bits, img in zip((4, 8), images):
        out += struct.pack('<BBBBHHII', W, H, 16 if bits == 4 else 0, 0, 1, bits, len(img), offset)
        offset += len(img)
    open(path, 'wb').write(out + b''.join(images))


ARROW = [
    "X",
    "XX",
    "X.X",
    "X..X",
    "X...X",
    "X....X",
    "X.....X",
    "X......X",
    "X.......X",
    "X........X",
    "X.....XXXXX",
    "X..X..X",
    "X.X X..X",
    "XX  X..X",
    "X    X..X",
    "     X..X",
    "      XX",
]


def write_cursor(path):
    # Monochrome: XOR mask and AND mask. AND 1 + XOR 0 = transparent; AND 0 + XOR 0 = black;
    # AND 0 + XOR 1 = white. The arrow's tip is at (1, 1).
    xor_rows, and_rows = [], []
    for y in reversed(range(H)):
        xr = ar = 0
        for x in range(W):
            line = ARROW[y - 1] if 1 <= y <= len(ARROW) else ""
            ch = line[x - 1] if 1 <= x <= len(line) else " "
            bit = 1 << (31 - x)
            if ch == " ":
                ar |= bit
            elif ch == ".":
                xr |= bit
        xor_rows.append(struct.pack('>I', xr))
        and_rows.append(struct.pack('>I', ar))
    img = info_header(1, 2) + struct.pack('BBBBBBBB', 0, 0, 0, 0, 255, 255, 255, 0)
    img += b''.join(xor_rows) + b''.join(and_rows)
    out = struct.pack('<HHH', 0, 2, 1)
    out += struct.pack('<BBBBHHII', W, H, 2, 0, 1, 1, len(img), 6 + 16)
    open(path, 'wb').write(out + img)


if __name__ == '__main__':
    write_icon('tintwright.ico')
    write_cursor('tintwright.cur')
