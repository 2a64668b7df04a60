#!/usr/bin/env python3
"""Draws the Projects page's icons into resources/qrc (or the folder given):
export.png, btn_delete.png, folder.png (the page's buttons), project-1.png
(one per row) and ellipsis.png (a row's menu), 48x48 RGBA with 4x4
supersampling. Each icon is a list of shapes painted in order."""
import math
import os
import struct
import sys
import zlib

SIZE = 48
SS = 4

ACCENT = (0x2F, 0x6F, 0xEB)
ACCENT_LIGHT = (0xE8, 0xF0, 0xFE)
DANGER = (0xD9, 0x38, 0x38)
GREY = (0x55, 0x5E, 0x6B)
WHITE = (0xFF, 0xFF, 0xFF)


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def stroke(points, width, closed=False):
    """A polyline of the given width with round joins and ends."""
    pts = points + points[:1] if closed else points
    segs = [(*pts[i], *pts[i + 1]) for i in range(len(pts) - 1)]
    return lambda x, y: any(seg_dist(x, y, *s) <= width / 2 for s in segs)


def fill(points):
    """A filled polygon (even-odd rule)."""
    def inside(x, y):
        n, hit = len(points), False
        for i in range(n):
            (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                hit = not hit
        return hit
    return inside


def disc(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) <= r


def draw(shapes):
    rows = []
    for y in range(SIZE):
        row = bytearray([0])
        for x in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    px, py = x + (sx + 0.5) / SS, y + (sy + 0.5) / SS
                    colour = None
                    for c, shape in shapes:
                        if shape(px, py):
                            colour = c
                    if colour:
                        for i in range(3):
                            acc[i] += colour[i]
                        acc[3] += 1
            a = acc[3]
            rgb = [round(acc[i] / a) if a else 0 for i in range(3)]
            row += bytes(rgb + [round(255 * a / (SS * SS))])
        rows.append(bytes(row))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


ICONS = {
    # A tray with an arrow leaving it.
    "export.png": [
        (ACCENT, stroke([(8, 26), (8, 41), (40, 41), (40, 26)], 4.5)),
        (ACCENT, stroke([(24, 33), (24, 7)], 4.5)),
        (ACCENT, stroke([(14, 17), (24, 7), (34, 17)], 4.5)),
    ],
    # A waste bin with its lid and handle.
    "btn_delete.png": [
        (DANGER, stroke([(7, 12), (41, 12)], 4.5)),
        (DANGER, stroke([(18, 11), (18, 6), (30, 6), (30, 11)], 4)),
        (DANGER, stroke([(12, 17), (14, 42), (34, 42), (36, 17)], 4.5)),
        (DANGER, stroke([(20, 21), (20, 36)], 3.5)),
        (DANGER, stroke([(28, 21), (28, 36)], 3.5)),
    ],
    # A folder with its tab.
    "folder.png": [
        (ACCENT_LIGHT, fill([(6, 11), (19, 11), (23, 16), (42, 16), (42, 40), (6, 40)])),
        (ACCENT, stroke([(6, 11), (19, 11), (23, 16), (42, 16), (42, 40), (6, 40)], 4.5, closed=True)),
        (ACCENT, stroke([(6, 21), (42, 21)], 3.5)),
    ],
    # A page with a folded corner and lines of text.
    "project-1.png": [
        (ACCENT, fill([(9, 3), (30, 3), (40, 13), (40, 45), (9, 45)])),
        (ACCENT_LIGHT, fill([(30, 3), (30, 13), (40, 13)])),
        (WHITE, stroke([(16, 21), (33, 21)], 3)),
        (WHITE, stroke([(16, 28), (33, 28)], 3)),
        (WHITE, stroke([(16, 35), (27, 35)], 3)),
    ],
    "ellipsis.png": [
        (GREY, disc(10, 24, 4.5)),
        (GREY, disc(24, 24, 4.5)),
        (GREY, disc(38, 24, 4.5)),
    ],
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources", "qrc")
    for name, shapes in ICONS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(draw(shapes))


if __name__ == "__main__":
    main()
