#!/usr/bin/env python3
"""Draws the two tray icons (16x16 and 32x32, 32-bit) into res/.

Not connected: a grey plug on a red disc. Connected: a white check on a green
disc. The colours alone tell them apart at 16 x 16.
"""
import math
import struct
import sys
from pathlib import Path


def disc_pixel(size, x, y, fill, mark):
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    d = math.hypot(x - c, y - c)
    if d > r + 0.5:
        return (0, 0, 0, 0)
    alpha = 255 if d <= r - 0.5 else int(255 * (r + 0.5 - d))
    u, v = x / (size - 1), y / (size - 1)  # 0..1 across the icon
    if mark(u, v, size):
        return (255, 255, 255, alpha)
    if d > r - max(1.0, size / 16):
        edge = tuple(int(ch * 0.6) for ch in fill)
        return edge + (alpha,)
    return fill + (alpha,)


def check_mark(u, v, size):
    w = 1.6 / size + 0.05
    on_short = 0.22 <= u <= 0.45 and abs((v - 0.52) - (u - 0.22)) < w
    on_long = 0.42 <= u <= 0.78 and abs((v - 0.75) + (u - 0.42) * 1.15) < w
    return on_short or on_long


def cross_mark(u, v, size):
    w = 1.6 / size + 0.05
    inside = 0.27 <= u <= 0.73 and 0.27 <= v <= 0.73
    return inside and (abs(u - v) < w or abs(u + v - 1.0) < w)


def image(size, fill, mark):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up, as in a DIB
        for x in range(size):
            r, g, b, a = disc_pixel(size, x, y, fill, mark)
            rows.append(struct.pack("<BBBB", b, g, r, a))
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def write_icon(path, fill, mark):
    images = [image(s, fill, mark) for s in (16, 32)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    path.write_bytes(out + b"".join(images))


if __name__ == "__main__":
    res = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "res")
    write_icon(res / "disconnected.ico", (200, 40, 40), cross_mark)
    write_icon(res / "connected.ico", (40, 160, 60), check_mark)
