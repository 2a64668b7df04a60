#!/usr/bin/env python3
"""Draws the batch pages' row icons: resources/qrc/icon_suc.png (a white tick
on a green disc) and resources/qrc/icon_failed.png (a white cross on a red
disc), 48x48 RGBA, with 4x4 supersampling for smooth edges."""
import math
import os
import struct
import sys
import zlib

SIZE = 48
SS = 4


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def draw(colour, strokes):
    r0 = SIZE / 2 - 1
    c = SIZE / 2
    rows = []
    for y in range(SIZE):
        row = bytearray([0])
        for x in range(SIZE):
            disc = mark = 0
            for sy in range(SS):
                for sx in range(SS):
                    px = x + (sx + 0.5) / SS
                    py = y + (sy + 0.5) / SS
                    if math.hypot(px - c, py - c) <= r0:
                        disc += 1
                        if any(seg_dist(px, py, *s) <= 2.6 for s in strokes):
                            mark += 1
            n = SS * SS
            a = disc / n
            m = mark / max(disc, 1)
            rgb = [round(colour[i] * (1 - m) + 255 * m) for i in range(3)]
            row += bytes(rgb + [round(255 * a)])
        rows.append(bytes(row))
    raw = b"".join(rows)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources", "qrc")
    tick = [(13, 25, 21, 33), (21, 33, 35, 16)]
    cross = [(16, 16, 32, 32), (32, 16, 16, 32)]
    with open(os.path.join(out, "icon_suc.png"), "wb") as f:
        f.write(draw((0x2E, 0x9E, 0x5B), tick))
    with open(os.path.join(out, "icon_failed.png"), "wb") as f:
        f.write(draw((0xD9, 0x38, 0x38), cross))


if __name__ == "__main__":
    main()
