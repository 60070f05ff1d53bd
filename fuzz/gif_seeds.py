#!/usr/bin/python3
"""Writes the GIF fuzz target's seeds to fuzz/gif_seeds: small animations (each disposal,
transparency, interlacing, local colour tables) and damaged ones (LZW cut short, a frame
outside the screen, a frame of 0 x 0 pixels, thousands of frames, a frame said to be huge)."""
import io
import os
import struct

from PIL import Image

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "gif_seeds")


def animation(disposal, transparency=None, interlace=False, size=(24, 16), count=4):
    frames = []
    for i in range(count):
        im = Image.new("P", size, 0)
        im.putpalette([c for k in range(16) for c in (k * 16, 255 - k * 16, (k * 40) % 256)])
        for x in range(size[0]):
            for y in range(size[1]):
                im.putpixel((x, y), (x // 3 + y // 4 + i) % 16 if (x + i) % 7 else 0)
        frames.append(im)
    out = io.BytesIO()
    extra = {} if transparency is None else {"transparency": transparency}
    frames[0].save(out, "GIF", save_all=True, append_images=frames[1:], duration=[30, 60, 0, 120][:count],
                   loop=2, disposal=disposal, interlace=interlace, optimize=False, **extra)
    return out.getvalue()


def descriptor(gif):
    """Where the first image descriptor begins."""
    at = 13 + (3 << ((gif[10] & 7) + 1) if gif[10] & 0x80 else 0)
    while gif[at] == 0x21:  # extensions: their blocks
        at += 2
        while gif[at]:
            at += gif[at] + 1
        at += 1
    return at


def main():
    os.makedirs(HERE, exist_ok=True)
    seeds = {
        "keep.gif": animation(1),
        "background.gif": animation(2, transparency=0),
        "previous.gif": animation(3, transparency=0),
        "interlaced.gif": animation(1, interlace=True, size=(9, 19)),
    }
    valid = animation(1, count=1)
    at = descriptor(valid)
    seeds["cut-lzw.gif"] = valid[: len(valid) * 2 // 3]
    seeds["outside.gif"] = valid[: at + 1] + struct.pack("<HH", 60000, 3) + valid[at + 5:]
    seeds["empty-frame.gif"] = valid[: at + 5] + struct.pack("<HH", 0, 0) + valid[at + 9:]
    seeds["huge-frame.gif"] = valid[: at + 5] + struct.pack("<HH", 65535, 65535) + valid[at + 9:]
    tiny = animation(1, size=(1, 1), count=1)
    t = descriptor(tiny)
    seeds["many-frames.gif"] = tiny[:t] + tiny[t:-1] * 3800 + b"\x3b"
    for name, data in seeds.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
